// Mapping points into the domain meshes (makeExternalInterpolant), against analytic answers
// and a brute-force twin of the search.
#include "tests/datastorage/StorageTestSupport.h"

#include "framework/core/Error.h"
#include "framework/core/Progress.h"
#include "framework/geometry/CellLocator.h"
#include "framework/geometry/GeometrySearch.h"
#include "framework/geometry/Interpolant.h"

#include <cmath>
#include <random>

namespace zel::test {
namespace {

// Two sheared boxes side by side: "Left" spans u in [0, 0.5], "Right" u in [0.5, 1], with
// x = u + 0.1·y; they share the face u = 0.5. Cells are 0.1 (Left: 5×4×3) and 0.125 wide.
constexpr float kShear = 0.1f;
TripletF sheared(float u, float y, float z) { return {u + kShear * y, y, z}; }

float linearField(const TripletF& p) { return 1.0f + 2.0f * p.x - p.y + 3.0f * p.z; }

class PointMappingTest : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        storage->clearAllGeometries();
        storage->setGeometry(makeHexBox("Right", 4, 3, 2, {0.5f, 0, 0}, {1, 1, 1}, kShear).release());
        storage->setGeometry(makeHexBox("Left", 5, 4, 3, {0, 0, 0}, {0.5f, 1, 1}, kShear).release());
        left = dynamic_cast<DomainGeometryBase*>(storage->getGeometry("Left"));
        right = dynamic_cast<DomainGeometryBase*>(storage->getGeometry("Right"));
        domains = {left, right};
    }

    // Checks vertex i of the interpolant against point p: located in `source`, weights
    // summing to 1 that rebuild `expected` (p itself when it is inside).
    void expectLocated(const ExternalInterpolant& interp, std::size_t i, int source, const TripletF& expected,
                       float tolerance = 2e-5f) {
        const NodeDefinition def = interp.getInternalData(i);
        ASSERT_EQ(def.source, source) << "point " << i;
        const TripletZELVector& v = domains[std::size_t(source)]->getVertices();
        double sum = 0;
        TripletD rebuilt;
        for (const NodeWeight& nw : def.nodes) {
            sum += nw.weight;
            EXPECT_GE(nw.weight, -1e-5f);
            rebuilt += TripletD(v[std::size_t(nw.node)]) * double(nw.weight);
        }
        EXPECT_NEAR(sum, 1.0, 1e-5);
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(rebuilt[a], expected[a], tolerance) << "point " << i << ", axis " << a;
    }

    DomainGeometryBase* left = nullptr;
    DomainGeometryBase* right = nullptr;
    std::vector<DomainGeometryBase*> domains;
};

TEST_F(PointMappingTest, PointsInsideAreLocatedWithExactLinearWeights) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    TripletZELVector points;
    std::vector<int> expectedSource;
    for (int i = 0; i < 3000; ++i) {
        const float u = unit(rng), y = unit(rng), z = unit(rng);
        if (std::fabs(u - 0.5f) < 1e-4f) continue; // on the shared face either domain may hold it
        points.push_back(sheared(u, y, z));
        expectedSource.push_back(u < 0.5f ? 0 : 1);
    }
    std::unique_ptr<ExternalInterpolant> interp(
        DomainGeometryBase::makeExternalInterpolant(points, domains, true, false));
    ASSERT_EQ(interp->getNumVertices(), points.size());
    EXPECT_EQ(interp->getDomains(), (std::vector<std::string>{"Left", "Right"}));
    EXPECT_EQ(interp->getNumLocated(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) expectLocated(*interp, i, expectedSource[i], points[i]);
    // Every point advanced the one stage to its end.
    EXPECT_DOUBLE_EQ(ProgressTracker::lastOverallFraction(), 1.0);

    // A linear field interpolates exactly, through the registry's variables of each domain.
    addSolverObject("Linear");
    storage->addSolverScalar("Linear", linearField);
    std::unique_ptr<Variable> values = interp->interpolate("Linear");
    ASSERT_NE(values, nullptr);
    const FloatZELVector& f = *values->getFloatValues();
    for (std::size_t i = 0; i < points.size(); ++i) EXPECT_NEAR(f[i], linearField(points[i]), 1e-4f) << i;

    // Points on the shared face, on mesh nodes and on the outer faces count as inside.
    TripletZELVector onFaces{sheared(0.5f, 0.3f, 0.7f), sheared(0.0f, 0.25f, 1.0f / 3), sheared(1.0f, 1.0f, 1.0f),
                             sheared(0.2f, 0.0f, 0.5f)};
    std::unique_ptr<ExternalInterpolant> faces(
        DomainGeometryBase::makeExternalInterpolant(onFaces, domains, false, false));
    expectLocated(*faces, 0, 0, onFaces[0]); // the first domain in order takes the shared face
    expectLocated(*faces, 1, 0, onFaces[1]);
    expectLocated(*faces, 2, 1, onFaces[2]);
    expectLocated(*faces, 3, 0, onFaces[3]);
}

