// Points: at coordinates (with the nearest node against a brute-force twin), at node numbers,
// at the extrema of a variable on another location (ties, vectors, value types), the
// reported and raised problems, and both error policies.
#include "tests/locators/LocatorTestSupport.h"

#include "framework/okl/SymbolGeometricOKLObject.h"
#include "locators/PointCalcFunc.h"

#include <random>
#include <stdexcept>

namespace zel::test {
namespace {

using Params = std::vector<std::pair<std::string, std::string>>;

class PointTest : public LocatorTest {
protected:
    SymbolGeometricOKLObject* addPoint(const std::string& name, const Params& params) {
        return addTyped<SymbolGeometricOKLObject>("POINT", name, params);
    }
    // The object changed by `params` and built again.
    static void rerun(OKLObject& object, const Params& params) {
        for (const auto& [name, value] : params) object.setParameter(name, value);
        run(object);
    }
    static void usePolicy(bool propagate) {
        CalcRegistry::instance()->registerCalcFunc("POINT", std::make_unique<PointCalcFunc>(propagate, true));
    }
    static std::vector<TripletF> pointsOf(GeometricOKLObject& object, const std::string& name) {
        const Geometry* g = object.getGeometry(name);
        return g ? g->getVertices().vector() : std::vector<TripletF>{};
    }
    static std::size_t reportsOf(const std::string& message) {
        std::size_t n = 0;
        for (const auto& r : reports()) n += r.getMessage() == message ? 1 : 0;
        return n;
    }
};

TEST_F(PointTest, XYZPointAndItsNearestNode) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    auto* point = built(addPoint("P1", {{"Point", "100, 100, 100 [mm]"}}));
    ASSERT_EQ(point->getGeometryNames(), std::vector<std::string>{""});
    auto* g = dynamic_cast<SymbolGeometry*>(point->getGeometry(""));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->getName(), "P1");
    EXPECT_EQ(g->getVertices().vector(), std::vector<TripletF>{TripletF(0.1f, 0.1f, 0.1f)});
    EXPECT_EQ(g->getDirection1().vector(), std::vector<TripletF>{TripletF(0, 1, 0)});
    EXPECT_EQ(g->getDirection2().vector(), std::vector<TripletF>{TripletF(0, 0, 1)});
    const auto* interp = dynamic_cast<const ExternalInterpolant*>(g->getInterpolant());
    ASSERT_NE(interp, nullptr);
    EXPECT_EQ(interp->getDomains(), std::vector<std::string>{"D1"});
    EXPECT_EQ(point->getValue("Nearest Node Number"), "1");

    // Twin: in a box of unit cells the heaviest node of the holding cell is, along each
    // axis, the nearer of the cell's two node planes. Nodes are counted from 1.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> unit(0.01f, 0.99f);
    for (int trial = 0; trial < 20; ++trial) {
        const TripletF p{unit(rng), unit(rng), unit(rng)};
        rerun(*point, {{"Point", _("%.7f, %.7f, %.7f", p.x, p.y, p.z)}});
        int node[3];
        for (int a = 0; a < 3; ++a) node[a] = int(std::lround(std::stof(_("%.7f", p[a])) * 2.0f));
        EXPECT_EQ(point->getValue("Nearest Node Number"), std::to_string(1 + node[0] + 3 * (node[1] + 3 * node[2])))
            << p.x << " " << p.y << " " << p.z;
    }

    // Outside every domain: the point is kept, but has no node.
    rerun(*point, {{"Point", "5, 5, 5"}});
    EXPECT_EQ(point->getNumGeometries(), 1u);
    EXPECT_EQ(point->getValue("Nearest Node Number"), "-1");
    EXPECT_EQ(reports().size(), 0u) << lastReport();
}

