// The boundary strip of a user surface: the bottom faces of a box that a slice plane touches,
// with and without the octree, the boundary's momentum flow carried over, and the reported
// parameter problems.
#include "tests/locators/LocatorTestSupport.h"

#include "locators/UserSurfaceCalcFunc.h"

#include <cstdlib>

namespace zel::test {
namespace {

using Params = std::vector<std::pair<std::string, std::string>>;

void setOctreeOff(bool off) {
#ifdef _WIN32
    _putenv_s("ZEL_NO_OCTREE", off ? "1" : "");
#else
    if (off)
        setenv("ZEL_NO_OCTREE", "1", 1);
    else
        unsetenv("ZEL_NO_OCTREE");
#endif
}

constexpr int kCells = 4; // per side of the unit box

class BoundaryStripTest : public LocatorTest {
protected:
    void SetUp() override {
        LocatorTest::SetUp();
        box = addDomain(makeHexBox("Box", kCells, kCells, kCells));
        addField("F", benchField);
        addBottom();
    }
    void TearDown() override {
        setOctreeOff(false);
        LocatorTest::TearDown();
    }
    // The z = 0 side of the box as a boundary, with a momentum flow whose x component is the
    // vertex's mesh node.
    void addBottom(bool withMomentum = true) {
        std::unique_ptr<Geometry> geometry = makeBoxSide(*box, kCells, 2, 0, "Bottom", "Bottom:quads");
        if (withMomentum) {
            const auto& nodes = dynamic_cast<const VertexInterpolant&>(*geometry->getInterpolant());
            auto momentum = std::make_unique<VectorVariable>(VarTypeHybrid);
            momentum->setName("momentum flow");
            TripletZELVector& values = momentum->values(VarTypeHybrid);
            for (int i = 0; i < geometry->getNumVertices(); ++i)
                values.push_back({float(nodes.getInternalData(std::size_t(i))), 0.0f, 1.0f});
            momentum->setTimestep(7);
            geometry->addVariable(std::move(momentum));
        }
        auto* bottom = addTyped<GeometricOKLObject>("BOUNDARY", "Bottom", {{"Domain List", "Box"}});
        bottom->setGeometry("Box", std::move(geometry));
    }
    GeometricOKLObject* slice(const std::string& name, const std::string& x) {
        return built(addTyped<GeometricOKLObject>("PLANE", name, {{"Option", "YZ Plane"}, {"X", x}}));
    }
    // A new "Strip" in place of the one before.
    GeometricOKLObject* strip(const Params& params) {
        ObjectDB::instance()->deleteObject("Strip");
        Params all{{"Option", "Boundary Intersection"}, {"Boundary List", "Bottom"}};
        all.insert(all.end(), params.begin(), params.end());
        return built(addTyped<GeometricOKLObject>("USER SURFACE", "Strip", all));
    }
    std::string lastWarning() {
        EXPECT_FALSE(reports().empty());
        if (reports().empty()) return "";
        EXPECT_EQ(reports().back().getErrorType(), ErrWarning);
        EXPECT_EQ(reports().back().getOperation(), "doIntersection");
        return reports().back().getMessage();
    }
    DomainGeometryBase* box = nullptr;
};

TEST_F(BoundaryStripTest, TheStripHoldsTheFacesAroundTheCrossedEdgesWithOrWithoutTheOctree) {
    slice("Cut", "0.4 [m]");
    slice("Half", "0.5 [m]");
    for (bool noOctree : {false, true}) {
        SCOPED_TRACE(noOctree ? "without the octree" : "with the octree");
        setOctreeOff(noOctree);
        // A plane through nodes touches those nodes only.
        auto* s = strip({{"Location", "Half"}});
        EXPECT_NEAR(area(*s), 0.5, 1e-6);
        EXPECT_NEAR(areaAve(*s, "F"), 1 + 1 + 1.5, 2e-6);

        s = strip({{"Location", "Cut"}});
        ASSERT_EQ(s->getGeometryNames(), std::vector<std::string>{"Box"});
        // The plane crosses the bottom between the nodes at x = 0.25 and 0.5: the faces
        // around them cover 0 < x < 0.75.
        EXPECT_NEAR(area(*s), 0.75, 1e-6);
        EXPECT_NEAR(areaAve(*s, "F"), 1 + 0.75 + 1.5, 2e-6);
        const Geometry* g = s->getGeometry("Box");
        EXPECT_EQ(g->getFaceSetNames(), std::vector<std::string>{"Box:3"});
        EXPECT_EQ(g->getFaceSet("Box:3")->size(), 12);
        const auto* nodes = dynamic_cast<const VertexInterpolant*>(g->getInterpolant());
        ASSERT_NE(nodes, nullptr);
        EXPECT_TRUE(nodes->canCalculateFlows());
        // Each vertex keeps its boundary's node and momentum flow.
        const Variable* momentum = g->findVariable("momentum flow");
        ASSERT_NE(momentum, nullptr);
        EXPECT_EQ(momentum->getGlobalType(), VarTypeHybrid);
        EXPECT_EQ(momentum->getTimestep(), 7);
        const TripletZELVector& flows = *momentum->getTripletValues(VarTypeVertex);
        ASSERT_EQ(flows.size(), std::size_t(g->getNumVertices()));
        for (std::size_t v = 0; v < flows.size(); ++v) {
            EXPECT_EQ(flows[v].x, float(nodes->getInternalData(v)));
            EXPECT_EQ(g->getVertices()[v], box->getVertices()[std::size_t(nodes->getInternalData(v))]);
        }
    }
}

TEST_F(BoundaryStripTest, BoundariesWithoutMomentumFlowGiveUndefinedValues) {
    ObjectDB::instance()->deleteObject("Bottom");
    addBottom(false);
    slice("Cut", "0.4 [m]");
    auto* s = strip({{"Location", "Cut"}});
    const Variable* momentum = s->getGeometry("Box")->findVariable("momentum flow");
    ASSERT_NE(momentum, nullptr);
    for (const TripletF& v : *momentum->getTripletValues(VarTypeVertex)) EXPECT_TRUE(v.isUndefined());
}

TEST_F(BoundaryStripTest, ParameterProblemsAreReportedAndBuildNothing) {
    slice("Cut", "0.4 [m]");
    addObject("PLANE", "Sampled", {{"Plane Type", "Sample"}});
    addObject("POINT", "P");

    struct Case {
        Params params;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{{"Location", "Cut"}, {"Domain List", ""}},
         "Cannot create user surface 'Strip'. Domain List is not provided."},
        {{{"Location", ""}}, "Cannot create user surface 'Strip'. Location is not provided."},
        {{{"Location", "Cut"}, {"Boundary List", ""}},
         "Cannot create user surface 'Strip'. Boundary List is not provided."},
        {{{"Location", "Nowhere"}}, "Cannot create user surface 'Strip'. Location 'Nowhere' is not found."},
        {{{"Location", "Sampled"}},
         "User Surface Boundary Intersection requires Plane:Sampled to be a Slice Plane. Plane:Sampled is a Sample "
         "Plane."},
        {{{"Location", "P"}},
         "User Surface Boundary Intersection requires a Location object of type Isosurface or Slice Plane. P is a "
         "POINT."},
    };
    for (const Case& c : cases) {
        auto* s = strip(c.params);
        EXPECT_EQ(lastWarning(), c.message);
        EXPECT_EQ(s->getNumGeometries(), 0u) << c.message;
    }

