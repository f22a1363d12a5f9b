// Per-vertex weights integrate linear fields exactly: faces of every type (planar polygons,
// warped quadrilaterals), every cell type (affine and distorted), and lines.
#include "GeometryTestSupport.h"
#include "framework/core/Error.h"
#include "framework/geometry/Visitor.h"

#include <gtest/gtest.h>

#include <numbers>

namespace zel {
namespace {

using test::Vec3;

// 5-point Gauss-Legendre on [0, 1]: exact to degree 9, far beyond the polynomial
// integrands below, so it serves as an independent reference quadrature.
constexpr double kG5p[5] = {0.5 - 0.5 * 0.9061798459386640, 0.5 - 0.5 * 0.5384693101056831, 0.5,
                            0.5 + 0.5 * 0.5384693101056831, 0.5 + 0.5 * 0.9061798459386640};
constexpr double kG5w[5] = {0.5 * 0.2369268850561891, 0.5 * 0.4786286704993665, 0.5 * 0.5688888888888889,
                            0.5 * 0.4786286704993665, 0.5 * 0.2369268850561891};

struct Integral {
    double measure = 0;
    double field = 0;
};

// ∫ 1 and ∫ f over a cell by the reference rule; wedge and tetrahedron triangles by the
// collapsed map r = u, s = v(1 - u).
Integral referenceCell(ShapeType type, const std::vector<Vec3>& p, double c, const Vec3& grad) {
    const int n = cell::nodeCount(type);
    Integral out;
    const bool triangle = type == ShapeType::Wedge || type == ShapeType::Tetrahedron;
    for (int a = 0; a < 5; ++a)
        for (int b = 0; b < 5; ++b)
            for (int d = 0; d < 5; ++d) {
                double r = kG5p[a], s = kG5p[b], t = kG5p[d], w = kG5w[a] * kG5w[b] * kG5w[d];
                if (triangle) {
                    s = s * (1 - r);
                    w *= (1 - r);
                }
                if (type == ShapeType::Tetrahedron) { // collapse t over the triangle too
                    t = t * (1 - r - s);
                    w *= (1 - kG5p[a] - s);
                }
                double N[8], dN[24];
                cell::shapeFunctions(type, r, s, t, N);
                cell::shapeDerivatives(type, r, s, t, dN);
                Vec3 x{0, 0, 0}, jr{0, 0, 0}, js{0, 0, 0}, jt{0, 0, 0};
                for (int i = 0; i < n; ++i) {
                    x += p[std::size_t(i)] * N[i];
                    jr += p[std::size_t(i)] * dN[3 * i];
                    js += p[std::size_t(i)] * dN[3 * i + 1];
                    jt += p[std::size_t(i)] * dN[3 * i + 2];
                }
                const double det = std::abs(jr.cross(js).dot(jt)) * w;
                out.measure += det;
                out.field += (c + grad.dot(x)) * det;
            }
    return out;
}

std::vector<Vec3> referenceNodes(ShapeType type) {
    const auto coords = cell::nodeParametricCoords(type);
    std::vector<Vec3> p;
    for (std::size_t i = 0; i < coords.size(); i += 3) p.push_back({coords[i], coords[i + 1], coords[i + 2]});
    return p;
}

constexpr ShapeType kCells[] = {ShapeType::Tetrahedron, ShapeType::Pyramid, ShapeType::Wedge, ShapeType::Hexahedron};

// Volume and centroid of the reference cells (nodes at their parametric coordinates).
struct Reference {
    double volume;
    Vec3 centroid;
};
Reference referenceVolume(ShapeType type) {
    switch (type) {
    case ShapeType::Tetrahedron: return {1.0 / 6, {0.25, 0.25, 0.25}};
    case ShapeType::Pyramid: return {1.0 / 3, {0.5, 0.5, 0.25}};
    case ShapeType::Wedge: return {0.5, {1.0 / 3, 1.0 / 3, 0.5}};
    default: return {1.0, {0.5, 0.5, 0.5}};
    }
}

// VTK's wedge lists 0-1-2 clockwise seen from 3-4-5; the parametric layout is the mirror.
const std::vector<Vec3> kVtkWedge = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {0, 1, 1}, {1, 0, 1}};

TEST(VertexWeights, PlanarPolygonsIntegrateLinearFieldsExactly) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int k = 3; k <= 7; ++k) {
        for (int trial = 0; trial < 20; ++trial) {
            // A convex polygon: sorted angles on an ellipse, then a random rigid motion.
            std::vector<double> ang(static_cast<std::size_t>(k), 0.0);
            for (auto& a : ang) a = unit(rng) * 2 * std::numbers::pi;
            std::sort(ang.begin(), ang.end());
            const double ax = 0.5 + 2 * unit(rng), by = 0.5 + 2 * unit(rng);
            const test::Affine m = test::randomAffine(rng, false);
            std::vector<Vec3> pts;
            for (double a : ang) pts.push_back(m.apply({ax * std::cos(a), by * std::sin(a), 0.0}));
            const auto geom = test::oneElement(pts, cell::faceTypeForCount(k));

            // Analytic area, unit normal and area centroid from a fan of the convex polygon.
            double area = 0;
            Vec3 centroid{0, 0, 0}, normal{0, 0, 0};
            for (int j = 1; j + 1 < k; ++j) {
                const Vec3 a = (pts[std::size_t(j)] - pts[0]).cross(pts[std::size_t(j + 1)] - pts[0]) * 0.5;
                const double ta = std::sqrt(a.lengthSquared());
                area += ta;
                normal += a;
                centroid += (pts[0] + pts[std::size_t(j)] + pts[std::size_t(j + 1)]) * (ta / 3.0);
            }
            centroid /= area;
            normal /= std::sqrt(normal.lengthSquared());
            if (area < 0.05) continue; // nearly degenerate draw: nothing to learn

            const Vec3 grad{unit(rng) - 0.5, unit(rng) - 0.5, unit(rng) - 0.5};
            const double c = 3.0;
            const double exact = area * (c + grad.dot(centroid));
            const double scale = area * (std::abs(c) + std::sqrt(grad.lengthSquared()) * 10.0);
            SCOPED_TRACE(::testing::Message() << "k=" << k << " trial=" << trial);
            // Weights are stored in float: relative error a few float epsilons.
            EXPECT_NEAR(test::weightedSum(*geom, geom->getVertexAreas(), 1.0, {0, 0, 0}), area, 1e-5 * area);
            EXPECT_NEAR(test::weightedSum(*geom, geom->getVertexAreas(), c, grad), exact, 1e-5 * scale);
            for (const auto& nrm : geom->getVertexNormals()) EXPECT_NEAR(test::toD(nrm).dot(normal), 1.0, 1e-5);
            Vec3 sumVec{0, 0, 0};
            for (const auto& v : geom->getVertexAreaVectors()) sumVec += test::toD(v);
            EXPECT_NEAR(sumVec.dot(normal), area, 1e-5 * area);
        }
    }
}

