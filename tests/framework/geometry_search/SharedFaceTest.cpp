// Points on the faces between cells must not depend on which of the cells is asked: a
// decomposed case holds each cell of such a face in another piece, and its results are only
// those of the whole case if both pieces give the same crossings and weights, bit for bit.
#include "framework/geometry/CellShape.h"
#include "framework/geometry/LineCutter.h"

#include "TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

namespace zel {
namespace {

using NodeWeights = std::map<int, double>; // mesh node -> weight, zero weights left out

NodeWeights weightsIn(const testmesh::Mesh& mesh, std::int64_t cellIndex, const double p[3]) {
    const int n = cell::nodeCount(mesh.type);
    const int* nodes = mesh.connectivity.data() + cellIndex * n;
    CellNodes c;
    c.gather(mesh.type, nodes, mesh.vertices);
    const CellLocation loc = CellShape::locate(c, p, CellShape::parametricTolerance(c));
    EXPECT_TRUE(loc.inside);
    NodeWeights w;
    for (int j = 0; j < n; ++j)
        if (loc.weights[static_cast<std::size_t>(j)] != 0.0) w[nodes[j]] = loc.weights[static_cast<std::size_t>(j)];
    return w;
}

struct SharedFace {
    std::int64_t cells[2];
    std::vector<int> nodes; // in the first cell's order around the face
};

// The faces that two cells share, found by their sorted node lists.
std::vector<SharedFace> sharedFaces(const testmesh::Mesh& mesh) {
    const int n = cell::nodeCount(mesh.type);
    std::map<std::vector<int>, SharedFace> open;
    std::vector<SharedFace> shared;
    for (std::int64_t e = 0; e < mesh.cells(); ++e)
        for (const auto& f : cell::faces(mesh.type)) {
            std::vector<int> nodes;
            for (int j = 0; j < f.count; ++j)
                nodes.push_back(mesh.connectivity[std::size_t(e * n + f.nodes[std::size_t(j)])]);
            std::vector<int> key = nodes;
            std::sort(key.begin(), key.end());
            auto [it, fresh] = open.try_emplace(key, SharedFace{{e, -1}, nodes});
            if (!fresh) {
                it->second.cells[1] = e;
                shared.push_back(it->second);
            }
        }
    return shared;
}

// A random point of the face (bilinear for quadrilaterals), rounded to float as a vertex of
// a cut or a sample point is.
void pointOnFace(const testmesh::Mesh& mesh, const SharedFace& f, std::mt19937& rng, double p[3]) {
    std::uniform_real_distribution<double> u01(0.0, 1.0);
    double w[4] = {};
    if (f.nodes.size() == 3) {
        double a = u01(rng), b = u01(rng);
        if (a + b > 1.0) a = 1.0 - a, b = 1.0 - b;
        w[0] = 1.0 - a - b, w[1] = a, w[2] = b;
    } else {
        const double u = u01(rng), v = u01(rng);
        w[0] = (1 - u) * (1 - v), w[1] = u * (1 - v), w[2] = u * v, w[3] = (1 - u) * v;
    }
    for (int k = 0; k < 3; ++k) {
        double x = 0.0;
        for (std::size_t j = 0; j < f.nodes.size(); ++j) x += w[j] * double(mesh.vertices[std::size_t(f.nodes[j])][k]);
        p[k] = double(float(x));
    }
}

TEST(SharedFace, BothCellsOfAFaceGiveThePointOnItTheSameWeights) {
    std::mt19937 rng(7);
    for (ShapeType type : testmesh::kCellTypes) {
        SCOPED_TRACE(int(type));
        // Jittered interior nodes: warped quadrilateral faces, no two cells alike.
        const testmesh::Mesh mesh = testmesh::box(type, 3, 3, 3, 0.2f, 0.3f, 11);
        const std::vector<SharedFace> faces = sharedFaces(mesh);
        ASSERT_FALSE(faces.empty());
        for (const SharedFace& f : faces) {
            double p[3];
            pointOnFace(mesh, f, rng, p);
            const NodeWeights a = weightsIn(mesh, f.cells[0], p), b = weightsIn(mesh, f.cells[1], p);
            ASSERT_EQ(a, b) << "cells " << f.cells[0] << " and " << f.cells[1];
            // From the face's nodes alone, and still reproducing the point.
            double x[3] = {0, 0, 0}, sum = 0.0;
            for (const auto& [node, w] : a) {
                EXPECT_NE(std::find(f.nodes.begin(), f.nodes.end(), node), f.nodes.end());
                for (int k = 0; k < 3; ++k) x[k] += w * double(mesh.vertices[std::size_t(node)][k]);
                sum += w;
            }
            EXPECT_NEAR(sum, 1.0, 1e-12);
            // The float rounding of the point moves it off the face by up to an ulp of the
            // coordinates (~1.2e-7 in the unit box); the face point is that close.
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(x[k], p[k], 4e-7);
        }
        // A node and an edge's midpoint: weight 1, and one half each.
        const SharedFace& f = faces.front();
        const TripletF node = mesh.vertices[std::size_t(f.nodes[0])], next = mesh.vertices[std::size_t(f.nodes[1])];
        const double atNode[3] = {node.x, node.y, node.z};
        EXPECT_EQ(weightsIn(mesh, f.cells[0], atNode), (NodeWeights{{f.nodes[0], 1.0}}));
        double mid[3];
        for (int k = 0; k < 3; ++k) mid[k] = double(float(0.5 * (double(node[k]) + double(next[k]))));
        const NodeWeights edge = weightsIn(mesh, f.cells[0], mid);
        EXPECT_EQ(edge, weightsIn(mesh, f.cells[1], mid));
        ASSERT_EQ(edge.size(), 2u);
        EXPECT_NEAR(edge.begin()->second, 0.5, 1e-6);
    }
}

// The mesh's cells on one side of the plane x = cut (by their first node) or the other.
testmesh::Mesh half(const testmesh::Mesh& mesh, float cut, bool low) {
    testmesh::Mesh h = mesh;
    h.connectivity.clear();
    const int n = cell::nodeCount(mesh.type);
    for (std::int64_t e = 0; e < mesh.cells(); ++e) {
        float x = 0.0f;
        for (int j = 0; j < n; ++j) x += mesh.node(e, j).x;
        if ((x / float(n) < cut) == low)
            h.connectivity.insert(h.connectivity.end(), mesh.connectivity.begin() + e * n,
                                  mesh.connectivity.begin() + (e + 1) * n);
    }
    return h;
}

TEST(SharedFace, ACutLineOfTwoHalvesHasTheWholeMeshsVertices) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(0.05, 0.95);
    for (ShapeType type : testmesh::kCellTypes) {
        SCOPED_TRACE(int(type));
        const testmesh::Mesh mesh = testmesh::box(type, 4, 4, 4, 0.1f, 0.3f, 5);
        const testmesh::Mesh low = half(mesh, 0.5f, true), high = half(mesh, 0.5f, false);
        const CellLocator whole(mesh.view()), lowIndex(low.view()), highIndex(high.view());
        for (int line = 0; line < 20; ++line) {
            const TripletD a{0.0, u(rng), u(rng)}, b{1.0, u(rng), u(rng)};
            LineCutResult all, left, right;
            LineCutter::cut(whole, a, b - a, all);
            LineCutter::cut(lowIndex, a, b - a, left);
            LineCutter::cut(highIndex, a, b - a, right);
            ASSERT_FALSE(left.vertices.empty());
            ASSERT_FALSE(right.vertices.empty());
            // The halves' vertices together, those on the faces between the halves included,
            // are the whole mesh's, exactly.
            std::set<double> parts(left.parameters.begin(), left.parameters.end());
            parts.insert(right.parameters.begin(), right.parameters.end());
            EXPECT_EQ(parts, std::set<double>(all.parameters.begin(), all.parameters.end())) << "line " << line;
            EXPECT_LT(parts.size(), left.parameters.size() + right.parameters.size()); // some are shared
        }
    }
}

} // namespace
} // namespace zel