TEST_F(PointTest, XYZWithTheWrongNumberOfValuesIsReportedUnderBothPolicies) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    for (const bool propagate : {true, false}) {
        usePolicy(propagate);
        for (const char* value : {"0.1, 0.2", "0.1, 0.2, 0.3, 0.4"}) {
            SCOPED_TRACE(value);
            auto* point = built(addPoint(_("P %d %s", int(propagate), value), {{"Point", "0.6, 0.6, 0.6"}}));
            ASSERT_EQ(point->getNumGeometries(), 1u);
            ASSERT_NE(point->getValue("Nearest Node Number"), "-1");
            point->setParameter("Point", value);
            const std::size_t before = reports().size();
            run(*point);
            expectReport(onlyReportSince(before), {.message = "Parameter 'Point' must be defined by 3 float values.",
                                                   .className = "PointCalcFunc",
                                                   .type = 4});
            EXPECT_EQ(point->getNumGeometries(), 0u);
            EXPECT_EQ(point->getValue("Nearest Node Number"), "-1");
        }
    }
}

TEST_F(PointTest, NodeNumberPointsPerDomain) {
    addDomain(makeHexBox("D1", 2, 2, 2));                       // 27 vertices
    addDomain(makeHexBox("D2", 3, 1, 1, {2, 0, 0}, {3, 1, 1})); // 16 vertices
    auto* point = built(addPoint("N", {{"Option", "Node Number"}, {"Node Number", "1"}}));
    EXPECT_EQ(point->getGeometryNames(), (std::vector<std::string>{"D1", "D2"}));
    EXPECT_EQ(pointsOf(*point, "D1"), std::vector<TripletF>{TripletF(0, 0, 0)});
    EXPECT_EQ(pointsOf(*point, "D2"), std::vector<TripletF>{TripletF(2, 0, 0)});
    for (const char* name : {"D1", "D2"}) {
        const Geometry* g = point->getGeometry(name);
        EXPECT_EQ(g->getName(), name);
        EXPECT_EQ(g->getDomain(), name);
        EXPECT_EQ(g->getInterpolant()->getDomains(), std::vector<std::string>{name});
    }
    EXPECT_EQ(point->getValue("Nearest Node Number"), "1");

    // Beyond D2's vertex count: D1 alone.
    rerun(*point, {{"Node Number", "20"}});
    EXPECT_EQ(point->getGeometryNames(), std::vector<std::string>{"D1"});
    EXPECT_EQ(pointsOf(*point, "D1"), std::vector<TripletF>{TripletF(0.5f, 0.0f, 1.0f)}); // vertex 19
    EXPECT_EQ(point->getValue("Nearest Node Number"), "20");
    for (const char* n : {"0", "28", "-4"}) {
        rerun(*point, {{"Node Number", n}});
        EXPECT_EQ(point->getNumGeometries(), 0u) << n;
        EXPECT_EQ(point->getValue("Nearest Node Number"), "-1");
    }

    // A name without an object is skipped; the wrong kind of object is an error.
    rerun(*point, {{"Node Number", "2"}, {"Domain List", "Ghost, D2"}});
    EXPECT_EQ(point->getGeometryNames(), std::vector<std::string>{"D2"});
    addObject("NOTE", "Speed"); // a plain object, not a geometric one
    addObject("BOUNDARY", "Wall");
    point->setParameter("Domain List", "D1, Speed");
    expectError<internal::badParam>(
        [&] { run(*point); },
        {.className = "PointCalcFunc", .message = "Bad cast of OKLObject 'Speed' to GeometricOKLObject."});
    EXPECT_EQ(point->getNumGeometries(), 0u);
    point->setParameter("Domain List", "Wall");
    expectError<internal::badParam>([&] { run(*point); }, {.message = "Cannot get geometry for domain 'Wall'."});
    point->setParameter("Domain List", "");
    expectError<data::invalid>([&] { run(*point); }, {.message = "Empty domain list found in Domain List parameter."});
    EXPECT_EQ(point->getValue("Nearest Node Number"), "-1");
}

