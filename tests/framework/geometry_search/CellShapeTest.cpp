#include "framework/geometry/CellShape.h"

#include "TestMeshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace zel {
namespace {

// A random parametric point of the reference cell, at least `margin` inside it.
void randomParametric(ShapeType type, std::mt19937& rng, double margin, double pc[3]) {
    std::uniform_real_distribution<double> u(margin, 1.0 - margin);
    do {
        for (int k = 0; k < 3; ++k) pc[k] = u(rng);
    } while (CellShape::outside(type, pc) > -margin);
}

CellNodes referenceCell(ShapeType type) {
    CellNodes c;
    c.type = type;
    c.count = cell::nodeCount(type);
    const auto pc = cell::nodeParametricCoords(type);
    for (int i = 0; i < c.count; ++i)
        for (int k = 0; k < 3; ++k) c.x[i][k] = pc[static_cast<std::size_t>(3 * i + k)];
    return c;
}

// Distorts a cell: every node moved by up to `amount` of the cell size, plus a twist of the
// upper nodes and an overall scale and offset far from the origin.
CellNodes distorted(ShapeType type, std::mt19937& rng, double amount) {
    CellNodes c = referenceCell(type);
    std::uniform_real_distribution<double> u(-amount, amount);
    for (int i = 0; i < c.count; ++i) {
        const double angle = 0.3 * c.x[i][2];
        const double x = c.x[i][0] - 0.5, y = c.x[i][1] - 0.5;
        c.x[i][0] = 0.5 + x * std::cos(angle) - y * std::sin(angle) + u(rng);
        c.x[i][1] = 0.5 + x * std::sin(angle) + y * std::cos(angle) + u(rng);
        c.x[i][2] += u(rng);
        for (int k = 0; k < 3; ++k) c.x[i][k] = 0.01 * c.x[i][k] + 3.0;
    }
    return c;
}

TEST(CellShape, RoundTripOnEveryCellTypeIncludingDistortedCells) {
    std::mt19937 rng(42);
    for (ShapeType type : testmesh::kCellTypes) {
        for (int trial = 0; trial < 400; ++trial) {
            const CellNodes c = trial < 20 ? referenceCell(type) : distorted(type, rng, trial < 200 ? 0.1 : 0.2);
            double pc[3];
            randomParametric(type, rng, 1e-3, pc);
            double p[3];
            CellShape::map(c, pc, p);
            const CellLocation loc = CellShape::locate(c, p, CellShape::parametricTolerance(c));
            ASSERT_TRUE(loc.inside) << "type " << int(type) << " trial " << trial;
            ASSERT_TRUE(loc.converged);
            double expected[8];
            CellShape::weights(type, pc, expected);
            double sum = 0;
            for (int i = 0; i < c.count; ++i) {
                // Newton solves to 1e-10 of the cell size; the map's conditioning on these
                // cells loses at most a few digits of that.
                EXPECT_NEAR(loc.weights[static_cast<std::size_t>(i)], expected[i], 1e-7);
                sum += loc.weights[static_cast<std::size_t>(i)];
            }
            EXPECT_NEAR(sum, 1.0, 1e-12);
            double back[3];
            CellShape::map(c, loc.pc, back);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], p[k], 1e-10);
        }
    }
}

TEST(CellShape, NodesEdgesAndFacesAreInsideWithExactWeights) {
    std::mt19937 rng(7);
    for (ShapeType type : testmesh::kCellTypes) {
        const CellNodes c = distorted(type, rng, 0.1);
        const double tol = CellShape::parametricTolerance(c);
        // Every node: weight 1 on that node.
        for (int i = 0; i < c.count; ++i) {
            const CellLocation loc = CellShape::locate(c, c.x[i], tol);
            ASSERT_TRUE(loc.inside) << int(type) << " node " << i;
            EXPECT_NEAR(loc.weights[static_cast<std::size_t>(i)], 1.0, 1e-6) << int(type) << " node " << i;
        }
        // Midpoints of the edges: half on each end.
        for (const auto& e : cell::edges(type)) {
            double p[3];
            for (int k = 0; k < 3; ++k) p[k] = 0.5 * (c.x[e[0]][k] + c.x[e[1]][k]);
            const CellLocation loc = CellShape::locate(c, p, tol);
            ASSERT_TRUE(loc.inside);
            EXPECT_NEAR(loc.weights[static_cast<std::size_t>(e[0])], 0.5, 1e-6);
            EXPECT_NEAR(loc.weights[static_cast<std::size_t>(e[1])], 0.5, 1e-6);
        }
        // Centres of the faces (bilinear on quadrilaterals): weights only on the face.
        for (const auto& f : cell::faces(type)) {
            double p[3] = {0, 0, 0};
            for (int j = 0; j < f.count; ++j)
                for (int k = 0; k < 3; ++k) p[k] += c.x[f.nodes[static_cast<std::size_t>(j)]][k] / f.count;
            const CellLocation loc = CellShape::locate(c, p, tol);
            ASSERT_TRUE(loc.inside);
            double onFace = 0;
            for (int j = 0; j < f.count; ++j) {
                const double w = loc.weights[static_cast<std::size_t>(f.nodes[static_cast<std::size_t>(j)])];
                onFace += w;
                EXPECT_NEAR(w, 1.0 / f.count, 1e-6);
            }
            EXPECT_NEAR(onFace, 1.0, 1e-6);
        }
    }
}