    // Two locations: the first is used. Unknown boundaries and objects that are no boundary
    // are reported and skipped.
    const std::size_t before = reports().size();
    auto* s = strip({{"Location", "Cut, Sampled"}, {"Boundary List", "Ghost, Cut, Bottom"}});
    EXPECT_NEAR(area(*s), 0.75, 1e-6);
    ASSERT_EQ(reports().size(), before + 3);
    EXPECT_EQ(reports()[before].getMessage(),
              "Cannot create user surface 'Strip'.\nBoundary Intersection mode currently supports only one location.");
    EXPECT_EQ(reports()[before + 1].getMessage(), "Cannot create user surface 'Strip'. Boundary 'Ghost' is not found.");
    EXPECT_EQ(reports()[before + 2].getMessage(), "Cannot create user surface 'Strip'. 'Cut' is not a boundary.");

    // The lists split as the polyline's do: empty items are no names, and a boundary named
    // twice is one strip.
    const std::size_t quietLists = reports().size();
    s = strip({{"Location", ", Cut"}, {"Boundary List", "Bottom, , Bottom"}});
    EXPECT_NEAR(area(*s), 0.75, 1e-6);
    EXPECT_EQ(reports().size(), quietLists) << lastReport();

    // A plane that does not reach the boundary: no strip, no report.
    run(*addTyped<GeometricOKLObject>("PLANE", "High", {{"Option", "XY Plane"}, {"Z", "0.6 [m]"}}));
    const std::size_t quiet = reports().size();
    EXPECT_EQ(strip({{"Location", "High"}})->getNumGeometries(), 0u);
    EXPECT_EQ(reports().size(), quiet);
}

} // namespace
} // namespace zel::test
