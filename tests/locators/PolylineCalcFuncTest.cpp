// Polylines from files, boundary intersections and contour levels: exact lengths and linear
// averages on a box, closed loops, the reports and errors of each mode, the boundary
// variables along an intersection, and the render step.
#include "tests/locators/LocatorTestSupport.h"

#include "framework/okl/ContourOKLObject.h"
#include "framework/okl/PlaneOKLObject.h"
#include "locators/PolylineCalcFunc.h"

#include <filesystem>
#include <fstream>
#include <type_traits>

namespace zel::test {
namespace {

namespace fs = std::filesystem;

std::string dataFile(const std::string& name) { return std::string(ZEL_TEST_DATA_DIR) + "/polylines/" + name; }

// Float positions of a unit-sized mesh, summed over a few segments.
constexpr double kTol = 1e-5;

void expectNear(const TripletD& v, const TripletD& expected, double tol) {
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(v[a], expected[a], tol) << "component " << a;
}

// A vertex variable of the geometry, with these values.
template <typename V, typename T> V* addVertexVariable(Geometry& g, const std::string& name, std::vector<T> values) {
    auto variable = std::make_unique<V>(VarTypeVertex);
    variable->setName(name);
    variable->values().vector() = std::move(values);
    return static_cast<V*>(g.addVariable(std::move(variable)));
}

// The fixture's storage, with phases and boundary flows of the test's choosing.
struct FixtureStorage : LocatorTest {
    using type = decltype(storage)::element_type;
};
class PhasedStorage : public FixtureStorage::type {
public:
    std::vector<std::string> getPhases(int selector, const std::string&) override {
        selectors.push_back(selector);
        return phaseList;
    }
    Variable* getBoundaryFlow(const std::string& name, Geometry* geometry) override {
        flowRequests.push_back(name);
        return provider ? provider(name, *geometry) : nullptr;
    }
    std::vector<std::string> phaseList{"Water"};
    std::vector<int> selectors;
    std::vector<std::string> flowRequests;
    std::function<Variable*(const std::string&, Geometry&)> provider;
};

class PolylineTest : public LocatorTest {
protected:
    static constexpr int kCells = 4;

    void SetUp() override {
        LocatorTest::SetUp();
        storage.reset(); // withdraws the fixture's storage; this one has phases
        auto phased = std::make_unique<PhasedStorage>();
        phased->registerInstance(phased.get());
        phasedStorage = phased.get();
        storage = std::move(phased);
        box = addDomain(makeHexBox("Box", kCells, kCells, kCells));
        addField("Pressure", benchField);
        // Each side of the box, where coordinate `axis` is at its minimum ("xmin") or maximum
        // ("xmax"), as a "BOUNDARY" object of the domain.
        for (int axis = 0; axis < 3; ++axis)
            for (int side = 0; side < 2; ++side) {
                const std::string name = std::string(1, char('x' + axis)) + (side == 0 ? "min" : "max");
                addTyped<GeometricOKLObject>("BOUNDARY", name, {{"Domain List", "Box"}})
                    ->setGeometry("Box", makeBoxSide(*box, kCells, axis, side, name, "Quadrilaterals"));
            }
    }
    Geometry* boundary(const std::string& name) {
        return dynamic_cast<GeometricOKLObject*>(ObjectDB::instance()->getObjectByName(name))->getGeometry("Box");
    }
    PlaneOKLObject* addSlice(const std::string& name, float x) {
        return built(addTyped<PlaneOKLObject>("PLANE", name, {{"Option", "YZ Plane"}, {"X", std::to_string(x)}}));
    }
    // A new polyline in place of any of that name.
    GeometricOKLObject* addPolyline(const std::string& name,
                                    const std::vector<std::pair<std::string, std::string>>& params) {
        ObjectDB::instance()->deleteObject(name);
        return addTyped<GeometricOKLObject>("POLYLINE", name, params);
    }
    GeometricOKLObject* intersection(const std::string& location, const std::string& boundaries,
                                     std::vector<std::pair<std::string, std::string>> more = {}) {
        more.insert(more.begin(),
                    {{"Option", "Boundary Intersection"}, {"Location", location}, {"Boundary List", boundaries}});
        return built(addPolyline("P", more));
    }