TEST(VertexWeights, WarpedQuadrilateralMatchesItsBilinearPatch) {
    const std::vector<Vec3> p = {{0, 0, 0}, {2, 0, 0.3}, {2.2, 1.5, -0.2}, {-0.1, 1.2, 0.4}};
    const auto geom = test::oneElement(p, ShapeType::Quadrilateral);
    const Vec3 grad{0.3, -0.7, 1.1};
    const double c = 2.0;
    // Reference: composite 5-point Gauss on 20 x 20 sub-squares of the parameter square.
    double area = 0, field = 0;
    Vec3 vecField{0, 0, 0};
    const int sub = 20;
    for (int i = 0; i < sub; ++i)
        for (int j = 0; j < sub; ++j)
            for (int a = 0; a < 5; ++a)
                for (int b = 0; b < 5; ++b) {
                    const double r = (i + kG5p[a]) / sub, s = (j + kG5p[b]) / sub;
                    const double w = kG5w[a] * kG5w[b] / (sub * sub);
                    const Vec3 x =
                        p[0] * ((1 - r) * (1 - s)) + p[1] * (r * (1 - s)) + p[2] * (r * s) + p[3] * ((1 - r) * s);
                    const Vec3 xr = (p[1] - p[0]) * (1 - s) + (p[2] - p[3]) * s;
                    const Vec3 xs = (p[3] - p[0]) * (1 - r) + (p[2] - p[1]) * r;
                    const Vec3 J = xr.cross(xs);
                    const double f = c + grad.dot(x);
                    area += std::sqrt(J.lengthSquared()) * w;
                    field += f * std::sqrt(J.lengthSquared()) * w;
                    vecField += J * (f * w);
                }
    // |J| of a warped patch is not polynomial: 4x4 Gauss points leave a small error.
    EXPECT_NEAR(test::weightedSum(*geom, geom->getVertexAreas(), 1, {0, 0, 0}), area, 2e-5 * area);
    EXPECT_NEAR(test::weightedSum(*geom, geom->getVertexAreas(), c, grad), field, 2e-5 * std::abs(field));
    // The area vector density J is linear, so the vector weights are exact.
    Vec3 sum{0, 0, 0};
    const auto& vec = geom->getVertexAreaVectors();
    for (int i = 0; i < 4; ++i) sum += test::toD(vec[std::size_t(i)]) * (c + grad.dot(p[std::size_t(i)]));
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(sum[k], vecField[k], 1e-5 * std::abs(field));
}

