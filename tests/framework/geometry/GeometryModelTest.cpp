// Geometries as containers: element sets, ids, kinds, cloning, ownership; the containers.
#include "GeometryTestSupport.h"
#include "framework/core/Error.h"
#include "framework/geometry/FileReaderBase.h"
#include "tests/support/ErrorChecks.h"

#include <gtest/gtest.h>

#include <numbers>

namespace zel {
namespace {

TEST(Containers, TripletRulesAndReductions) {
    TripletF zero(0, 0, 0);
    EXPECT_EQ(zero.normalised(), zero); // length zero: unchanged
    TripletF v(3, 4, 0);
    EXPECT_FLOAT_EQ(v.length(), 5.0f);
    EXPECT_EQ(v.normalised(), TripletF(0.6f, 0.8f, 0.0f));
    EXPECT_EQ(TripletF(1, 0, 0).cross(TripletF(0, 1, 0)), TripletF(0, 0, 1));
    TripletF u(1, UNDEFINED_VALUE, 2);
    EXPECT_TRUE(u.isUndefined());
    EXPECT_EQ(u.length(), UNDEFINED_VALUE);

    FloatZELVector f{3.0f, UNDEFINED_VALUE, -1.0f, 7.0f};
    EXPECT_EQ(f.getMin(), -1.0f);
    EXPECT_EQ(f.getMax(), 7.0f);
    EXPECT_EQ(f.getSum(), 9.0f);
    f.erase(1);
    EXPECT_EQ(f.size(), 3u);
    const float more[] = {1, 2};
    f.redefine(more, 2);
    EXPECT_EQ(f, FloatZELVector({1.0f, 2.0f}));
    EXPECT_EQ(FloatZELVector().getMin(), UNDEFINED_VALUE);

    TripletZELVector pts{{1, 5, -2}, TripletF::undefined(), {-3, 2, 4}};
    EXPECT_EQ(pts.getMinExtents(), TripletF(-3, 2, -2));
    EXPECT_EQ(pts.getMaxExtents(), TripletF(1, 5, 4));

    IntZELVector ids{4, -2, 9};
    EXPECT_EQ(ids.getMin(), -2);
    EXPECT_EQ(ids.getSum(), 11);
    IntZELVector other{1};
    ids.swap(other);
    EXPECT_EQ(ids.size(), 1u);

    EXPECT_TRUE(Edge(3, 7).sameAs(Edge(7, 3)));
    EXPECT_FALSE(Edge(3, 7) == Edge(7, 3));
    EXPECT_EQ(Edge(3, 7)[1], 7);
}

TEST(Containers, MatrixRotationAndScale) {
    ZELMatrix3 r;
    r.setRotationMatrix({0, 0, 2}, float(std::numbers::pi / 2)); // right-hand rule about +z
    const TripletF y = r.multVec({1, 0, 0});
    EXPECT_NEAR(y.x, 0.0f, 1e-6f);
    EXPECT_NEAR(y.y, 1.0f, 1e-6f);
    r.setRotationMatrix({1, 1, 1}, 1.2f);
    const TripletF a = r.multVec({1, 1, 1});
    EXPECT_NEAR(a.x, 1.0f, 1e-6f); // the axis is fixed
    const TripletF b = r.multVec({1, -1, 0});
    EXPECT_NEAR(b.length(), std::sqrt(2.0f), 1e-6f);
    EXPECT_NEAR(b.dot({1, -1, 0}) / 2.0f, std::cos(1.2f), 1e-6f);
    r.setScaleMatrix(2.5f);
    EXPECT_EQ(r.multVec({1, -2, 4}), TripletF(2.5f, -5.0f, 10.0f));
}

TEST(Geometry, ElementSetsAndGlobalIds) {
    Geometry g;
    ShapeSet* tets = g.addFaceSet("tets", ShapeType::Tetrahedron, 3);
    ASSERT_NE(tets, nullptr);
    EXPECT_EQ(g.addFaceSet("tets", ShapeType::Hexahedron, 1), nullptr); // name exists
    g.addFaceSet("empty", ShapeType::Wedge, 0);
    ShapeSet* hexes = g.addFaceSet("hexes", ShapeType::Hexahedron, 2);
    ShapeSet* heptagons = g.addFaceSet("heptagons", ShapeType::Polygon, 1, 7);
    EXPECT_EQ(heptagons->getNodesPerElement(), 7);
    EXPECT_THROW(g.addFaceSet("bad", ShapeType::Polygon, 1), internal::badParam);
    EXPECT_THROW(g.addFaceSet("bad", ShapeType::Triangle, 1, 4), internal::badParam);
    EXPECT_EQ(g.getFaceSet("nothing"), nullptr);
    EXPECT_EQ(g.getFaceSetNames(), (std::vector<std::string>{"tets", "empty", "hexes", "heptagons"}));
    EXPECT_EQ(g.getElementSetName(2), "hexes");
    EXPECT_EQ(g.getElementSetName(4), "");
    EXPECT_EQ(g.getElementSetName(-1), "");

    EXPECT_EQ(g.getNumElements(), 6);
    EXPECT_EQ(g.getElement(2).set, 0);
    EXPECT_EQ(g.getElement(3).set, 2); // the empty set is skipped
    EXPECT_EQ(g.getElement(3).element, 0);
    EXPECT_EQ(g.getElement(5).set, 3);
    EXPECT_EQ(g.getElement(6).set, -1);
    std::vector<std::int64_t> ids;
    g.forEachCell([&](std::int64_t id, const ShapeSet& set, int e, std::span<const int> nodes) {
        EXPECT_EQ(&g.getElementSet(g.getElement(id).set), &set);
        EXPECT_EQ(g.getElement(id).element, e);
        EXPECT_EQ(nodes.size(), std::size_t(set.getNodesPerElement()));
        ids.push_back(id);
    });
    EXPECT_EQ(ids, (std::vector<std::int64_t>{0, 1, 2, 3, 4}));

    // Element numbers default to the index; setNum records file numbers.
    hexes->setNum(1, 1001);
    EXPECT_EQ(hexes->getNum(0), 0);
    EXPECT_EQ(hexes->getNum(1), 1001);
    hexes->resize(1);
    EXPECT_EQ(g.getNumElements(), 5);
    const int n[3] = {0, 1, 2};
    EXPECT_THROW(tets->addElement(n), internal::badParam);
    EXPECT_THROW(tets->resize(-1), internal::badParam);
}

TEST(Geometry, BadVertexIndexIsReported) {
    Geometry g;
    g.setVertices(TripletZELVector{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    g.addFaceSet("tri", ShapeType::Triangle, 1); // nodes left at -1
    test::expectError<data::invalid>([&] { g.getVertexAreas(); }, {.fragments = {"'tri'"}});
}

class TestReader : public FileReaderBase {
public:
    void generateOKLObjects() override {}
    std::vector<std::string> getVariableNames() override { return {"Thickness"}; }
    std::pair<float, float> getRange(const std::string&) override { return {1, 3}; }
    bool getVariableData(const std::string& name, FloatZELVectorConcrete& values) override {
        if (name != "Thickness") return false;
        values = FloatZELVector{1, 2, 3};
        return true;
    }
    FileType getFileType() const override { return SurfaceFile; }
    void doInitialize() override { ++initialised; }
    int initialised = 0;
};

TEST(Geometry, KindsFromTheFactoryAndOwnership) {
    GeometryAPI* api = GeometryAPI::instance();
    EXPECT_THROW(api->newGeometry("NoSuchGeometry"), internal::badParam);
    {
        GeometryAutoPtr plain(api->newGeometry(""));
        GeometryAutoPtr symbol(api->newGeometry("SymbolGeometry", nullptr));
        GeometryAutoPtr contour(api->newGeometry("ContourGeometry"));
        ASSERT_NE(dynamic_cast<SymbolGeometry*>(symbol.get()), nullptr);
        ASSERT_NE(dynamic_cast<ContourGeometry*>(contour.get()), nullptr);
        EXPECT_EQ(dynamic_cast<SymbolGeometry*>(plain.get()), nullptr);
        GeometryAutoPtr moved(std::move(plain));
        EXPECT_FALSE(plain);
        Geometry* kept = symbol.release();
        api->deleteGeometry(kept); // released geometries belong to the caller
    }                              // the others are freed here (checked by the sanitizer build)

    GeometryAutoPtr ext(api->newGeometry("ExternalGeometry"));
    auto* eg = dynamic_cast<ExternalGeometry*>(ext.get());
    ASSERT_NE(eg, nullptr);
    eg->setVertices(TripletZELVector{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    auto reader = std::make_unique<TestReader>();
    reader->initialize("surface.txt", "Surface 1");
    EXPECT_EQ(reader->initialised, 1);
    eg->setFileReader(std::move(reader));
    Variable* t = eg->getVariable("Thickness");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ((*t->getFloatValues())[2], 3.0f);
    EXPECT_EQ(eg->findVariable("Thickness"), t); // kept
    EXPECT_EQ(eg->getVariable("Nothing"), nullptr);
    EXPECT_THROW(eg->getVariable("Nothing", true), data::notFound);
}

TEST(Geometry, CloneCopiesWhatItIsAskedFor) {
    SymbolGeometry g;
    g.setName("P");
    g.setDomain("D1");
    g.setPlane(true);
    g.addParentDomain("D1");
    g.addParentDomain("D1");
    g.setVertices(TripletZELVector{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    g.getDirection1() = TripletZELVector{{0, 1, 0}, {0, 1, 0}, {0, 1, 0}};
    const int tri[3] = {0, 1, 2};
    g.addFaceSet("tri", ShapeType::Triangle)->addElement(tri);
    EXPECT_NEAR(g.getVertexAreas()[0], 1.0f / 6, 1e-7f);
    test::addScalar(g, "T", {1, 2, 3});
    auto vi = std::make_unique<VertexInterpolant>("D1");
    vi->pushVertex(5);
    g.setInterpolant(std::move(vi));

    const auto meshOnly = g.clone(true, false);
    ASSERT_NE(dynamic_cast<SymbolGeometry*>(meshOnly.get()), nullptr);
    EXPECT_EQ(meshOnly->getName(), "P");
    EXPECT_TRUE(meshOnly->isPlane());
    EXPECT_EQ(meshOnly->getParentDomains(), std::vector<std::string>{"D1"});
    EXPECT_EQ(meshOnly->getNumVertices(), 3);
    EXPECT_EQ(static_cast<SymbolGeometry&>(*meshOnly).getDirection1().size(), 3u);
    EXPECT_EQ(meshOnly->findVariable("T"), nullptr);
    EXPECT_EQ(meshOnly->getInterpolant(), nullptr);
    // The copy's mesh is its own: moving it leaves the source's weights alone.
    for (auto& p : meshOnly->getModifiableVertices()) p *= 2.0f;
    EXPECT_NEAR(meshOnly->getVertexAreas()[0], 4.0f / 6, 1e-6f);
    EXPECT_NEAR(g.getVertexAreas()[0], 1.0f / 6, 1e-7f);

    const auto full = g.clone(true, true);
    ASSERT_NE(full->findVariable("T"), nullptr);
    EXPECT_NE(full->findVariable("T"), g.findVariable("T"));
    ASSERT_NE(full->getInterpolant(), nullptr);
    EXPECT_EQ(static_cast<VertexInterpolant*>(full->getInterpolant())->getInternalData(0), 5);

    const auto empty = g.clone(false, false);
    EXPECT_EQ(empty->getNumVertices(), 0);
    EXPECT_EQ(empty->getNumElementSets(), 0);
}

TEST(Geometry, VariablesHeldComputedAndReplaced) {
    auto g = test::oneElement({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, ShapeType::Triangle);
    g->setDomain("D");
    Variable* x = g->getVariable("X");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ((*x->getFloatValues())[1], 2.0f);
    EXPECT_EQ(x->getDomain(), "D");
    Variable* area = g->getVariable("Area");
    ASSERT_NE(area, nullptr);
    EXPECT_NEAR((*area->getFloatValues())[0], 2.0f / 3, 1e-6f);
    Variable* normal = g->getVariable("Normal");
    ASSERT_NE(normal, nullptr);
    EXPECT_EQ((*normal->getTripletValues())[0], TripletF(0, 0, 1));
    EXPECT_EQ(g->getVariable("Volume"), nullptr); // no cells
    EXPECT_EQ(g->getVariable("Length"), nullptr); // no lines

    Variable* stored = test::addScalar(*g, "X", {});
    EXPECT_EQ(g->findVariable("X"), stored);
    EXPECT_EQ(g->getVariableNames().size(), 3u);
    EXPECT_TRUE(g->removeVariable("X"));
    EXPECT_FALSE(g->removeVariable("X"));
    EXPECT_THROW(g->addVariable(std::unique_ptr<Variable>()), internal::nullPointer);
}

TEST(Geometry, ContourLevels) {
    ContourGeometry c;
    c.getLevels().resize(2);
    c.getLevel(1).segments = IntZELVector{0, 1, 1, 2};
    c.getLevel(1).fringeFaces.push_back({4, 0});
    const auto copy = c.clone(true, false);
    const auto& cc = dynamic_cast<const ContourGeometry&>(*copy);
    EXPECT_EQ(cc.getNumLevels(), 2);
    EXPECT_EQ(cc.getLevel(1).segments.size(), 4u);
    EXPECT_EQ(cc.getLevel(1).fringeFaces[0].count, 4);
    EXPECT_THROW(c.getLevel(2), std::out_of_range);
    EXPECT_STREQ(ContourGeometry::faceSetSuffix(5), "PENTAGON");
}

} // namespace
} // namespace zel