    // The segments of a geometry form one closed path: each starts where the one before ended,
    // and the last ends where the first started.
    static void expectClosedPath(const Geometry& g) {
        const IntZELVector& lines = g.getLines();
        ASSERT_GE(lines.size(), 6u);
        for (std::size_t k = 2; k < lines.size(); k += 2) EXPECT_EQ(lines[k], lines[k - 1]) << k;
        EXPECT_EQ(lines.back(), lines[0]);
    }
    static TripletD sum(const Variable& v) {
        TripletD s(0, 0, 0);
        for (const TripletF& t : *v.getTripletValues()) s += TripletD(t);
        return s;
    }
    static OKLObject* object(const std::string& name) { return ObjectDB::instance()->getObjectByName(name); }

    DomainGeometryBase* box = nullptr;
    PhasedStorage* phasedStorage = nullptr;
};

// ------------------------------------------------------------------ boundary intersection

TEST_F(PolylineTest, SliceMeetsTheSideWallsInTheClosedPerimeter) {
    addSlice("Slice", 0.55f);
    GeometricOKLObject* p = intersection("Slice", "ymin, ymax, zmin, zmax");
    EXPECT_EQ(reports().size(), 0u) << lastReport();
    ASSERT_EQ(p->getGeometryNames(), std::vector<std::string>{"Box"});
    const Geometry& g = *p->getGeometry("Box");
    EXPECT_EQ(g.getName(), "P");
    EXPECT_TRUE(g.getDomain().empty());
    // One vertex per crossed mesh edge on the perimeter, each used once: a closed loop has as
    // many segments as vertices.
    EXPECT_EQ(g.getNumVertices(), 4 * kCells);
    EXPECT_EQ(g.getNumLines(), 4 * kCells);
    expectClosedPath(g);
    const auto* edges = dynamic_cast<const EdgeInterpolant*>(g.getInterpolant());
    ASSERT_NE(edges, nullptr);
    EXPECT_EQ(edges->getDomains(), std::vector<std::string>{"Box"});
    EXPECT_EQ(edges->getNumVertices(), std::size_t(g.getNumVertices()));

    EXPECT_NEAR(length(*p), 4.0, kTol);
    EXPECT_NEAR(lengthAve(*p, "Pressure"), benchField({0.55, 0.5, 0.5}), kTol);

    // One wall: its chord across the slice. A boundary of another domain is left out for
    // this one without a word.
    addDomain(makeHexBox("Other", 2, 2, 2, {3, 0, 0}, {4, 1, 1}));
    addObject("BOUNDARY", "Elsewhere", {{"Domain List", "Other"}});
    p = intersection("Slice", "ymin, Elsewhere");
    EXPECT_EQ(reports().size(), 0u) << lastReport();
    EXPECT_NEAR(length(*p), 1.0, kTol);
    EXPECT_NEAR(lengthAve(*p, "Pressure"), benchField({0.55, 0.0, 0.5}), kTol);
}

TEST_F(PolylineTest, BoundaryLocationUsesItsVertexInterpolant) {
    // The edge that the bottom and the front walls share.
    GeometricOKLObject* p = intersection("ymin", "zmin");
    EXPECT_EQ(reports().size(), 0u) << lastReport();
    const Geometry& g = *p->getGeometry("Box");
    EXPECT_EQ(g.getNumVertices(), kCells + 1);
    const auto* nodes = dynamic_cast<const VertexInterpolant*>(g.getInterpolant());
    ASSERT_NE(nodes, nullptr);
    for (int i = 0; i < g.getNumVertices(); ++i)
        EXPECT_EQ(box->getVertices()[std::size_t(nodes->getInternalData(std::size_t(i)))],
                  g.getVertices()[std::size_t(i)]);
    EXPECT_NEAR(length(*p), 1.0, kTol);
    EXPECT_NEAR(lengthAve(*p, "Pressure"), benchField({0.5, 0.0, 0.0}), kTol);
}

TEST_F(PolylineTest, BadIntersectionSettingsAreReportedOrRaisedAndBuildNothing) {
    addSlice("Slice", 0.55f);
    addTyped<PlaneOKLObject>("PLANE", "Sampler", {{"Plane Type", "Sample"}});
    addObject("LINE", "Line");
    auto check = [&](std::vector<std::pair<std::string, std::string>> params, const std::string& message) {
        ErrorProgressReporter::instance()->clear();
        params.insert(params.begin(), {"Option", "Boundary Intersection"});
        auto* p = built(addPolyline("P", params));
        EXPECT_EQ(p->getNumGeometries(), 0u) << message;
        ASSERT_EQ(reports().size(), 1u) << message;
        expectReport(
            reports()[0],
            {.message = message, .className = "PolylineCalcFunc", .operation = "doIntersection", .type = ErrWarning});
    };
    check({{"Domain List", ""}, {"Location", "Slice"}, {"Boundary List", "ymin"}},
          "Cannot create polyline 'P'. Domain List is not provided.");
    check({{"Boundary List", "ymin"}}, "Cannot create polyline 'P'. Location is not provided.");
    check({{"Location", "Slice"}}, "Cannot create polyline 'P'. Boundary List is not provided.");
    check({{"Location", "Nowhere"}, {"Boundary List", "ymin"}},
          "Cannot create polyline 'P'. Location 'Nowhere' is not found.");
    check(
        {{"Location", "Sampler"}, {"Boundary List", "ymin"}},
        "Polyline Boundary Intersection requires Plane:Sampler to be a Slice Plane. Plane:Sampler is a Sample Plane.");
    check({{"Location", "Line"}, {"Boundary List", "ymin"}},
          "Polyline Boundary Intersection requires a Location object of \ntype Boundary, Region, Slice Plane or "
          "Isosurface. \nLine is a LINE.");

    // Reports that let the build go on: a second location, a boundary that does not exist or
    // is no boundary.
    ErrorProgressReporter::instance()->clear();
    GeometricOKLObject* p = intersection("Slice, Line", "Nothing, ymin, Slice");
    std::vector<std::string> messages;
    for (const auto& r : reports()) messages.push_back(r.getMessage());
    EXPECT_EQ(messages,
              (std::vector<std::string>{
                  "Cannot create polyline 'P'.\nBoundary Intersection mode currently supports only one location.",
                  "Cannot create polyline 'P'. Boundary 'Nothing' is not found.",
                  "Cannot create polyline 'P'. 'Slice' is not a boundary."}));
    EXPECT_NEAR(length(*p), 1.0, kTol);

    // The lists split as the user surface's do: empty items are no names, and a boundary
    // named twice is cut once.
    ErrorProgressReporter::instance()->clear();
    p = intersection("Slice, ", "ymin, , ymin");
    EXPECT_EQ(reports().size(), 0u) << lastReport();
    EXPECT_NEAR(length(*p), 1.0, kTol);

    // Objects of the wrong kind, and a boundary without geometry, are errors.
    auto fail = [&](const std::string& location, const std::string& boundaries, const std::string& message) {
        auto* p = addPolyline(
            "P", {{"Option", "Boundary Intersection"}, {"Location", location}, {"Boundary List", boundaries}});
        expectError<internal::nullPointer>([&] { run(*p); }, {.className = "PolylineCalcFunc", .message = message});
        EXPECT_EQ(p->getNumGeometries(), 0u);
    };
    addObject("CALCULATOR", "Calc");
    fail("Calc", "ymin", "Can't cast locator OKLObject for Calc to GeometricOKLObject.");
    fail("Slice", "ymin, Calc", "Can't cast boundary OKLObject for Calc to GeometricOKLObject.");
    addObject("BOUNDARY", "Ghost", {{"Domain List", "Box"}});
    fail("Slice", "Ghost", "Boundary Ghost is listed in domain Box, but no geometry was found.");
}

// A surface of two unit squares in the plane z = 0 that meet along x = 1 at different vertices
// (0-3 and 4-7), and a wall at y = 0 under both.
struct SplitSurface {
    std::unique_ptr<Geometry> surface = std::make_unique<Geometry>();
    std::unique_ptr<Geometry> wall = std::make_unique<Geometry>();
    SplitSurface() {
        surface->setName("Split");
        surface->setVertices(
            TripletZELVector{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}});
        surface->addFaceSet("q", ShapeType::Quadrilateral, 2)->editConnectivity() = {0, 1, 2, 3, 4, 5, 6, 7};
        auto edges = std::make_unique<EdgeInterpolant>("D");
        for (int i = 0; i < 8; ++i) edges->pushVertex(100 + i, 200 + i, 0.25f);
        surface->setInterpolant(std::move(edges));
        wall->setVertices(TripletZELVector{{-1, 0, -1}, {3, 0, -1}, {3, 0, 1}, {-1, 0, 1}});
        wall->addFaceSet("q", ShapeType::Quadrilateral, 1)->editConnectivity() = {0, 1, 2, 3};
    }
};

TEST_F(PolylineTest, CalcIntersectJoinsEdgesThatMeetAtDifferentVerticesAndNeedsTheInterpolantItCopies) {
    SplitSurface s;
    std::vector<Geometry*> walls{s.wall.get()};
    Geometry result;
    ASSERT_TRUE(PolylineCalcFunc::calcIntersect(&result, walls, s.surface.get(), false, "D", true, false));
    // Edges 0-1 and 4-5: one chain 0-1-4-5 with a zero-length step from 1 to 4.
    EXPECT_EQ(result.getVertices(), (TripletZELVector{{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {2, 0, 0}}));
    EXPECT_EQ(result.getLines(), (IntZELVector{0, 1, 1, 2, 2, 3}));
    const auto* edges = dynamic_cast<const EdgeInterpolant*>(result.getInterpolant());
    ASSERT_NE(edges, nullptr);
    EXPECT_EQ(edges->getDomains(), std::vector<std::string>{"D"});
    const int source[4] = {0, 1, 4, 5};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(edges->getInternalData(i).nodeA, 100 + source[i]);
        EXPECT_EQ(edges->getInternalData(i).nodeB, 200 + source[i]);
    }

    // A second call appends; without an interpolant asked for, the last one stays.
    ASSERT_TRUE(PolylineCalcFunc::calcIntersect(&result, walls, s.surface.get(), false, "D", false, false));
    EXPECT_EQ(result.getNumVertices(), 8);
    EXPECT_EQ(result.getLines(), (IntZELVector{0, 1, 1, 2, 2, 3, 4, 5, 5, 6, 6, 7}));
    EXPECT_EQ(result.getInterpolant(), edges);

    // Nothing on the boundaries: false, nothing added.
    Geometry empty;
    std::vector<Geometry*> none;
    EXPECT_FALSE(PolylineCalcFunc::calcIntersect(&empty, none, s.surface.get(), false, "D", false, false));
    EXPECT_EQ(empty.getNumVertices(), 0);

    // The interpolant it copies must be there.
    auto call = [&](Geometry* r, Geometry* surface, bool vertex) {
        return [=, &walls] { PolylineCalcFunc::calcIntersect(r, walls, surface, vertex, "D", true, false); };
    };
    expectError<internal::nullPointer>(
        call(nullptr, s.surface.get(), false),
        {.className = "PolylineCalcFunc", .message = "Null pointers provided to function."});
    expectError<internal::nullPointer>(call(&result, nullptr, false),
                                       {.message = "Null pointers provided to function."});
    expectError<internal::nullPointer>(call(&result, s.surface.get(), true),
                                       {.message = "Locator Split does not have a vertex interpolant."});
    s.surface->setInterpolant(std::make_unique<VertexInterpolant>("D"));
    expectError<internal::nullPointer>(call(&result, s.surface.get(), false),
                                       {.message = "Locator Split does not have an edge interpolant."});
    s.surface->setInterpolant(std::unique_ptr<Interpolant>());
    expectError<internal::nullPointer>(call(&result, s.surface.get(), false),
                                       {.message = "Locator Split does not have an interpolant."});
}

// ------------------------------------------------------------------- boundary variables

TEST_F(PolylineTest, BoundaryVariablesAlongAWallChord) {
    // A uniform pressure p0 on the bottom wall: its momentum flow is p0 times the outward area
    // vector at each vertex; and a heat flux q.
    const float p0 = 2.0f, q = 5.0f;
    Geometry* wall = boundary("ymin");
    std::vector<TripletF> flows;
    for (const TripletF& a : wall->getVertexAreaVectors()) flows.push_back(a * p0);
    std::vector<float> heatFlows;
    for (float a : wall->getVertexAreas()) heatFlows.push_back(a * q);
    addVertexVariable<VectorVariable>(*wall, "momentum flow", flows);
    addVertexVariable<ScalarVariable>(*wall, "Heat Flow", heatFlows);
    addSlice("Slice", 0.55f);
    GeometricOKLObject* p = intersection("Slice", "ymin", {{"Add Local Variable", "True"}});
    EXPECT_EQ(reports().size(), 0u) << lastReport();
    Geometry& g = *p->getGeometry("Box");
    const std::size_t n = std::size_t(g.getNumVertices());

    // The force on the unit-width band: -(p0 n) per unit length, summed along the unit chord.
    const Variable* force = g.findVariable("Normalized Force on P");
    ASSERT_NE(force, nullptr);
    EXPECT_EQ(force->getGlobalType(), VarTypeLocal);
    EXPECT_TRUE(force->hasValues(VarTypeLocal));
    expectNear(sum(*force), {0.0, p0, 0.0}, kTol);
    const Variable* forceY = g.findVariable("Normalized Force on P Y");
    ASSERT_NE(forceY, nullptr);
    EXPECT_EQ(forceY->getGlobalType(), VarTypeLocal);
    EXPECT_FLOAT_EQ((*forceY->getFloatValues())[0], (*force->getTripletValues())[0].y);

    const Variable* normal = g.findVariable("Boundary Normal on P");
    ASSERT_NE(normal, nullptr);
    ASSERT_NE(g.findVariable("Boundary Normal on P Z"), nullptr);
    for (const TripletF& v : *normal->getTripletValues()) expectNear(TripletD(v), {0.0, -1.0, 0.0}, 1e-6);

    const Variable* flux = g.findVariable("Heat Flux");
    ASSERT_NE(flux, nullptr);
    EXPECT_EQ(flux->getGlobalType(), VarTypeLocal);
    ASSERT_EQ(flux->getSize(), n);
    for (float v : *flux->getFloatValues()) EXPECT_NEAR(v, q, 1e-5);
    EXPECT_EQ(phasedStorage->selectors, (std::vector<int>{1, 3}));
    EXPECT_TRUE(phasedStorage->flowRequests.empty()); // the wall holds its flows

    // The declarations: the force with its units, the normal without; none for the flux.
    OKLObject* declared = expectObject(
        "Normalized Force on P", "VECTOR VARIABLE",
        {{"Related Object", "P"},
         {"Base Units", "kg m s^-2"},
         {"Variable Dimensions", "1,1,-2,0,0,0,0,0,0,0"},
         {"Quantity Type", "Force"},
         {"Variable Description", "Force acting on the unit-width band of boundary faces around the polyline"}});
    expectObject("Normalized Force on P Z", "SCALAR VARIABLE",
                 {{"Recipe", "Vector Component"}, {"Variable", "Normalized Force on P"}, {"Component Index", "3"}});
    EXPECT_EQ(defs->getBaseUnits("Normalized Force on P X", false), "kg m s^-2");
    const OKLObject* normalObject =
        expectObject("Boundary Normal on P", "VECTOR VARIABLE",
                     {{"Variable Dimensions", "0,0,0,0,0,0,0,0,0,0"},
                      {"Variable Description", "Vertex normals interpolated from the associated boundary"}});
    ASSERT_TRUE(declared && normalObject);
    EXPECT_FALSE(normalObject->isParamSet("Base Units"));
    EXPECT_EQ(object("Heat Flux"), nullptr);

    // A rebuild leaves the declarations as they are; a vertex of zero area adds nothing (one
    // that shares a node of the chord, with a value that would show).
    declared->setParameter("Variable Description", "kept");
    {
        // Box node 2 is (0.5, 0, 0), an end of the mesh edge that the chord's first vertex
        // lies on.
        auto* nodes = dynamic_cast<VertexInterpolant*>(wall->getInterpolant());
        TripletZELVector vertices = wall->getVertices();
        vertices.push_back(box->getVertices()[2]);
        nodes->pushVertex(2);
        auto* flow = static_cast<VectorVariable*>(wall->findVariable("momentum flow"));
        flow->values().push_back({1e6f, 1e6f, 1e6f});
        static_cast<ScalarVariable*>(wall->findVariable("Heat Flow"))->values().push_back(1e6f);
        wall->setVertices(std::move(vertices));
    }
    run(*p);
    EXPECT_EQ(object("Normalized Force on P")->getValue("Variable Description"), "kept");
    EXPECT_NEAR(sum(*p->getGeometry("Box")->findVariable("Normalized Force on P")).y, p0, kTol);
    for (float v : *p->getGeometry("Box")->findVariable("Heat Flux")->getFloatValues()) EXPECT_NEAR(v, q, 1e-5);
}

TEST_F(PolylineTest, BoundaryVariablesOfPhases) {
    addSlice("Slice", 0.55f);
    // Two phases; the wall provides its phase flows on request, but holds the plain momentum
    // flow once asked for "Air.momentum flow": a single, unprefixed force, and no further
    // phase is asked for.
    phasedStorage->phaseList = {"Air", "Water"};
    phasedStorage->provider = [](const std::string& name, Geometry& wall) -> Variable* {
        if (name == "Air.momentum flow") {
            addVertexVariable<VectorVariable>(wall, "momentum flow", wall.getVertexAreaVectors().vector());
            return nullptr;
        }
        if (name != "Air.Heat Flow" && name != "Water.Heat Flow") return nullptr;
        std::vector<float> heat;
        for (float a : wall.getVertexAreas()) heat.push_back(a * (name[0] == 'A' ? 1.0f : 2.0f));
        return addVertexVariable<ScalarVariable>(wall, name, heat);
    };
    GeometricOKLObject* p = intersection("Slice", "ymin", {{"Add Local Variable", "True"}});
    EXPECT_EQ(reports().size(), 0u) << lastReport();
    Geometry& g = *p->getGeometry("Box");
    EXPECT_NE(g.findVariable("Normalized Force on P"), nullptr);
    EXPECT_EQ(g.findVariable("Air.Normalized Force on P"), nullptr);
    EXPECT_EQ(g.findVariable("Water.Normalized Force on P"), nullptr);
    EXPECT_NEAR(sum(*g.findVariable("Normalized Force on P")).y, 1.0, kTol);
    EXPECT_EQ(object("Air.Normalized Force on P"), nullptr);
    // Heat: each phase its own.
    ASSERT_NE(g.findVariable("Air.Heat Flux"), nullptr);
    ASSERT_NE(g.findVariable("Water.Heat Flux"), nullptr);
    EXPECT_NEAR((*g.findVariable("Water.Heat Flux")->getFloatValues())[0], 2.0, 1e-5);
    EXPECT_EQ(phasedStorage->flowRequests,
              (std::vector<std::string>{"Air.momentum flow", "Air.Heat Flow", "Water.Heat Flow"}));

    // No phases: only the normal.
    phasedStorage->phaseList.clear();
    p = intersection("Slice", "ymax", {{"Add Local Variable", "True"}});
    std::vector<std::string> names = p->getGeometry("Box")->getVariableNames();
    std::erase_if(names, [](const std::string& s) { return s.find("Boundary Normal") == 0; });
    EXPECT_TRUE(names.empty()) << names.front();
    // Without "Add Local Variable": nothing.
    p = intersection("Slice", "ymax");
    EXPECT_TRUE(p->getGeometry("Box")->getVariableNames().empty());
}

TEST_F(PolylineTest, BoundaryVariableChecks) {
    addSlice("Slice", 0.55f);
    Geometry* wall = boundary("ymin");
    addVertexVariable<VectorVariable>(*wall, "momentum flow", std::vector<TripletF>(3));
    const std::size_t count = wall->getVertexAreas().size();
    auto fails = [&](auto family, const std::string& operation, const std::string& message) {
        auto* p = addPolyline("P", {{"Option", "Boundary Intersection"},
                                    {"Location", "Slice"},
                                    {"Boundary List", "ymin"},
                                    {"Add Local Variable", "True"}});
        expectError<decltype(family)>([&] { run(*p); }, {.operation = operation, .message = message});
        EXPECT_EQ(p->getNumGeometries(), 0u);
    };
    fails(data::invalid("", "", ""), "calcForce",
          _("Boundary momentum flow size (3) does not match Boundary vertex areas (%d).", count));
    addVertexVariable<ScalarVariable>(*wall, "Heat Flow", std::vector<float>(2));
    wall->removeVariable("momentum flow");
    fails(data::invalid("", "", ""), "calcHeatFlux",
          _("Boundary heat flow size (2) does not match Boundary vertex areas (%d).", count));
    wall->removeVariable("Heat Flow");
    addVertexVariable<VectorVariable>(*wall, "momentum flow", std::vector<TripletF>(count));
    std::unique_ptr<Interpolant> nodes(wall->getInterpolant()->clone());
    auto* vertexNodes = static_cast<VertexInterpolant*>(nodes.get());
    wall->setInterpolant(std::make_unique<EdgeInterpolant>("Box"));
    fails(internal::error("", "", ""), "calcForce", "Boundary ymin does not have a VertexInterpolant.");
    auto shorter = std::make_unique<VertexInterpolant>("Box");
    shorter->pushVertex(0);
    wall->setInterpolant(std::move(shorter));
    fails(data::invalid("", "", ""), "calcForce",
          _("Boundary interpolant vertices size (1) does not match Boundary vertex areas (%d).", count));
    vertexNodes->addDomainName("Box");
    wall->setInterpolant(std::move(nodes));
    fails(internal::error("", "", ""), "calcForce", "VertexInterpolant has more than one domain.");
}

// -------------------------------------------------------------------------------- files

TEST_F(PolylineTest, FromFileKeepsTheReaderAndItsVariablesAndFailuresLeaveNoGeometry) {
    auto* square = built(addPolyline("Square", {{"Input File", dataFile("square_loop.txt")}}));
    ASSERT_EQ(square->getGeometryNames(), std::vector<std::string>{""});
    const Geometry& g = *square->getGeometry("");
    ASSERT_NE(dynamic_cast<const ExternalGeometry*>(&g), nullptr);
    EXPECT_EQ(g.getName(), "Square");
    EXPECT_EQ(g.getLines(), (IntZELVector{0, 1, 1, 2, 2, 3, 3, 0}));
    EXPECT_NEAR(length(*square), 4.0, kTol);
    EXPECT_NEAR(lengthAve(*square, "Pressure"), benchField({0.5, 0.5, 0.5}), kTol);

    // A file variable is the polyline's, declared in the database.
    auto* rake = built(addPolyline("Rake", {{"Input File", dataFile("probe_rake.txt")}}));
    EXPECT_NEAR(length(*rake), 0.75, kTol);
    EXPECT_NEAR(lengthAve(*rake, "Wall Temperature"), 293.15 + 20.0 * 0.375, 1e-4);
    EXPECT_NEAR(lengthAve(*rake, "Pressure"), benchField({0.375, 0.1, 0.25}), kTol);
    expectObject("Wall Temperature", "SCALAR VARIABLE",
                 {{"Related Object", "Rake"}, {"Variable Dimensions", "0,0,0,1,0,0,0,0,0,0"}});
    EXPECT_EQ(defs->getBaseUnits("Heat Flux", false), "kg s^-3");
    EXPECT_EQ(reports().size(), 0u) << lastReport();

    // A file variable whose name an object of another kind holds is not declared.
    const fs::path path = fs::temp_directory_path() / "zel_polyline_clash.txt";
    std::ofstream(path, std::ios::binary) << "X, Y, Z, Square\n0 0 0 1\n1 0 0 2\n";
    auto* clash = built(addPolyline("Clash", {{"Input File", path.string()}}));
    fs::remove(path);
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_EQ(reports()[0].getMessage(),
              "The file variable 'Square' is not declared: an object 'Square' of type POLYLINE exists.");
    EXPECT_EQ(reports()[0].getErrorType(), ErrWarning);
    EXPECT_NEAR(lengthAve(*clash, "Square"), 1.5, kTol);

    // A file that fails to read, or is gone, leaves no geometry.
    std::ofstream(path, std::ios::binary) << "0 0 0\n1 0 0\n[Lines]\n0 1\n0 2\n";
    auto* p = addPolyline("P", {{"Input File", path.string()}});
    expectError<data::invalid>([&] { run(*p); },
                               {.className = "PolylineGeometryReader",
                                .message = "Line connectivity index out of range on line 5, should be within: 0..1"});
    EXPECT_EQ(p->getNumGeometries(), 0u);
    fs::remove(path);
    EXPECT_THROW(run(*p), data::notFound);
    EXPECT_EQ(p->getNumGeometries(), 0u);
    // An unknown option builds nothing.
    p->setParameter("Option", "Spline");
    run(*p);
    EXPECT_EQ(p->getNumGeometries(), 0u);
}

// ------------------------------------------------------------------------------ contours

TEST_F(PolylineTest, ContourLevelInChainOrderAndItsErrors) {
    addField("Gx", [](const TripletD& p) { return p.x; });
    built(addTyped<PlaneOKLObject>("PLANE", "Mid", {{"Option", "XY Plane"}, {"Z", "0.45"}}));
    auto* contour = addTyped<ContourOKLObject>(
        "CONTOUR", "C", {{"Location List", "Mid"}, {"Colour Variable", "Gx"}, {"Number of Contours", "11"}});
    contour->calculateContours();
    ASSERT_EQ(contour->getGeometryNames(), std::vector<std::string>{"Box"});
    // Level 7 of 0, 0.1, ..., 1: the isoline x = 0.6 across the mid plane.
    auto* p = built(addPolyline("Iso", {{"Option", "From Contour"}, {"Contour Name", "C"}, {"Contour Level", "7"}}));
    ASSERT_EQ(p->getGeometryNames(), std::vector<std::string>{"Box"});
    const Geometry& g = *p->getGeometry("Box");
    EXPECT_EQ(g.getName(), "Iso");
    const IntZELVector& lines = g.getLines();
    ASSERT_EQ(lines.size(), 2u * std::size_t(g.getNumVertices() - 1));
    for (std::size_t k = 0; k < lines.size(); ++k) EXPECT_EQ(lines[k], int((k + 1) / 2)) << k;
    for (const TripletF& v : g.getVertices()) EXPECT_NEAR(v.x, 0.6, 1e-6);
    EXPECT_NEAR(length(*p), 1.0, kTol);
    EXPECT_NEAR(lengthAve(*p, "Pressure"), benchField({0.6, 0.5, 0.45}), kTol);

    auto fails = [&](auto family, std::vector<std::pair<std::string, std::string>> params, const std::string& message) {
        params.insert(params.begin(), {"Option", "From Contour"});
        auto* p = addPolyline("Iso", params);
        expectError<decltype(family)>([&] { run(*p); }, {.className = "PolylineCalcFunc", .message = message});
        EXPECT_EQ(p->getNumGeometries(), 0u);
    };
    const internal::badParam badParam("", "", "");
    fails(data::invalid("", "", ""), {{"Contour Name", "C"}, {"Contour Level", "0"}},
          "Requested contour level 0 does not exist.");
    fails(data::invalid("", "", ""), {{"Contour Name", "C"}, {"Contour Level", "12"}},
          "Requested contour level 12 does not exist.");
    fails(badParam, {{"Contour Name", "Nope"}}, "Cannot find OKL object for contour 'Nope'.");
    addObject("CALCULATOR", "Calc");
    fails(badParam, {{"Contour Name", "Calc"}}, "Bad cast of OKLObject 'Calc' to GeometricOKLObject.");
    fails(internal::nullPointer("", "", ""), {{"Contour Name", "Mid"}},
          "Can't cast GeometricOKLObject for Mid to ContourOKLObject.");
    fails(data::invalid("", "", ""), {{"Contour Name", "C"}, {"Domain List", ""}},
          "Empty domain list found in Domain List parameter.");
}

// ----------------------------------------------------------------------- render, actions

TEST_F(PolylineTest, RenderDrawsWhatEachModeBuilt) {
    ViewerInterface* viewer = ViewerInterface::instance();
    auto* file = built(addPolyline("Square", {{"Input File", dataFile("square_loop.txt")}, {"Line Width", "2"}}));
    run(*file, "render");
    EXPECT_EQ(viewer->getGeometryNames(file->getPath()), std::vector<std::string>{""});
    EXPECT_EQ(viewer->getItem(file->getPath(), "")->graphic.getLineWidth(), 2.0f);
    EXPECT_FALSE(file->isGeometryChanged());

    // Per domain: the crossed domain is drawn, the other deleted; no empty name.
    addDomain(makeHexBox("Other", 2, 2, 2, {3, 0, 0}, {4, 1, 1}));
    addSlice("Slice", 0.55f);
    GeometricOKLObject* p = intersection("Slice", "ymin");
    viewer->clearHistory();
    run(*p, "render");
    EXPECT_EQ(viewer->getGeometryNames(p->getPath()), std::vector<std::string>{"Box"});
    EXPECT_EQ(deletedGeometries(), std::vector<std::string>{"Other"});

    // Coloured by a variable the polyline cannot provide.
    addObject("SCALAR VARIABLE", "Nope", {{"Boundary Values", "Conservative"}});
    p->setParameter("Colour Mode", "Variable");
    p->setParameter("Colour Variable", "Nope");
    expectError<internal::nullPointer>([&] { run(*p, "render"); },
                                       {.className = "PolylineCalcFunc", .message = "Couldn't find variable Nope."});

    // "glyph" changes nothing; "colour" recolours; a plain object is refused.
    run(*p, "glyph");
    EXPECT_EQ(p->getNumGeometries(), 1u);
    p->clearChangeFlags();
    run(*p, "colour");
    EXPECT_TRUE(p->isColourChanged());
    PolylineCalcFunc calc;
    OKLObject plain("CALCULATOR", "");
    expectError<internal::error>([&] { calc(&plain, "top"); },
                                 {.className = "PolylineCalcFunc", .message = "Cast to GeometricOKLObject failed."});
    std::unique_ptr<CalcBase> copy(PolylineCalcFunc(false).clone());
    EXPECT_FALSE(dynamic_cast<PolylineCalcFunc&>(*copy).getFlag());
}

} // namespace
} // namespace zel::test