TEST(VertexWeights, AffineAndDistortedCellsIntegrateLinearFieldsExactly) {
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), jitter(-0.15, 0.15);
    // Σ w_i (c + g·x_i) against the volume and field integral given, to float accuracy.
    auto check = [](const std::vector<Vec3>& pts, ShapeType type, double c, const Vec3& grad, const Integral& exact) {
        const auto geom = test::oneElement(pts, type);
        const auto& w = geom->getVertexVolumes();
        for (float x : w) EXPECT_GT(x, 0.0f);
        EXPECT_NEAR(test::weightedSum(*geom, w, 1, {0, 0, 0}), exact.measure, 1e-5 * exact.measure);
        const double scale = exact.measure * (c + 10 * std::sqrt(grad.lengthSquared()));
        EXPECT_NEAR(test::weightedSum(*geom, w, c, grad), exact.field, 1e-5 * scale);
    };
    for (ShapeType type : kCells) {
        for (int trial = 0; trial < 20; ++trial) {
            SCOPED_TRACE(::testing::Message() << "type=" << int(type) << " trial=" << trial);
            // An affine image of the reference cell: volume and centroid are known exactly.
            const test::Affine m = test::randomAffine(rng, true);
            std::vector<Vec3> pts;
            for (const Vec3& q : referenceNodes(type)) pts.push_back(m.apply(q));
            const Reference ref = referenceVolume(type);
            const double volume = ref.volume * std::abs(m.det());
            const Vec3 grad{unit(rng), unit(rng), unit(rng)};
            check(pts, type, 1.5, grad, {volume, volume * (1.5 + grad.dot(m.apply(ref.centroid)))});
            // A distorted one against the reference quadrature.
            std::vector<Vec3> moved = referenceNodes(type);
            for (auto& q : moved) q += Vec3{jitter(rng), jitter(rng), jitter(rng)};
            const test::Affine d = test::randomAffine(rng, true);
            for (auto& q : moved) q = d.apply(q);
            check(moved, type, 2.0, {0.4, -0.9, 0.25}, referenceCell(type, moved, 2.0, {0.4, -0.9, 0.25}));
        }
    }
}

TEST(VertexWeights, WedgeVolumeIsPositiveInEitherOrientation) {
    for (const auto& pts : {kVtkWedge, referenceNodes(ShapeType::Wedge)}) {
        const auto geom = test::oneElement(pts, ShapeType::Wedge);
        EXPECT_NEAR(test::weightedSum(*geom, geom->getVertexVolumes(), 1, {0, 0, 0}), 0.5, 1e-6);
    }
}

