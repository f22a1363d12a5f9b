#include "GeomObjTestSupport.h"

#include "framework/geometry/Visitor.h"
#include "framework/okl/ContourOKLObject.h"
#include "framework/okl/CoordinateFrameOKLObject.h"
#include "framework/okl/DomainOKLObject.h"
#include "framework/okl/ExpressionsOKLObject.h"
#include "framework/okl/GenericOKLObject.h"
#include "framework/okl/PlaneOKLObject.h"
#include "framework/okl/SymbolGeometricOKLObject.h"
#include "framework/viewer/Colour.h"
#include "framework/viewer/GraphicObject.h"

#include <typeinfo>

namespace zel::test {
namespace {

// A geometry that counts the live instances, to see who frees what.
struct CountedGeometry : Geometry {
    static int alive;
    CountedGeometry() { ++alive; }
    ~CountedGeometry() override { --alive; }
};
int CountedGeometry::alive = 0;

// A directory of domain geometries owned by the test (as the data registry owns them).
struct TestDirectory : GeometryInfo {
    std::vector<std::unique_ptr<Geometry>> domains;
    std::vector<Geometry*> getGeometries(bool) const override {
        std::vector<Geometry*> all;
        for (const auto& d : domains) all.push_back(d.get());
        return all;
    }
};

struct CountingVisitor : GeometryVisitor {
    std::vector<const Geometry*> seen;
    void visitGeometry(Geometry& g) override { seen.push_back(&g); }
};

using Objects = GeomObjTest;

TEST_F(Objects, OwnershipOfAttachedGeometries) {
    CountedGeometry::alive = 0;
    {
        GeometricOKLObject o("LINE", "L");
        auto* g1 = new CountedGeometry;
        o.setGeometry("", g1);
        EXPECT_EQ(o.getGeometry(""), g1);
        EXPECT_TRUE(o.ownsGeometry(""));

        // Setting the same geometry again keeps it.
        o.setGeometry("", g1);
        EXPECT_EQ(CountedGeometry::alive, 1);

        // Replacing frees the earlier one; the replacement keeps the name's place.
        o.setGeometry("D1", std::make_unique<CountedGeometry>());
        auto* g2 = new CountedGeometry;
        o.setGeometry("", g2);
        EXPECT_EQ(CountedGeometry::alive, 2);
        EXPECT_EQ(o.getGeometryNames(), (std::vector<std::string>{"", "D1"}));

        // A geometry held under one name cannot be handed over under another: it stays with
        // its holder and is not freed.
        expectError<internal::badParam>([&] { o.setGeometry("D2", g2); }, {.fragments = {"already held", "''"}});
        EXPECT_EQ(o.getGeometry(""), g2);
        EXPECT_EQ(o.getGeometry("D2"), nullptr);
        EXPECT_EQ(CountedGeometry::alive, 2);

        expectError<internal::nullPointer>([&] { o.setGeometry("D3", static_cast<Geometry*>(nullptr)); },
                                           {.fragments = {"Null geometry", "'D3'", "'L'"}});

        // A borrowed geometry is never freed by the object.
        CountedGeometry external;
        o.setExternalGeometry("D4", &external);
        EXPECT_FALSE(o.ownsGeometry("D4"));
        EXPECT_EQ(o.getGeometry("D4"), &external);
        EXPECT_EQ(CountedGeometry::alive, 3);

        // Released geometries belong to the caller.
        std::unique_ptr<Geometry> released = o.releaseGeometry("D1");
        ASSERT_NE(released, nullptr);
        EXPECT_EQ(o.getGeometry("D1"), nullptr);
        released.reset();
        EXPECT_EQ(CountedGeometry::alive, 2);

        // Discard frees the owned ones and forgets the borrowed ones.
        o.setGeometry("D5", std::make_unique<CountedGeometry>());
        o.discardGeometries();
        EXPECT_EQ(o.getNumGeometries(), 0u);
        EXPECT_EQ(CountedGeometry::alive, 1); // only `external`

        // An owned geometry replaced by a borrowed one is freed; the object's destruction
        // frees what it still owns and leaves the borrowed alone.
        o.setGeometry("D6", std::make_unique<CountedGeometry>());
        o.setExternalGeometry("D6", &external);
        EXPECT_EQ(CountedGeometry::alive, 1);
        o.setGeometry("D7", std::make_unique<CountedGeometry>());
        EXPECT_TRUE(o.removeGeometry("D6"));
        EXPECT_FALSE(o.removeGeometry("D6"));
        EXPECT_EQ(CountedGeometry::alive, 2);
    }
    EXPECT_EQ(CountedGeometry::alive, 0);
}

TEST_F(Objects, DomainNameListExpansion) {
    add("DOMAIN", "Rotor");
    add("DOMAIN", "Stator");
    add("DOMAIN", "Inlet Duct");
    auto* plane = add<PlaneOKLObject>("PLANE", "P");

    // The type's default is "All Domains": every DOMAIN object, in database order.
    const std::vector<std::string> all = {"Rotor", "Stator", "Inlet Duct"};
    EXPECT_EQ(plane->getDomainNameList(), all);
    plane->setParameter("Domain List", "  all domains ");
    EXPECT_EQ(plane->getDomainNameList(), all);
    plane->setParameter("Domain List", "Stator, Rotor");
    EXPECT_EQ(plane->getDomainNameList(), (std::vector<std::string>{"Stator", "Rotor"}));
    // An empty list stays empty (the calc functions report "Domain List is not provided").
    plane->setParameter("Domain List", "");
    EXPECT_TRUE(plane->getDomainNameList().empty());
    // An object type without the parameter has no domains.
    EXPECT_TRUE(add("DOMAIN", "Lone")->getDomainNameList().empty());
}

TEST_F(Objects, DomainObjectsShowTheRegistryGeometryWithoutOwningIt) {
    TestDirectory directory;
    directory.domains.push_back(rectangle(0, 0, 1, 1));
    directory.domains.back()->setName("Rotor");
    directory.domains.push_back(rectangle(0, 0, 2, 3));
    directory.domains.back()->setName("Stator");
    Geometry::setGeometryInfo(&directory);

    auto* rotor = add<DomainOKLObject>("DOMAIN", "Rotor");
    auto* stator = add<DomainOKLObject>("DOMAIN", "Stator");
    // Found through the directory at each look-up, under the domain's name only.
    EXPECT_EQ(rotor->getGeometry("Rotor"), directory.domains[0].get());
    EXPECT_EQ(rotor->getGeometry(""), nullptr);
    EXPECT_EQ(rotor->getGeometryNames(), std::vector<std::string>{"Rotor"});
    EXPECT_FALSE(rotor->ownsGeometry("Rotor"));
    // An explicitly borrowed geometry comes first.
    Geometry other;
    stator->setExternalGeometry("Stator", &other);
    EXPECT_EQ(stator->getGeometry("Stator"), &other);
    stator->setExternalGeometry("Stator", nullptr);
    EXPECT_EQ(stator->getGeometry("Stator"), directory.domains[1].get());

    // A location's domain list gives the domain geometries; a name without a domain
    // geometry is left out.
    auto* line = add("LINE", "L");
    line->setParameter("Domain List", "Stator, Nowhere, Rotor");
    EXPECT_EQ(line->getDomainList(), (std::vector<Geometry*>{directory.domains[1].get(), directory.domains[0].get()}));

    // Visiting a domain visits the registry geometry.
    AreaVisitor area;
    stator->acceptVisitor(area);
    EXPECT_DOUBLE_EQ(area.getTotalWeight(), 6.0);

    // Freeing the domain object leaves the registry's geometry alone (ASan would see it).
    db()->deleteObject(rotor);
    EXPECT_EQ(directory.domains[0]->getNumVertices(), 4);
    Geometry::setGeometryInfo(nullptr);
    EXPECT_EQ(stator->getGeometry("Stator"), nullptr);
}

TEST_F(Objects, AcceptVisitorVisitsEachGeometryOnce) {
    auto* plane = add<PlaneOKLObject>("PLANE", "Slice");
    plane->setGeometry("D1", rectangle(0, 0, 1, 1));
    plane->setGeometry("D2", rectangle(5, 0, 2, 3));
    plane->setGeometry("D3", rectangle(0, 5, 0.5f, 0.5f, 2.0f));

    CountingVisitor counter;
    plane->acceptVisitor(counter);
    EXPECT_EQ(counter.seen, (std::vector<const Geometry*>{plane->getGeometry("D1"), plane->getGeometry("D2"),
                                                          plane->getGeometry("D3")}));

    AreaVisitor area;
    plane->acceptVisitor(area);
    EXPECT_NEAR(area.getTotalWeight(), 1.0 + 6.0 + 0.25, 1e-6);

    // With an axis the areas are projected: along a direction at 60 degrees to the normal
    // each counts cos 60 = 1/2.
    AreaVisitor projected;
    projected.setAxis(TripletF(std::sqrt(3.0f) / 2.0f, 0.0f, 0.5f));
    plane->acceptVisitor(projected);
    EXPECT_NEAR(projected.getTotalWeight(), 7.25 / 2.0, 1e-5);

    // A field integrates over all pieces: X on the three rectangles.
    AreaVisitor x("X");
    plane->acceptVisitor(x);
    EXPECT_NEAR(x.getIntegral(), 1.0 * 0.5 + 6.0 * 6.0 + 0.25 * 0.25, 1e-5);
}

TEST_F(Objects, VariablesPerGeometry) {
    auto* line = add("LINE", "L");
    line->setGeometry("D1", rectangle(0, 0, 1, 1));
    line->setGeometry("D2", rectangle(0, 0, 1, 1));
    const float t[4] = {1, 2, 3, 4};
    auto* temperature = new ScalarVariable(t, 4);
    temperature->setName("T");
    line->getGeometry("D2")->addVariable(temperature);

    EXPECT_EQ(line->getVariable("T"), std::vector<Variable*>{temperature});
    EXPECT_EQ(line->getVariable("T", "D2"), temperature);
    EXPECT_EQ(line->getVariable("T", "D1"), nullptr);
    EXPECT_EQ(line->getVariable("T", "D9"), nullptr);
    EXPECT_TRUE(line->getVariable("Missing").empty());
    // Variables the geometry computes come one per geometry, in geometry order.
    const std::vector<Variable*> x = line->getVariable("X");
    ASSERT_EQ(x.size(), 2u);
    EXPECT_EQ(x[0], line->getVariable("X", "D1"));
    EXPECT_EQ(x[1], line->getVariable("X", "D2"));
}

TEST_F(Objects, FactoriesAndKinds) {
    struct Expect {
        const char* type;
        const std::type_info& cls;
        std::vector<std::string> kinds;
        std::vector<std::string> notKinds;
    };
    const std::vector<Expect> table = {
        {"DOMAIN", typeid(DomainOKLObject), {"geometry", "point", "volume"}, {"surface", "line"}},
        {"BOUNDARY",
         typeid(GeometricOKLObject),
         {"geometry", "point", "surface", "region2d", "mesh-density"},
         {"volume"}},
        {"PLANE", typeid(PlaneOKLObject), {"geometry", "point", "surface", "edge-based"}, {"line", "region2d"}},
        {"LINE", typeid(GeometricOKLObject), {"geometry", "point", "line"}, {"surface"}},
        {"POLYLINE", typeid(GeometricOKLObject), {"geometry", "point", "line"}, {"surface"}},
        {"POINT", typeid(SymbolGeometricOKLObject), {"geometry", "point"}, {"line", "surface"}},
        {"INTERNAL POINT", typeid(SymbolGeometricOKLObject), {"geometry", "point"}, {"surface"}},
        {"USER SURFACE", typeid(GeometricOKLObject), {"geometry", "point", "surface"}, {"line"}},
        {"ISOSURFACE", typeid(GeometricOKLObject), {"geometry", "point", "surface", "mesh-density", "edge-based"}, {}},
        {"CONTOUR", typeid(ContourOKLObject), {"geometry"}, {"point", "surface"}},
        {"COORD FRAME", typeid(CoordinateFrameOKLObject), {}, {"geometry"}},
        {"EXPRESSIONS", typeid(ExpressionsOKLObject), {}, {"geometry"}},
        {"VECTOR VARIABLE", typeid(GenericOKLObject), {"variable"}, {"geometry"}},
        {"USER SCALAR VARIABLE", typeid(GenericOKLObject), {"variable"}, {"geometry"}},
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (const Expect& e : table) {
            std::unique_ptr<OKLObject> o = ObjectFactory::instance()->createObject(e.type, "X");
            EXPECT_EQ(typeid(*o), e.cls) << e.type;
            for (const auto& k : e.kinds) EXPECT_TRUE(o->isA(k)) << e.type << " " << k;
            for (const auto& k : e.notKinds) EXPECT_FALSE(o->isA(k)) << e.type << " " << k;
        }
        // The factories survive a reset of the registry.
        ObjectTypeRegistry::instance()->reset();
    }
    // The command language makes them too; locations are listed as geometry, contours not.
    run("PLANE: Slice 1\nEND\nCONTOUR: C\nEND\nCALCULATOR:\nEND\n");
    EXPECT_NE(dynamic_cast<PlaneOKLObject*>(db()->getObjectByName("Slice 1")), nullptr);
    EXPECT_EQ(dynamic_cast<GeometricOKLObject*>(db()->getObjectByName("CALCULATOR")), nullptr);
    EXPECT_EQ(db()->getNamesByCategory("geometry"), std::vector<std::string>{"Slice 1"});
}

TEST_F(Objects, ChangeFlagsFollowTheKindOfParameter) {
    auto* plane = add<PlaneOKLObject>("PLANE", "P");
    plane->clearChangeFlags();
    plane->setParameter("Colour Mode", "Variable");
    EXPECT_TRUE(plane->isColourChanged());
    EXPECT_FALSE(plane->isGeometryChanged());
    EXPECT_FALSE(plane->isRenderChanged());
    plane->setParameter("Line Width", "2");
    EXPECT_TRUE(plane->isRenderChanged());
    EXPECT_FALSE(plane->isGeometryChanged());
    plane->setParameter("Point", "1, 2, 3 [m]");
    EXPECT_TRUE(plane->isGeometryChanged());
    plane->clearChangeFlags();
    for (int f = 0; f < 3; ++f) EXPECT_FALSE(plane->getChangeFlag(GeometricOKLObject::ChangeFlag(f)));
    // A result written back by a calc function changes nothing.
    auto* point = add<SymbolGeometricOKLObject>("POINT", "Pt");
    point->clearChangeFlags();
    point->setParameter("Nearest Node Number", "12");
    EXPECT_FALSE(point->isGeometryChanged() || point->isRenderChanged() || point->isColourChanged());
    // Attaching a geometry, and the command language, set them as well.
    point->setGeometry("", std::make_unique<SymbolGeometry>());
    EXPECT_TRUE(point->isGeometryChanged());
    plane->clearChangeFlags();
    run("PLANE: P\n  Transparency = 0.5\nEND\n");
    EXPECT_TRUE(plane->isRenderChanged());
    EXPECT_FALSE(plane->isColourChanged());
}

TEST_F(Objects, RenderDrawsEveryGeometryAndPurges) {
    auto* plane = add<PlaneOKLObject>("PLANE", "Slice");
    plane->setGeometry("D1", rectangle(0, 0, 1, 1));
    plane->setGeometry("D2", rectangle(0, 0, 2, 1));
    ViewerInterface* viewer = ViewerInterface::instance();
    // Something drawn before under a name the object no longer has goes with the purge.
    Geometry stale;
    viewer->draw(plane->getPath(), "Old", stale, GraphicObject());

    plane->setParameter("Colour", "1, 0, 0");
    plane->setParameter("Line Width", "3");
    plane->setParameter("Visibility", "False");
    plane->renderPlane();
    EXPECT_EQ(viewer->getGeometryNames("/PLANE:Slice"), (std::vector<std::string>{"D1", "D2"}));
    const DrawnItem* d1 = viewer->getItem("/PLANE:Slice", "D1");
    ASSERT_NE(d1, nullptr);
    EXPECT_EQ(d1->getNumPoints(), 4u);
    EXPECT_EQ(d1->getNumPolygons(), 1u);
    EXPECT_FLOAT_EQ(d1->graphic.getLineWidth(), 3.0f);
    EXPECT_FALSE(d1->graphic.isVisible());
    EXPECT_TRUE(d1->graphic.isChanged());
    EXPECT_FALSE(d1->graphic.getVariableColouring());
    EXPECT_EQ(d1->colourMapName, "Default Colour Map");
    const ColourMap* map = ColourMapDB::instance()->getMap("Default Colour Map");
    EXPECT_EQ(map->getCustomColour(d1->graphic.getConstantColour()), Colour(1, 0, 0));

    // Variable colouring: the geometries must provide the variable ("X" is computed).
    plane->setParameter("Colour Mode", "Variable");
    plane->setParameter("Colour Variable", "X");
    plane->recolour();
    plane->renderPlane();
    const DrawnItem* d2 = viewer->getItem("/PLANE:Slice", "D2");
    ASSERT_NE(d2, nullptr);
    EXPECT_TRUE(d2->graphic.getVariableColouring());
    EXPECT_EQ(d2->graphic.getColourVariableName(), "X");
    EXPECT_FLOAT_EQ(d2->graphic.getColourMin(), 0.0f); // local range over both pieces
    EXPECT_FLOAT_EQ(d2->graphic.getColourMax(), 2.0f);
    EXPECT_NE(d2->findPointArray("X"), nullptr);
    plane->updateDefaultLegend();
    ASSERT_NE(viewer->getDefaultLegend(), nullptr);
    EXPECT_EQ(viewer->getDefaultLegend()->path, "/PLANE:Slice");
    EXPECT_EQ(viewer->getDefaultLegend()->variable, "X");
    EXPECT_FLOAT_EQ(viewer->getDefaultLegend()->max, 2.0f);

    // A user range overrides; a reversed one is refused.
    plane->setParameter("Range", "User Specified");
    plane->setParameter("Min", "-1");
    plane->setParameter("Max", "5");
    float mn = 0, mx = 0;
    ASSERT_TRUE(plane->getColourRange(mn, mx));
    EXPECT_EQ(mn, -1.0f);
    EXPECT_EQ(mx, 5.0f);
    plane->setParameter("Max", "-2");
    EXPECT_THROW(plane->getColourRange(mn, mx), data::invalid);
    plane->setParameter("Range", "Local");

    // A colour variable that a geometry cannot provide fails the render and leaves nothing
    // of the object in the viewer.
    plane->setParameter("Colour Variable", "Nothing");
    expectError<internal::nullPointer>([&] { plane->renderPlane(); },
                                       {.fragments = {"Couldn't find variable Nothing."}});
    EXPECT_TRUE(viewer->getGeometryNames("/PLANE:Slice").empty());

    // Constant colouring withdraws the legend that showed the object.
    plane->setParameter("Colour Mode", "Constant");
    plane->renderPlane();
    plane->updateDefaultLegend();
    EXPECT_EQ(viewer->getDefaultLegend(), nullptr);

    plane->purgeFromViewer();
    EXPECT_EQ(viewer->getNumItems(), 0u);
    EXPECT_THROW(plane->draw(nullptr), internal::nullPointer);
    GraphicObject missing;
    missing.setDomain("D9");
    EXPECT_THROW(plane->draw(&missing), data::notFound);
    // The viewer keeps its own copy: freeing the geometry after drawing is safe.
    GraphicObject g;
    g.setDomain("D1");
    plane->draw(&g);
    plane->discardGeometries();
    EXPECT_EQ(viewer->getItem("/PLANE:Slice", "D1")->getNumPoints(), 4u);
}

TEST_F(Objects, SymbolsRenderOnlyWithPoints) {
    auto* point = add<SymbolGeometricOKLObject>("POINT", "Probe");
    EXPECT_FALSE(point->renderSymbol());
    auto symbol = std::make_unique<SymbolGeometry>();
    symbol->setVertices(TripletZELVector({{1, 2, 3}, {4, 5, 6}}));
    point->setGeometry("", std::move(symbol));
    point->setParameter("Symbol Size", "2.5");
    ASSERT_TRUE(point->renderSymbol());
    const auto* s = dynamic_cast<SymbolGeometry*>(point->getGeometry(""));
    ASSERT_EQ(s->getDirection1().size(), 2u);
    EXPECT_EQ(s->getDirection1()[1], TripletF(0, 1, 0));
    EXPECT_EQ(s->getDirection2()[0], TripletF(0, 0, 1));
    const DrawnItem* item = ViewerInterface::instance()->getItem("/POINT:Probe", "");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->graphic.getSymbol(), "Crosshair");
    EXPECT_FLOAT_EQ(item->graphic.getSymbolSize(), 2.5f);
    // A bad setting fails and leaves nothing drawn.
    point->setParameter("Symbol Size", "-1");
    EXPECT_THROW(point->renderSymbol(), data::invalid);
    EXPECT_EQ(ViewerInterface::instance()->getNumItems(), 0u);
}

TEST_F(Objects, ExpressionListFollowsTheParameters) {
    run("LIBRARY:\n  ROX:\n    EXPRESSIONS:\n"
        "      Inlet Pressure = 2 [bar]\n"
        "      Ratio = Pressure / Inlet Pressure\n"
        "    END\n  END\nEND\n");
    auto* expressions = dynamic_cast<ExpressionsOKLObject*>(db()->getObjectByPath("/LIBRARY/ROX/EXPRESSIONS"));
    ASSERT_NE(expressions, nullptr);
    const std::vector<ExpressionDef>& list = expressions->getExpressionList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "Inlet Pressure");
    EXPECT_EQ(list[0].expression, "2 [bar]");
    EXPECT_EQ(list[1].name, "Ratio");
    EXPECT_EQ(list[1].expression, "Pressure / Inlet Pressure");
    // Unchanged parameters: the same entries (pointers into the list stay valid).
    const ExpressionDef* first = &list[0];
    EXPECT_EQ(&expressions->getExpressionList()[0], first);
    // Changes through the command language and the base class are seen.
    run("LIBRARY:\n  ROX:\n    EXPRESSIONS:\n      Ratio = 2 * Pressure\n      Zero = 0\n    END\n  END\nEND\n");
    ASSERT_EQ(expressions->getExpressionList().size(), 3u);
    EXPECT_EQ(expressions->getExpressionList()[1].expression, "2 * Pressure");
    EXPECT_EQ(expressions->getExpressionList()[2].name, "Zero");
    expressions->unsetParameter("Inlet Pressure");
    ASSERT_EQ(expressions->getExpressionList().size(), 2u);
    EXPECT_EQ(expressions->getExpressionList()[0].name, "Ratio");
    expressions->clearParameters();
    EXPECT_TRUE(expressions->getExpressionList().empty());
}

} // namespace
} // namespace zel::test
