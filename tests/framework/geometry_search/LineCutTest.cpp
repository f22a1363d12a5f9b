#include "framework/geometry/GeometrySearch.h"
#include "framework/geometry/LineCutter.h"

#include "TestMeshes.h"
#include "framework/core/Error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace zel {
namespace {

// The end points of segment s of a cut.
std::array<TripletD, 2> ends(const LineCutResult& cut, std::size_t s) {
    return {TripletD(cut.vertices[std::size_t(cut.segments[2 * s])]),
            TripletD(cut.vertices[std::size_t(cut.segments[2 * s + 1])])};
}

double totalLength(const LineCutResult& cut) {
    double sum = 0;
    for (std::size_t s = 0; 2 * s + 1 < cut.segments.size(); ++s) sum += (ends(cut, s)[1] - ends(cut, s)[0]).length();
    return sum;
}

// Narrows [t0, t1] to the parameters at which a line is between the parameters a and b.
void clip(double& t0, double& t1, double a, double b) {
    t0 = std::max(t0, std::min(a, b));
    t1 = std::min(t1, std::max(a, b));
}

TEST(LineCut, AxisLinesCrossEveryCellOnceWithExactChords) {
    for (ShapeType type : testmesh::kCellTypes) {
        const testmesh::Mesh mesh = testmesh::box(type, 5, 4, 3);
        CellLocator locator(mesh.view());
        LineCutResult cut;
        LineCutter::cut(locator, {-1.0, 0.37, 0.41}, {1, 0, 0}, cut);
        ASSERT_FALSE(cut.vertices.empty()) << int(type);
        EXPECT_NEAR(totalLength(cut), 1.0, 1e-9);
        EXPECT_NEAR(cut.vertices.front().x, 0.0f, 1e-6);
        EXPECT_NEAR(cut.vertices.back().x, 1.0f, 1e-6);
        // Vertices in the order of the line, segments joining neighbours.
        for (std::size_t i = 1; i < cut.parameters.size(); ++i) EXPECT_LT(cut.parameters[i - 1], cut.parameters[i]);
        for (std::size_t s = 0; s < cut.segments.size(); s += 2) EXPECT_EQ(cut.segments[s + 1], cut.segments[s] + 1);
        EXPECT_EQ(cut.segments.size() / 2, cut.vertices.size() - 1);
        double chords = 0;
        for (const auto& [e, len] : cut.chords) chords += len;
        EXPECT_NEAR(chords, 1.0, 1e-9);
        if (type == ShapeType::Hexahedron) {
            EXPECT_EQ(cut.vertices.size(), 6u);
            EXPECT_EQ(cut.chords.size(), 5u);
            for (const auto& [e, len] : cut.chords) EXPECT_NEAR(len, 0.2, 1e-7); // float nodes
        }
    }
}

TEST(LineCut, LinesThroughNodesAndAlongSharedEdgesAndFacesGiveEachSegmentOnce) {
    for (ShapeType type : testmesh::kCellTypes) {
        const testmesh::Mesh mesh = testmesh::box(type, 4, 4, 4);
        CellLocator locator(mesh.view());
        LineCutResult cut;
        // The main diagonal runs through nodes; in the tetrahedral mesh it is the edge shared
        // by the six tetrahedra of every hexahedron.
        LineCutter::cut(locator, {0, 0, 0}, {1, 1, 1}, cut);
        EXPECT_NEAR(totalLength(cut), std::sqrt(3.0), 1e-6) << int(type);
        if (type != ShapeType::Pyramid) {
            // (The pyramids' apex nodes sit on the diagonal too: twice the crossings.)
            EXPECT_EQ(cut.vertices.size(), 5u) << int(type);
            EXPECT_EQ(cut.segments.size(), 8u) << int(type);
        }
        // A line in the plane y = 0.5 of cell faces, and one along the edge line y = z = 0.5.
        for (const TripletD& p : {TripletD{0, 0.5, 0.3}, TripletD{0, 0.5, 0.5}}) {
            LineCutter::cut(locator, p, {1, 0, 0}, cut);
            EXPECT_NEAR(totalLength(cut), 1.0, 1e-6) << int(type);
            std::vector<std::pair<int, int>> segs;
            for (std::size_t s = 0; s < cut.segments.size(); s += 2)
                segs.emplace_back(cut.segments[s], cut.segments[s + 1]);
            std::sort(segs.begin(), segs.end());
            EXPECT_EQ(std::adjacent_find(segs.begin(), segs.end()), segs.end());
        }
        // A line that only touches the box along one of its edges, and one that misses it.
        LineCutter::cut(locator, {0, 0, 0}, {1, 0, 0}, cut);
        EXPECT_NEAR(totalLength(cut), 1.0, 1e-6); // along the boundary edge: inside its cells' faces
        LineCutter::cut(locator, {0, 2, 0}, {1, 0, 0}, cut);
        EXPECT_TRUE(cut.vertices.empty());
        EXPECT_TRUE(cut.chords.empty());
    }
}

TEST(LineCut, LineCandidatesContainEveryCellWhoseBoxTheLineCrosses) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (ShapeType type : testmesh::kCellTypes) {
        const testmesh::Mesh mesh = testmesh::box(type, 6, 5, 4, 0.1f, 0.25f, 3);
        CellLocator locator(mesh.view());
        const auto view = locator.view();
        for (int trial = 0; trial < 20; ++trial) {
            const double o[3] = {0.5 + 0.4 * u(rng), 0.5 + 0.4 * u(rng), 0.5 + 0.4 * u(rng)};
            const double d[3] = {u(rng), u(rng), u(rng)};
            std::vector<std::int64_t> cand;
            view.lineCandidates(o, d, cand);
            std::sort(cand.begin(), cand.end());
            EXPECT_EQ(std::adjacent_find(cand.begin(), cand.end()), cand.end());
            for (std::int64_t e = 0; e < mesh.cells(); ++e) {
                const auto [lo, hi] = mesh.bounds(e);
                double t0 = -1e300, t1 = 1e300;
                for (int k = 0; k < 3; ++k)
                    if (d[k] != 0) clip(t0, t1, (lo[k] - o[k]) / d[k], (hi[k] - o[k]) / d[k]);
                if (t0 <= t1) {
                    EXPECT_TRUE(std::binary_search(cand.begin(), cand.end(), e)) << "cell " << e;
                }
            }
            // The cut covers exactly the part of the line inside the sheared box: no gaps or
            // overlaps between the cells, warped faces included.
            LineCutResult cut;
            LineCutter::cut(locator, TripletD{o[0], o[1], o[2]}, TripletD{d[0], d[1], d[2]}, cut);
            double t0 = -1e300, t1 = 1e300;
            const double planes[3][3] = {{1, -0.1, 0}, {0, 1, 0}, {0, 0, 1}}; // n·x in [0, 1]
            for (const auto& n : planes) {
                const double no = n[0] * o[0] + n[1] * o[1] + n[2] * o[2], nd = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
                clip(t0, t1, -no / nd, (1 - no) / nd);
            }
            const double dlen = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            EXPECT_NEAR(totalLength(cut), std::max(0.0, t1 - t0) * dlen, 1e-5) << int(type) << " trial " << trial;
            for (std::size_t s = 0; 2 * s < cut.segments.size(); ++s) {
                const auto [a, b] = ends(cut, s);
                const TripletD mid = (a + b) * 0.5;
                CellHit hit;
                EXPECT_TRUE(view.find(TripletF(mid), SearchMode::Containing, hit))
                    << int(type) << " trial " << trial << " mid " << mid.x << " " << mid.y << " " << mid.z << " len "
                    << (a - b).length();
            }
        }
    }
}