TEST(CellTopology, LocalFacesAreOutwardAndCloseTheCell) {
    for (ShapeType type : kCells) {
        const std::vector<Vec3> p = type == ShapeType::Wedge ? kVtkWedge : referenceNodes(type);
        Vec3 centre{0, 0, 0};
        for (const auto& q : p) centre += q;
        centre /= double(p.size());
        Vec3 total{0, 0, 0};
        std::vector<int> edgeUses(64, 0);
        for (const auto& face : cell::faces(type)) {
            Vec3 nrm{0, 0, 0}, fc{0, 0, 0};
            for (int j = 0; j < face.count; ++j) {
                const Vec3& a = p[std::size_t(face.nodes[std::size_t(j)])];
                const Vec3& b = p[std::size_t(face.nodes[std::size_t((j + 1) % face.count)])];
                nrm += a.cross(b);
                fc += a / double(face.count);
                const int lo = std::min(face.nodes[std::size_t(j)], face.nodes[std::size_t((j + 1) % face.count)]);
                const int hi = std::max(face.nodes[std::size_t(j)], face.nodes[std::size_t((j + 1) % face.count)]);
                ++edgeUses[std::size_t(lo * 8 + hi)];
            }
            EXPECT_GT(nrm.dot(fc - centre), 0.0) << "type " << int(type);
            total += nrm;
        }
        EXPECT_NEAR(std::sqrt(total.lengthSquared()), 0.0, 1e-12);
        // Every cell edge is shared by exactly two faces, and only cell edges occur.
        for (const auto& e : cell::edges(type)) {
            const int lo = std::min(e[0], e[1]), hi = std::max(e[0], e[1]);
            EXPECT_EQ(edgeUses[std::size_t(lo * 8 + hi)], 2) << "type " << int(type);
            edgeUses[std::size_t(lo * 8 + hi)] = 0;
        }
        for (int u : edgeUses) EXPECT_EQ(u, 0);
        // Shape functions are a partition of unity with derivatives summing to zero.
        double N[8], dN[24];
        cell::shapeFunctions(type, 0.2, 0.3, 0.1, N);
        cell::shapeDerivatives(type, 0.2, 0.3, 0.1, dN);
        double sum = 0, dsum[3] = {0, 0, 0};
        for (int i = 0; i < cell::nodeCount(type); ++i) {
            sum += N[i];
            for (int k = 0; k < 3; ++k) dsum[k] += dN[3 * i + k];
        }
        EXPECT_NEAR(sum, 1.0, 1e-12);
        for (double d : dsum) EXPECT_NEAR(d, 0.0, 1e-12);
    }
}

TEST(VertexWeights, LinesIntegrateLinearFieldsExactly) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> u(-3, 3);
    Geometry g;
    TripletZELVector v;
    IntZELVector lines;
    std::vector<Vec3> p;
    for (int i = 0; i < 12; ++i) {
        p.push_back({u(rng), u(rng), u(rng)});
        v.push_back(test::toF(p.back()));
        if (i > 0) {
            lines.push_back(i - 1);
            lines.push_back(i);
        }
    }
    g.setVertices(v);
    g.setLines(lines);
    const Vec3 grad{0.5, 1.0, -0.25};
    double length = 0, field = 0;
    for (std::size_t i = 1; i < p.size(); ++i) {
        const double l = std::sqrt((p[i] - p[i - 1]).lengthSquared());
        length += l;
        field += l * (1.0 + grad.dot((p[i] + p[i - 1]) * 0.5));
    }
    EXPECT_NEAR(test::weightedSum(g, g.getVertexLengths(), 1, {0, 0, 0}), length, 1e-5 * length);
    EXPECT_NEAR(test::weightedSum(g, g.getVertexLengths(), 1, grad), field, 1e-5 * length * 5);

    g.getModifiableLines().push_back(0);
    g.getModifiableLines().push_back(99);
    EXPECT_THROW(g.getVertexLengths(), data::invalid);
}

// The unit cube's surface as the six outward faces of one hexahedron.
std::unique_ptr<Geometry> unitBoxSurface() {
    auto g = std::make_unique<Geometry>();
    TripletZELVector v;
    for (const Vec3& q : referenceNodes(ShapeType::Hexahedron)) v.push_back(test::toF(q));
    g->setVertices(v);
    ShapeSet* quads = g->addFaceSet("box", ShapeType::Quadrilateral);
    for (const auto& f : cell::kHexFaces) quads->addElement(std::span<const int>(f.nodes.data(), 4));
    return g;
}