TEST_F(PointTest, ExtremaOnAnotherLocationAndMissingLocationsAndVariables) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    addDomain(makeHexBox("D2", 3, 1, 1, {2, 0, 0}, {3, 1, 1}));
    addField("Pressure", benchField);
    addField("Const", [](const TripletD&) { return 7.0; });
    // A sample line through D1 (its geometry is under the empty name) and a slice through
    // both domains (one geometry per domain).
    auto* line = built(addTyped<GeometricOKLObject>(
        "LINE", "L", {{"Point 1", "0.1, 0.2, 0.3"}, {"Point 2", "0.9, 0.2, 0.3"}, {"Line Samples", "5"}}));
    built(addTyped<GeometricOKLObject>("PLANE", "S", {{"Z", "0.5"}}));

    auto* point = built(addPoint("P", {{"Option", "Variable Maximum"}, {"Location", "L"}, {"Variable", "Pressure"}}));
    ASSERT_EQ(point->getGeometryNames(), std::vector<std::string>{""});
    EXPECT_EQ(pointsOf(*point, ""), std::vector<TripletF>{line->getGeometry("")->getVertices().vector().back()});
    const Geometry* g = point->getGeometry("");
    EXPECT_EQ(g->getName(), "");
    // The empty name's points are mapped into every domain of the directory.
    EXPECT_EQ(g->getInterpolant()->getDomains(), (std::vector<std::string>{"D1", "D2"}));
    EXPECT_EQ(point->getValue("Nearest Node Number"), "12"); // (0.9, 0.2, 0.3): node (1, 0, 0.5)

    rerun(*point, {{"Option", "Variable Minimum"}});
    EXPECT_EQ(pointsOf(*point, ""), std::vector<TripletF>{line->getGeometry("")->getVertices()[0]});

    // A constant variable ties at every vertex.
    rerun(*point, {{"Variable", "Const"}});
    EXPECT_EQ(pointsOf(*point, ""), line->getGeometry("")->getVertices().vector());

    // On the slice: one point per domain piece, at that piece's extreme vertex.
    rerun(*point, {{"Location", "S"}, {"Variable", "Pressure"}, {"Option", "Variable Maximum"}});
    EXPECT_EQ(point->getGeometryNames(), (std::vector<std::string>{"D1", "D2"}));
    EXPECT_EQ(pointsOf(*point, "D1"), std::vector<TripletF>{TripletF(1, 1, 0.5f)});
    EXPECT_EQ(pointsOf(*point, "D2"), std::vector<TripletF>{TripletF(3, 1, 0.5f)});
    EXPECT_EQ(reports().size(), 0u) << lastReport();

    // A missing location or variable only removes the points: the location is asked for on
    // each of D1, D2 and the empty name.
    addObject("NOTE", "Speed"); // a plain object, not a geometric one
    auto* missing = built(addPoint("Q", {{"Option", "Variable Minimum"}, {"Location", ""}}));
    EXPECT_EQ(missing->getNumGeometries(), 0u);
    EXPECT_EQ(reportsOf("Cannot create point 'Q'. Location is not provided."), 3u);
    expectReport(reports().back(), {.className = "PointCalcFunc", .operation = "findExtrema", .type = 8});

    rerun(*missing, {{"Location", "Nowhere"}});
    EXPECT_EQ(reportsOf("Cannot create point 'Q'. Location 'Nowhere' is not found."), 3u);

    // Only the line's geometry (the empty name) is asked for the variable, which the solver
    // does not have.
    addObject("SCALAR VARIABLE", "Ghost", {{"Boundary Values", "Conservative"}});
    rerun(*missing, {{"Location", "L"}, {"Variable", "Ghost"}});
    EXPECT_EQ(reportsOf("Cannot create point 'Q'. Variable 'Ghost' is not found."), 1u);
    EXPECT_EQ(missing->getNumGeometries(), 0u);
    EXPECT_EQ(missing->getValue("Nearest Node Number"), "-1");

    missing->setParameter("Location", "Speed");
    expectError<internal::nullPointer>(
        [&] { run(*missing); }, {.className = "PointCalcFunc", .message = "Can't cast 'Speed' to GeometricOKLObject."});
}