TEST(LineCut, GeometryOperationFillsTheLineAndTheHitMap) {
    const testmesh::Mesh mesh = testmesh::box(ShapeType::Hexahedron, 4, 4, 4);
    const auto domain = testmesh::geometry(mesh);
    Geometry line;
    std::map<int, double> hits;
    EXPECT_TRUE(line.intersectLineWithGeometry(*domain, {0.1f, 0.3f, 0.6f}, {0, 0, -2}, hits));
    EXPECT_EQ(line.getNumVertices(), 5);
    EXPECT_EQ(line.getNumLines(), 4);
    ASSERT_EQ(hits.size(), 4u);
    // Keys are the domain's element ids: the column of cells (0, 1, k).
    for (const auto& [id, chord] : hits) {
        EXPECT_EQ(id % 16, 4);
        EXPECT_NEAR(chord, 0.25, 1e-6);
    }
    Geometry miss;
    std::map<int, double> none;
    EXPECT_FALSE(miss.intersectLineWithGeometry(*domain, {5, 5, 5}, {1, 0, 0}, none));
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(miss.getNumVertices(), 0);
    EXPECT_THROW(miss.intersectLineWithGeometry(*domain, {0, 0, 0}, {0, 0, 0}, none), internal::badParam);
}

TEST(GeometrySearch, FindElementReportsTheSetNodesAndWeightsAndFollowsMeshChanges) {
    const testmesh::Mesh mesh = testmesh::box(ShapeType::Wedge, 3, 3, 3);
    auto domain = testmesh::geometry(mesh);
    // A face set before the cells: element ids count it.
    domain->addFaceSet("wall", ShapeType::Triangle, 2);
    ElementWeights w;
    const TripletF p{0.5f, 0.5f, 0.5f};
    ASSERT_TRUE(domain->findElement(p, w, false, SearchMode::Containing));
    EXPECT_EQ(w.element.set, 0);
    EXPECT_EQ(w.globalId, w.element.element);
    EXPECT_EQ(w.count, 6);
    TripletD back{0, 0, 0};
    float sum = 0;
    for (int i = 0; i < w.count; ++i) {
        back += TripletD(mesh.vertices[std::size_t(w.nodes[std::size_t(i)])]) * double(w.weights[std::size_t(i)]);
        sum += w.weights[std::size_t(i)];
        EXPECT_EQ(w.nodes[std::size_t(i)], mesh.connectivity[std::size_t(w.element.element * 6 + i)]);
    }
    EXPECT_NEAR(sum, 1.0f, 1e-6f);
    EXPECT_LT((back - TripletD(p)).length(), 1e-6);
    // With the flag the previous cell is tried first: the same answer for a nearby point.
    ElementWeights w2;
    ASSERT_TRUE(domain->findElement({0.51f, 0.5f, 0.5f}, w2, true, SearchMode::Containing));
    EXPECT_EQ(w2.element.element, w.element.element);
    EXPECT_FALSE(domain->findElement({0.5f, 0.5f, 1.1f}, w2, true, SearchMode::Containing));
    EXPECT_FALSE(domain->findElement({0.5f, 0.5f, 1.1f}, w2, true, SearchMode::Nearest));
    ASSERT_TRUE(domain->findElement({0.5f, 0.5f, 1.02f}, w2, false, SearchMode::Nearest));
    EXPECT_NEAR(w2.distance, 0.02f, 1e-6f);
    // Moving the mesh rebuilds the index.
    for (auto& v : domain->getModifiableVertices()) v.z += 10.0f;
    EXPECT_FALSE(domain->findElement(p, w, false, SearchMode::Containing));
    EXPECT_TRUE(domain->findElement({0.5f, 0.5f, 10.5f}, w, false, SearchMode::Containing));
}

} // namespace
} // namespace zel