TEST(VertexWeights, ClosedBoxNormalsPointOutwardAndWeightsFollowMeshChanges) {
    const auto box = unitBoxSurface();
    const Vec3 centre{0.5, 0.5, 0.5};
    const auto& normals = box->getVertexNormals();
    const auto& areas = box->getVertexAreas();
    for (int i = 0; i < 8; ++i) {
        const Vec3 out = test::toD(box->getVertices()[std::size_t(i)]) - centre;
        const Vec3 n = test::toD(normals[std::size_t(i)]);
        EXPECT_NEAR(std::sqrt(n.lengthSquared()), 1.0, 1e-6);
        EXPECT_NEAR(n.dot(out) / std::sqrt(out.lengthSquared()), 1.0, 1e-6); // corner: along the diagonal
        EXPECT_NEAR(areas[std::size_t(i)], 0.75f, 1e-6f);
    }
    // Projected area of a closed surface on any axis is zero; each side alone is 1.
    AreaVisitor projected;
    projected.setAxis({1, 2, 3});
    projected.visitGeometry(*box);
    EXPECT_NEAR(projected.getTotalWeight(), 0.0, 1e-6);
    AreaVisitor total;
    total.visitGeometry(*box);
    EXPECT_NEAR(total.getTotalWeight(), 6.0, 1e-6);

    // The weights follow changes of the mesh.
    for (auto& q : box->getModifiableVertices()) q *= 2.0f;
    EXPECT_NEAR(box->getVertexAreas()[0], 3.0f, 1e-5f);
    // Collapse face 4 (the bottom) to a triangle-like sliver by editing it in place.
    ShapeSet* set = box->getFaceSet("box");
    auto e = set->editElement(4);
    e[1] = e[0];
    e[2] = e[0];
    e[3] = e[0];
    EXPECT_NEAR(box->getVertexAreas()[0], 2.0f, 1e-5f);
    box->removeFaceSet("box");
    EXPECT_EQ(box->getVertexAreas()[0], 0.0f);
}

TEST(VertexWeights, ProjectedAreaOfATiltedPlate) {
    // A 2 x 3 rectangle tilted 30 degrees about the x axis.
    const double a = std::numbers::pi / 6;
    const std::vector<Vec3> p = {
        {0, 0, 0}, {2, 0, 0}, {2, 3 * std::cos(a), 3 * std::sin(a)}, {0, 3 * std::cos(a), 3 * std::sin(a)}};
    const auto plate = test::oneElement(p, ShapeType::Quadrilateral);
    const struct {
        TripletF axis; // not unit: normalised by setAxis
        double area, tolerance;
    } cases[] = {{{0, 0, 5}, 6 * std::cos(a), 1e-5}, {{0, -1, 0}, 6 * std::sin(a), 1e-5}, {{1, 0, 0}, 0.0, 1e-6}};
    for (const auto& c : cases) {
        AreaVisitor projected;
        projected.setAxis(c.axis);
        projected.visitGeometry(*plate);
        EXPECT_NEAR(projected.getTotalWeight(), c.area, c.tolerance) << c.axis.x << " " << c.axis.y << " " << c.axis.z;
    }
}

TEST(Geometry, FeatureLinesOfABoxAndAPlate) {
    auto box = unitBoxSurface();
    box->calculateLines(30.0f);
    EXPECT_EQ(box->getNumLines(), 12);
    box->calculateLines(100.0f);
    EXPECT_EQ(box->getNumLines(), 0);

    // A flat 2 x 2 plate: only the 8 boundary segments.
    Geometry plate;
    TripletZELVector v;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) v.push_back({float(i), float(j), 0.0f});
    plate.setVertices(v);
    ShapeSet* quads = plate.addFaceSet("plate", ShapeType::Quadrilateral);
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            const int n[4] = {j * 3 + i, j * 3 + i + 1, j * 3 + i + 4, j * 3 + i + 3};
            quads->addElement(n);
        }
    plate.calculateLines(10.0f);
    ASSERT_EQ(plate.getNumLines(), 8);
    EXPECT_NEAR(test::weightedSum(plate, plate.getVertexLengths(), 1, {0, 0, 0}), 8.0, 1e-6);
}

} // namespace
} // namespace zel