TEST_F(PointMappingTest, PointsJustOutsideNeedTheSecondPass) {
    // Just outside the outer faces, well within a quarter of a cell: no cell contains them, the
    // tolerant pass takes the nearest cell and its weights are those of the closest point.
    struct Case {
        TripletF point;
        int source;
        TripletF closest;
    };
    const float d = 0.01f;
    const std::vector<Case> cases{
        {sheared(-d, 0.5f, 0.5f), 0, sheared(0.0f, 0.5f, 0.5f)},
        {sheared(1 + d, 0.3f, 0.2f), 1, sheared(1.0f, 0.3f, 0.2f)},
        {sheared(0.7f, 0.4f, 1 + d), 1, sheared(0.7f, 0.4f, 1.0f)},
        {sheared(0.2f, 0.6f, -d), 0, sheared(0.2f, 0.6f, 0.0f)},
    };
    TripletZELVector points;
    for (const Case& c : cases) {
        points.push_back(c.point);
        ElementWeights hit;
        for (const DomainGeometryBase* g : domains)
            EXPECT_FALSE(g->findElement(c.point, hit, false, SearchMode::Containing));
    }
    std::unique_ptr<ExternalInterpolant> interp(
        DomainGeometryBase::makeExternalInterpolant(points, domains, false, false));
    // The shear tilts the x faces, so the closest point on them is off the sheared-u line by
    // up to d·shear; the tolerance allows for it.
    for (std::size_t i = 0; i < cases.size(); ++i) expectLocated(*interp, i, cases[i].source, cases[i].closest, 2e-3f);

    // Inside Right but within the tolerant reach of Left: the containing pass over every
    // domain comes first, so Right holds it although Left is searched first.
    TripletZELVector nearShared{sheared(0.51f, 0.5f, 0.5f)};
    std::unique_ptr<ExternalInterpolant> shared(
        DomainGeometryBase::makeExternalInterpolant(nearShared, domains, false, false));
    expectLocated(*shared, 0, 1, nearShared[0]);
}

TEST_F(PointMappingTest, PointsOutsideEveryDomainAndTheBruteForceTwin) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> wide(-0.5f, 1.5f);
    TripletZELVector points;
    for (int i = 0; i < 2000; ++i) points.push_back({wide(rng), wide(rng), wide(rng)});
    points.push_back({50, 50, 50});
    std::unique_ptr<ExternalInterpolant> interp(
        DomainGeometryBase::makeExternalInterpolant(points, domains, true, false));
    ASSERT_EQ(interp->getNumVertices(), points.size());

    // The twin: scan every cell of every domain, containing pass first, then nearest.
    std::vector<MeshView> views{cellView(*left), cellView(*right)};
    std::size_t outside = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        int twin = -1;
        CellHit hit;
        for (SearchMode mode : {SearchMode::Containing, SearchMode::Nearest}) {
            for (std::size_t k = 0; k < views.size() && twin < 0; ++k)
                if (findCellBruteForce(views[k], points[i], mode, hit)) twin = int(k);
            if (twin >= 0) break;
        }
        const NodeDefinition def = interp->getInternalData(i);
        EXPECT_EQ(def.source, twin) << "point " << i;
        if (twin < 0) {
            EXPECT_TRUE(def.nodes.empty());
            ++outside;
        } else {
            EXPECT_EQ(def.nodes.size(), 8u);
        }
    }
    EXPECT_GT(outside, 500u); // most of the wide box lies outside the unit cube
    EXPECT_EQ(interp->getInternalData(points.size() - 1).source, -1);
    EXPECT_EQ(interp->getNumLocated(), points.size() - outside);

    // Unlocated points interpolate as undefined.
    addSolverObject("Linear");
    storage->addSolverScalar("Linear", linearField);
    std::unique_ptr<Variable> values = interp->interpolate("Linear");
    EXPECT_EQ((*values->getFloatValues())[points.size() - 1], UNDEFINED_VALUE);

    // No points, no domains.
    std::unique_ptr<ExternalInterpolant> none(DomainGeometryBase::makeExternalInterpolant({}, domains, true, false));
    EXPECT_EQ(none->getNumVertices(), 0u);
    std::unique_ptr<ExternalInterpolant> nowhere(
        DomainGeometryBase::makeExternalInterpolant(points, std::vector<DomainGeometryBase*>{}, true, false));
    EXPECT_EQ(nowhere->getNumLocated(), 0u);
    EXPECT_EQ(nowhere->getNumVertices(), points.size());
}

TEST_F(PointMappingTest, DomainsByNameAndFromTheDirectory) {
    addObject("DOMAIN", "Left");
    addObject("DOMAIN", "Right");
    addObject("BOUNDARY", "Wall");
    const TripletZELVector points{sheared(0.8f, 0.5f, 0.5f), sheared(0.1f, 0.5f, 0.5f), {9, 9, 9}};

    std::unique_ptr<ExternalInterpolant> byName(
        DomainGeometryBase::makeExternalInterpolant(points, std::vector<std::string>{"Right", "Left"}, true, false));
    EXPECT_EQ(byName->getDomains(), (std::vector<std::string>{"Right", "Left"}));
    EXPECT_EQ(byName->getInternalData(0).source, 0);
    EXPECT_EQ(byName->getInternalData(1).source, 1);
    EXPECT_EQ(byName->getInternalData(2).source, -1);

    for (const char* bad : {"Wall", "D1", "Nothing"})
        expectError<internal::error>(
            [&] {
                DomainGeometryBase::makeExternalInterpolant(points, std::vector<std::string>{"Left", bad}, true, false);
            },
            {.className = "DomainGeometryBase",
             .operation = "makeExternalInterpolant",
             .message = std::string(bad) + " is not a domain."});

    // From the directory: every domain geometry, in the registry's name order.
    std::unique_ptr<ExternalInterpolant> all(DomainGeometryBase::makeExternalInterpolant(points, true, true));
    EXPECT_EQ(all->getDomains(), (std::vector<std::string>{"Left", "Right"}));
    EXPECT_EQ(all->getInternalData(0).source, 1);
    EXPECT_EQ(all->getInternalData(1).source, 0);

    GeometryInfo* directory = Geometry::getGeometryInfo();
    Geometry::setGeometryInfo(nullptr);
    expectError<internal::nullPointer>([&] { DomainGeometryBase::makeExternalInterpolant(points, false, false); },
                                       {.message = "Null pointer to s_geometryInfo."});
    Geometry::setGeometryInfo(directory);
}

} // namespace
} // namespace zel::test