TEST_F(PointTest, ExtremaOfVectorsAndOfTheChosenValueType) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    auto* line = built(addTyped<GeometricOKLObject>("LINE", "L", {{"Line Samples", "4"}, {"Point 2", "0.9, 0, 0"}}));
    Geometry* lg = line->getGeometry("");
    // A vector: its magnitudes count.
    auto velocity = std::make_unique<VectorVariable>(VarTypeLocal);
    velocity->setName("Vel");
    velocity->values(VarTypeLocal).vector() = {{1, 0, 0}, {0, -3, 0}, {0, 0, 2}, {-3, 0, 0}};
    lg->addVariable(std::move(velocity));
    auto* point = built(addPoint("P", {{"Option", "Variable Maximum"}, {"Location", "L"}, {"Variable", "Vel"}}));
    EXPECT_EQ(pointsOf(*point, ""), (std::vector<TripletF>{lg->getVertices()[1], lg->getVertices()[3]}));

    // A scalar with two value sets: the variable's own unless "Variable Boundary Values"
    // names another.
    auto twoSets = std::make_unique<ScalarVariable>(VarTypeConservative);
    twoSets->setName("Two");
    twoSets->values(VarTypeConservative).vector() = {1, 2, 3, 0};
    twoSets->values(VarTypeHybrid).vector() = {1, 9, 3, 0};
    lg->addVariable(std::move(twoSets));
    rerun(*point, {{"Variable", "Two"}, {"Option", "Variable Minimum"}});
    EXPECT_EQ(pointsOf(*point, ""), std::vector<TripletF>{lg->getVertices()[3]});
    rerun(*point, {{"Option", "Variable Maximum"}});
    EXPECT_EQ(pointsOf(*point, ""), std::vector<TripletF>{lg->getVertices()[2]});
    rerun(*point, {{"Variable Boundary Values", "Hybrid"}});
    EXPECT_EQ(pointsOf(*point, ""), std::vector<TripletF>{lg->getVertices()[1]});
    EXPECT_EQ(reports().size(), 0u) << lastReport();
}

class FailingPoint : public SymbolGeometricOKLObject {
public:
    FailingPoint() : SymbolGeometricOKLObject("POINT", "Failing") {}
    void prepareForUpdate() override {
        if (mode == 0) throw std::runtime_error("boom");
        throw 7;
    }
    int mode = 0;
};

TEST_F(PointTest, ErrorPolicies) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    PointCalcFunc reporting(false, true), propagating;

    OKLObject* plane = addObject("PLANE", "Not a point");
    expectError<internal::error>([&] { propagating(plane, "top"); },
                                 {.className = "PointCalcFunc", .message = "Cast to SymbolGeometricOKLObject failed."});
    reporting(plane, "top");
    expectReport(reports().back(), {.message = "Bad cast of OKLObject 'p_OKLObj' to SymbolGeometricOKLObect.",
                                    .family = "data::error",
                                    .type = 32});

    FailingPoint failing;
    const std::pair<int, std::string> cases[] = {{0, "Operation 'PointCalcFunc' failed (system exception: boom)."},
                                                 {1, "Operation 'PointCalcFunc' failed with unrecognized exception."}};
    for (const auto& [mode, message] : cases) {
        failing.mode = mode;
        failing.setGeometry("", std::make_unique<SymbolGeometry>());
        reporting(&failing, "top");
        expectReport(reports().back(), {.message = message, .operation = "operator()", .type = 1});
        EXPECT_EQ(failing.getNumGeometries(), 0u);
    }
    failing.mode = 0;
    EXPECT_THROW(propagating(&failing, "top"), std::runtime_error);

    // A framework error is reported as itself, with error type 4.
    auto* point = addPoint("P", {{"Option", "Node Number"}, {"Domain List", ""}});
    reporting(point, "top");
    expectReport(
        reports().back(),
        {.message = "Empty domain list found in Domain List parameter.", .family = "data::invalid", .type = 4});
    EXPECT_EQ(point->getNumGeometries(), 0u);
}

TEST_F(PointTest, SymbolRenderAndColourActions) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    auto* point = built(addPoint("P", {{"Point", "0.5, 0.5, 0.5"}, {"Symbol Size", "2"}}));
    point->clearChangeFlags();
    run(*point, "symbol");
    EXPECT_TRUE(point->isRenderChanged());
    run(*point, "colour");
    EXPECT_TRUE(point->isColourChanged());
    run(*point, "render");
    const DrawnItem* item = ViewerInterface::instance()->getItem(point->getPath(), "");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->graphic.getSymbolSize(), 2.0f);

    // Nothing to draw: the object's geometries are discarded.
    rerun(*point, {{"Option", "Node Number"}, {"Node Number", "999"}});
    point->setGeometry("", std::make_unique<SymbolGeometry>()); // an empty leftover
    run(*point, "render");
    EXPECT_EQ(point->getNumGeometries(), 0u);
    EXPECT_FALSE(ViewerInterface::instance()->isDrawn(point->getPath(), ""));
}

} // namespace
} // namespace zel::test