TEST(CellShape, PointsOutsideAreRejectedAndClosestPointIsOnTheCell) {
    for (ShapeType type : testmesh::kCellTypes) {
        const CellNodes c = referenceCell(type);
        const double tol = CellShape::parametricTolerance(c);
        // Below the z = 0 face (every reference cell has one there) by 0.01.
        const double below[3] = {0.2, 0.2, -0.01};
        EXPECT_FALSE(CellShape::locate(c, below, tol).inside);
        const CellLocation near = CellShape::closest(c, below);
        EXPECT_NEAR(near.distance, 0.01, 1e-12);
        EXPECT_NEAR(near.pc[2], 0.0, 1e-9);
        double back[3];
        CellShape::map(c, near.pc, back);
        EXPECT_NEAR(back[0], 0.2, 1e-9);
        EXPECT_NEAR(back[1], 0.2, 1e-9);
        // Far away: not inside, large distance.
        const double far[3] = {5, 5, 5};
        EXPECT_FALSE(CellShape::locate(c, far, tol).inside);
        EXPECT_GT(CellShape::closest(c, far).distance, 5.0);
        // Just outside a node within the tolerance still counts as inside.
        const double atNode[3] = {-0.1 * tol, 0, 0};
        EXPECT_TRUE(CellShape::locate(c, atNode, tol).inside);
    }
}

TEST(CellShape, DegenerateCellsFailCleanly) {
    // All nodes in one plane: no volume, nothing is inside, no division by zero.
    for (ShapeType type : testmesh::kCellTypes) {
        CellNodes c = referenceCell(type);
        for (int i = 0; i < c.count; ++i) c.x[i][2] = 0.0;
        const double p[3] = {0.2, 0.2, 0.0};
        const CellLocation loc = CellShape::locate(c, p, CellShape::parametricTolerance(c));
        if (loc.inside) {
            double sum = 0;
            for (int i = 0; i < c.count; ++i) sum += loc.weights[static_cast<std::size_t>(i)];
            EXPECT_NEAR(sum, 1.0, 1e-9);
        }
        const double q[3] = {0.2, 0.2, 0.5};
        EXPECT_FALSE(CellShape::locate(c, q, CellShape::parametricTolerance(c)).inside);
    }
}

TEST(CellShape, ClosestPointOnTriangleCoversEveryRegion) {
    const double a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
    struct Case {
        double p[3];
        double q[3];
    } cases[] = {
        {{0.2, 0.2, 1}, {0.2, 0.2, 0}}, // face
        {{-1, -1, 0}, {0, 0, 0}},       // vertex a
        {{2, -0.5, 0}, {1, 0, 0}},      // vertex b
        {{-0.5, 2, 0}, {0, 1, 0}},      // vertex c
        {{0.5, -1, 0}, {0.5, 0, 0}},    // edge ab
        {{-1, 0.5, 0}, {0, 0.5, 0}},    // edge ac
        {{1, 1, 0}, {0.5, 0.5, 0}},     // edge bc
    };
    for (const auto& k : cases) {
        double out[3], bary[3];
        const double d2 = closestPointOnTriangle(k.p, a, b, c, out, bary);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], k.q[i], 1e-12);
        double e2 = 0;
        for (int i = 0; i < 3; ++i) e2 += (k.p[i] - k.q[i]) * (k.p[i] - k.q[i]);
        EXPECT_NEAR(d2, e2, 1e-12);
        EXPECT_NEAR(bary[0] + bary[1] + bary[2], 1.0, 1e-12);
    }
}

} // namespace
} // namespace zel
