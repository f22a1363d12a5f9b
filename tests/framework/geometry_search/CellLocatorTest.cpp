#include "framework/geometry/CellLocator.h"
#include "framework/geometry/GeometrySearch.h"

#include "framework/core/Error.h"

#include "TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace zel {
namespace {

// Σ w_i x_i of a hit: the point the weights describe.
TripletD weightedPoint(const MeshView& mesh, const CellHit& hit) {
    TripletD p{0, 0, 0};
    for (int i = 0; i < hit.nodeCount; ++i) {
        const TripletF& v = mesh.vertices[static_cast<std::size_t>(hit.nodes[i])];
        p += TripletD(v) * hit.weights[static_cast<std::size_t>(i)];
    }
    return p;
}

double distance(const TripletD& a, const TripletF& b) { return (a - TripletD(b)).length(); }

// A box of hexahedra whose layers grow by `ratio` in z: cell sizes spread over decades.
testmesh::Mesh graded(int n, int layers, double ratio) {
    testmesh::Mesh m = testmesh::box(ShapeType::Hexahedron, n, n, layers);
    for (auto& v : m.vertices)
        v.z = static_cast<float>((std::pow(ratio, v.z * double(layers)) - 1.0) / (std::pow(ratio, layers) - 1.0));
    return m;
}

struct Fixture {
    testmesh::Mesh mesh;
    MeshView view;
    CellLocator locator;
    explicit Fixture(testmesh::Mesh m) : mesh(std::move(m)), view(mesh.view()), locator(view) {}
};

TEST(CellLocator, EveryQueryMatchesTheBruteForceTwinAndInterpolatesLinearFieldsExactly) {
    auto field = [](const TripletD& x) { return 2.0 * x.x - 3.0 * x.y + 0.5 * x.z + 1.0; };
    std::mt19937 rng(2024);
    for (ShapeType type : testmesh::kCellTypes) {
        SCOPED_TRACE(int(type));
        Fixture f(testmesh::box(type, 5, 4, 3, 0.1f, 0.25f, 11));
        const auto index = f.locator.view();
        std::uniform_real_distribution<float> u(-0.15f, 1.2f);
        int located = 0;
        for (int i = 0; i < 800; ++i) {
            const TripletF p{u(rng), u(rng), u(rng)};
            for (SearchMode mode : {SearchMode::Containing, SearchMode::Nearest}) {
                CellHit a, b;
                const bool fa = index.find(p, mode, a);
                ASSERT_EQ(fa, findCellBruteForce(f.view, p, mode, b))
                    << "point " << p.x << " " << p.y << " " << p.z << " mode " << int(mode);
                if (!fa) continue;
                located += mode == SearchMode::Containing;
                // Points on a shared face may be given to either cell, and the nearest cell
                // may tie: compare what the answers mean, not the cell numbers.
                EXPECT_NEAR(a.distance, b.distance, 1e-9);
                double sum = 0, value = 0;
                for (int k = 0; k < a.nodeCount; ++k) {
                    const double w = a.weights[static_cast<std::size_t>(k)];
                    EXPECT_GE(w, -1e-12);
                    sum += w;
                    value += w * field(TripletD(f.mesh.vertices[static_cast<std::size_t>(a.nodes[k])]));
                }
                EXPECT_NEAR(sum, 1.0, 1e-9);
                if (a.distance == 0.0) {
                    EXPECT_LT(distance(weightedPoint(f.view, a), p), 1e-6);
                    EXPECT_NEAR(value, field(TripletD(p)), 1e-5);
                }
            }
            // The candidate list is a superset of the cells whose box holds the point.
            std::vector<std::int64_t> cand;
            index.candidates(p, cand);
            std::sort(cand.begin(), cand.end());
            for (std::int64_t e = 0; e < f.mesh.cells(); ++e) {
                const auto [lo, hi] = f.mesh.bounds(e);
                bool inBox = true;
                for (int k = 0; k < 3; ++k) inBox = inBox && p[k] >= lo[k] && p[k] <= hi[k];
                if (inBox) {
                    EXPECT_TRUE(std::binary_search(cand.begin(), cand.end(), e)) << "cell " << e;
                }
            }
        }
        EXPECT_GT(located, 250);
    }
}

TEST(CellLocator, NodesEdgesAndFacesAreLocatedWithWeightsThatReproduceThePoint) {
    for (ShapeType type : testmesh::kCellTypes) {
        Fixture f(testmesh::box(type, 4, 3, 3, 0.1f, 0.2f, 5));
        const auto index = f.locator.view();
        std::vector<TripletF> points(f.mesh.vertices.begin(), f.mesh.vertices.end());
        for (std::int64_t e = 0; e < f.mesh.cells(); ++e) {
            for (const auto& edge : cell::edges(type))
                points.push_back((f.mesh.node(e, edge[0]) + f.mesh.node(e, edge[1])) * 0.5f);
            for (const auto& face : cell::faces(type)) {
                if (face.count != 3) continue; // quadrilateral faces may be warped
                TripletF c{0, 0, 0};
                for (int j = 0; j < 3; ++j) c += f.mesh.node(e, face.nodes[static_cast<std::size_t>(j)]);
                points.push_back(c / 3.0f);
            }
        }
        std::int64_t hint = -1;
        for (const TripletF& p : points) {
            CellHit hit;
            ASSERT_TRUE(index.find(p, SearchMode::Containing, hit, hint))
                << int(type) << ": " << p.x << " " << p.y << " " << p.z;
            EXPECT_EQ(hit.distance, 0.0);
            EXPECT_LT(distance(weightedPoint(f.view, hit), p), 2e-6);
            hint = hit.element;
        }
    }
}

TEST(CellLocator, JustOutsideIsFoundOnlyByTheTolerantPassAndFarOutsideNever) {
    for (ShapeType type : testmesh::kCellTypes) {
        // Cells of size 0.25; the bottom boundary is z = 0.
        Fixture f(testmesh::box(type, 4, 4, 4));
        const auto index = f.locator.view();
        for (float x : {0.1f, 0.37f, 0.5f, 0.9f}) {
            const TripletF just{x, 0.3f, -0.02f};
            CellHit hit;
            EXPECT_FALSE(index.find(just, SearchMode::Containing, hit));
            ASSERT_TRUE(index.find(just, SearchMode::Nearest, hit)) << int(type) << " x " << x;
            EXPECT_NEAR(hit.distance, 0.02, 1e-6);
            // The weights are those of the foot of the point on the boundary.
            const TripletD foot = weightedPoint(f.view, hit);
            EXPECT_NEAR(foot.x, x, 1e-6);
            EXPECT_NEAR(foot.y, 0.3, 1e-6);
            EXPECT_NEAR(foot.z, 0.0, 1e-6);
            for (int k = 0; k < hit.nodeCount; ++k) EXPECT_GE(hit.weights[static_cast<std::size_t>(k)], 0.0);
        }
        // Beyond a quarter of the cell size (0.0625 for every cell type here: the largest
        // box extent of each cell is 0.25) nothing is found.
        for (const TripletF& far : {TripletF{0.5f, 0.5f, -0.07f}, TripletF{2.0f, 0.5f, 0.5f}, TripletF{-5, -5, -5}}) {
            CellHit hit;
            EXPECT_FALSE(index.find(far, SearchMode::Nearest, hit));
            EXPECT_FALSE(findCellBruteForce(f.view, far, SearchMode::Nearest, hit));
        }
        CellHit hit;
        EXPECT_FALSE(index.find(TripletF::undefined(), SearchMode::Nearest, hit));
    }
}

TEST(CellLocator, GradedMeshesUseSeveralLevelsAndStayWithinTheMemoryBudget) {
    // Cells whose size grows by 1.5 per layer in z: sizes spread over two decades.
    Fixture f(graded(20, 12, 1.5));
    int used = 0;
    for (const auto& L : f.locator.levels()) used += L.cells > 0;
    EXPECT_GE(used, 2);
    EXPECT_LE(double(f.locator.memoryBytes()) / double(f.locator.cellCount()), 16.0);
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    const auto index = f.locator.view();
    for (int i = 0; i < 400; ++i) {
        const TripletF p{u(rng), u(rng), u(rng)};
        CellHit a, b;
        ASSERT_EQ(index.find(p, SearchMode::Containing, a), findCellBruteForce(f.view, p, SearchMode::Containing, b));
        EXPECT_LT(distance(weightedPoint(f.view, a), p), 1e-6);
    }
}

TEST(CellLocator, ManyPointSearchGivesTheSingleSearchAnswers) {
    // Random points inside, outside, just outside and undefined, nodes (shared by several
    // cells), in no spatial order; a graded mesh so that several levels are searched; and a
    // geometry of two cell sets for the element numbering of Geometry::findElements.
    std::mt19937 rng(77);
    std::vector<testmesh::Mesh> meshes;
    for (ShapeType type : testmesh::kCellTypes) meshes.push_back(testmesh::box(type, 6, 5, 4, 0.1f, 0.25f, 4));
    meshes.push_back(graded(12, 10, 1.6));
    for (const testmesh::Mesh& m : meshes) {
        Fixture f(m);
        const auto index = f.locator.view();
        std::uniform_real_distribution<float> u(-0.1f, 1.25f);
        std::vector<TripletF> points;
        for (int i = 0; i < 700; ++i) points.push_back({u(rng), u(rng), u(rng)});
        for (std::size_t i = 0; i < m.vertices.size(); i += 3) points.push_back(m.vertices[i]);
        points.push_back(TripletF::undefined());
        points.push_back({0.5f, 0.5f, -0.01f});
        // Coordinates no search can place (they must not reach the bin arithmetic).
        points.push_back({std::nanf(""), 0.5f, 0.5f});
        points.push_back({0.5f, std::numeric_limits<float>::infinity(), 0.5f});
        std::shuffle(points.begin(), points.end(), rng);
        for (SearchMode mode : {SearchMode::Containing, SearchMode::Nearest}) {
            std::vector<CellHit> many(points.size());
            const std::size_t located = index.findMany(points, mode, many);
            std::size_t expected = 0;
            for (std::size_t i = 0; i < points.size(); ++i) {
                CellHit one;
                const bool found = index.find(points[i], mode, one);
                expected += found;
                ASSERT_EQ(many[i].element, found ? one.element : -1) << "point " << i;
                if (!found) continue;
                EXPECT_EQ(many[i].nodes, one.nodes);
                EXPECT_EQ(many[i].distance, one.distance);
                EXPECT_EQ(many[i].weights, one.weights);
            }
            EXPECT_EQ(located, expected);
        }
        std::vector<CellHit> tooFew(3);
        EXPECT_THROW(index.findMany(points, SearchMode::Containing, tooFew), data::invalid);
    }

    // Geometry::findElements: element sets and global ids as findElement gives them.
    testmesh::Mesh tets = testmesh::box(ShapeType::Tetrahedron, 3, 3, 3, 0.0f, 0.2f, 5);
    auto g = testmesh::geometry(tets);
    ShapeSet* second = g->addFaceSet("hexahedra", ShapeType::Hexahedron, 1);
    const int hex[8] = {0, 1, 5, 4, 16, 17, 21, 20}; // a cell overlapping the first of the box
    std::copy(std::begin(hex), std::end(hex), second->editConnectivity().begin());
    std::vector<TripletF> points;
    std::uniform_real_distribution<float> u(-0.2f, 1.2f);
    for (int i = 0; i < 400; ++i) points.push_back({u(rng), u(rng), u(rng)});
    std::vector<ElementWeights> many(points.size());
    const std::size_t located = g->findElements(points, many, SearchMode::Nearest);
    std::size_t expected = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        ElementWeights one;
        const bool found = g->findElement(points[i], one, false, SearchMode::Nearest);
        expected += found;
        ASSERT_EQ(many[i].count, found ? one.count : 0) << "point " << i;
        EXPECT_EQ(many[i].globalId, found ? one.globalId : -1);
        if (!found) continue;
        EXPECT_EQ(many[i].element.set, one.element.set);
        EXPECT_EQ(many[i].element.element, one.element.element);
        EXPECT_EQ(many[i].weights, one.weights);
    }
    EXPECT_EQ(located, expected);
    EXPECT_GT(located, 200u);
}

TEST(CellLocator, EmptyMeshesAndBadConnectivity) {
    MeshView empty;
    CellLocator none(empty);
    CellHit hit;
    EXPECT_FALSE(none.view().find({0, 0, 0}, SearchMode::Nearest, hit));

    testmesh::Mesh m = testmesh::box(ShapeType::Tetrahedron, 1, 1, 1);
    m.connectivity[5] = 1000;
    const MeshView bad = m.view();
    EXPECT_THROW(CellLocator locator(bad), data::invalid);
}

} // namespace
} // namespace zel
