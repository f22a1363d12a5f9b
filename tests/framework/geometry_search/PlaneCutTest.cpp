#include "framework/geometry/GeometryIntersector.h"
#include "framework/geometry/PlaneCutter.h"

#include "TestMeshes.h"
#include "framework/core/Error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

namespace zel {
namespace {

// The area of the section of the box [0,1]^3 sheared by x += shear·y by the plane n·x = d,
// computed independently of the cutter: the crossings of the box's 12 edges, ordered
// around their centroid.
double sectionArea(const TripletD& n, double d, double shear = 0.0) {
    std::vector<TripletD> corners;
    for (int k = 0; k < 8; ++k) {
        const double x = k & 1, y = (k >> 1) & 1, z = (k >> 2) & 1;
        corners.push_back({x + shear * y, y, z});
    }
    std::vector<TripletD> pts;
    for (int a = 0; a < 8; ++a)
        for (int b = a + 1; b < 8; ++b) {
            const int diff = a ^ b;
            if (diff != 1 && diff != 2 && diff != 4) continue; // box edges only
            const double da = n.dot(corners[std::size_t(a)]) - d, db = n.dot(corners[std::size_t(b)]) - d;
            if ((da < 0) == (db < 0)) continue;
            const double w = db / (db - da);
            pts.push_back(corners[std::size_t(a)] * w + corners[std::size_t(b)] * (1 - w));
        }
    if (pts.size() < 3) return 0.0;
    TripletD c{0, 0, 0};
    for (const auto& p : pts) c += p;
    c /= double(pts.size());
    const TripletD u = (pts[0] - c).normalised(), v = n.normalised().cross(u);
    std::sort(pts.begin(), pts.end(), [&](const TripletD& p, const TripletD& q) {
        return std::atan2((p - c).dot(v), (p - c).dot(u)) < std::atan2((q - c).dot(v), (q - c).dot(u));
    });
    TripletD area{0, 0, 0};
    for (std::size_t i = 0; i < pts.size(); ++i) area += (pts[i] - c).cross(pts[(i + 1) % pts.size()] - c);
    return 0.5 * area.length();
}

struct CutCheck {
    std::size_t interiorEdges = 0;
    std::size_t boundaryEdges = 0;
};

// Structural checks of a cut: each vertex reproduced by its edge record, all vertices
// distinct, every polygon of positive area and turning with the normal, and every edge used
// once in each direction (interior) or once (on the mesh boundary, then on its box).
CutCheck checkCut(const PlaneCutResult& cut, const MeshView& mesh, const TripletD& n, double shear = 0.0) {
    CutCheck result;
    const std::size_t nv = cut.vertices.size();
    EXPECT_EQ(cut.edges.size(), nv);
    for (std::size_t i = 0; i < nv; ++i) {
        const auto& e = cut.edges[i];
        const TripletD a(mesh.vertices[std::size_t(e.nodeA)]), b(mesh.vertices[std::size_t(e.nodeB)]);
        const TripletD p = a * double(e.weightA) + b * (1.0 - double(e.weightA));
        EXPECT_LT((p - TripletD(cut.vertices[i])).length(), 1e-6);
        if (e.nodeA == e.nodeB) {
            EXPECT_EQ(e.weightA, 1.0f);
        } else {
            EXPECT_GT(e.weightA, 0.0f);
            EXPECT_LT(e.weightA, 1.0f);
        }
    }
    std::vector<TripletF> sorted = cut.vertices;
    std::sort(sorted.begin(), sorted.end(),
              [](const TripletF& a, const TripletF& b) { return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z); });
    for (std::size_t i = 1; i < sorted.size(); ++i)
        EXPECT_GT((TripletD(sorted[i]) - TripletD(sorted[i - 1])).length(), 1e-6);

    std::map<std::pair<int, int>, int> directed;
    double area = 0.0;
    for (std::size_t k = 0; k < cut.faces.size(); ++k) {
        const std::size_t m = k + 3;
        for (std::size_t f = 0; f + m <= cut.faces[k].size(); f += m) {
            const int* ids = cut.faces[k].data() + f;
            TripletD normal{0, 0, 0};
            const TripletD o(cut.vertices[std::size_t(ids[0])]);
            for (std::size_t j = 1; j + 1 < m; ++j)
                normal += (TripletD(cut.vertices[std::size_t(ids[j])]) - o)
                              .cross(TripletD(cut.vertices[std::size_t(ids[j + 1])]) - o);
            EXPECT_GT(normal.dot(n), 0.0);
            area += 0.5 * normal.length();
            for (std::size_t j = 0; j < m; ++j) {
                const int a = ids[j], b = ids[(j + 1) % m];
                EXPECT_NE(a, b);
                ++directed[{a, b}];
            }
        }
    }
    EXPECT_NEAR(area, cut.area, 1e-9 * std::max(1.0, area));
    for (const auto& [e, count] : directed) {
        EXPECT_EQ(count, 1) << "edge used twice in one direction";
        const bool twin = directed.count({e.second, e.first}) > 0;
        if (twin) {
            ++result.interiorEdges;
            continue;
        }
        ++result.boundaryEdges;
        // A free edge of the cut lies on the boundary of the (sheared) unit box.
        const TripletF& a = cut.vertices[std::size_t(e.first)];
        const TripletF& b = cut.vertices[std::size_t(e.second)];
        auto onBox = [&](const TripletF& p, int axis, double value) {
            const double coord = axis == 0 ? p.x - shear * p.y : p[axis];
            return std::fabs(coord - value) < 1e-5;
        };
        bool shared = false;
        for (int axis = 0; axis < 3 && !shared; ++axis)
            for (double value : {0.0, 1.0})
                if (onBox(a, axis, value) && onBox(b, axis, value)) shared = true;
        EXPECT_TRUE(shared) << "free edge inside the box: " << a.x << " " << a.y << " " << a.z << " - " << b.x << " "
                            << b.y << " " << b.z;
    }
    return result;
}

TEST(PlaneCut, GenericPlanesGiveTheExactSectionAreaOnEveryCellType) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (ShapeType type : testmesh::kCellTypes) {
        for (float jitter : {0.0f, 0.2f}) {
            const testmesh::Mesh mesh = testmesh::box(type, 5, 4, 6, 0.1f, jitter, 17);
            const MeshView view = mesh.view();
            for (int trial = 0; trial < 6; ++trial) {
                const TripletD n = TripletD{u(rng), u(rng), u(rng)}.normalised();
                const double d = n.dot({0.55 + 0.2 * u(rng), 0.5 + 0.2 * u(rng), 0.5 + 0.2 * u(rng)});
                PlaneCutResult cut;
                PlaneCutter::cut(view, n, d, cut);
                const double expected = sectionArea(n, d, 0.1);
                // Sums of a few hundred polygons of float vertices.
                EXPECT_NEAR(cut.area, expected, 1e-5 * expected) << int(type) << " jitter " << jitter;
                const CutCheck c = checkCut(cut, view, n, 0.1);
                EXPECT_GT(c.interiorEdges, 0u);
                EXPECT_GT(c.boundaryEdges, 2u);
            }
        }
    }
}

TEST(PlaneCut, PlanesThroughNodesGiveOneVertexPerNodeAndEachInPlaneFaceOnce) {
    for (ShapeType type : testmesh::kCellTypes) {
        const testmesh::Mesh mesh = testmesh::box(type, 4, 4, 4);
        const MeshView view = mesh.view();
        // z = 0.5 is a layer of cell faces; z = 0 and z = 1 are the boundaries, reached from
        // inside (cells above) or outside; either way the section is the full unit square.
        for (double z : {0.0, 0.5, 1.0}) {
            for (double sign : {1.0, -1.0}) {
                const TripletD n{0, 0, sign};
                PlaneCutResult cut;
                PlaneCutter::cut(view, n, sign * z, cut);
                EXPECT_NEAR(cut.area, 1.0, 1e-6) << int(type) << " z " << z << " sign " << sign;
                std::size_t nodesOnPlane = 0;
                for (const auto& v : mesh.vertices) nodesOnPlane += v.z == float(z);
                EXPECT_EQ(cut.vertices.size(), nodesOnPlane);
                for (const auto& e : cut.edges) EXPECT_EQ(e.nodeA, e.nodeB);
                const CutCheck c = checkCut(cut, view, n);
                EXPECT_EQ(c.boundaryEdges, 16u); // 4 sides of 4 cell faces
            }
        }
        // The diagonal plane x = y goes through nodes and edges (and cell faces of the
        // tetrahedra and wedges, whose diagonals lie in it).
        const TripletD n = TripletD{1, -1, 0}.normalised();
        PlaneCutResult cut;
        PlaneCutter::cut(view, n, 0.0, cut);
        EXPECT_NEAR(cut.area, std::sqrt(2.0), 1e-6) << int(type);
        checkCut(cut, view, n);
        // The plane x + y = 0.5 crosses some cells through their nodes and others through
        // edges and faces.
        const TripletD m = TripletD{1, 1, 0}.normalised();
        PlaneCutter::cut(view, m, 0.5 / std::sqrt(2.0), cut);
        EXPECT_NEAR(cut.area, sectionArea(m, 0.5 / std::sqrt(2.0)), 1e-6) << int(type);
        checkCut(cut, view, m);
    }
}

TEST(PlaneCut, TouchingAndMissingPlanesGiveNothing) {
    const testmesh::Mesh mesh = testmesh::box(ShapeType::Hexahedron, 3, 3, 3);
    // Through a single corner node of the box from outside, along an edge of the box, beyond it.
    const std::pair<TripletD, double> planes[] = {{TripletD{1, 1, 1}.normalised(), 0.0},
                                                  {TripletD{1, 1, 0}.normalised(), 2.0 / std::sqrt(2.0)},
                                                  {{0, 0, 1}, 5.0}};
    PlaneCutResult cut;
    for (const auto& [n, d] : planes) {
        PlaneCutter::cut(mesh.view(), n, d, cut);
        EXPECT_EQ(cut.faceCount(), 0u) << d;
        EXPECT_TRUE(cut.vertices.empty()) << d;
    }
}

TEST(PlaneCut, HexahedraGiveTrianglesToHexagons) {
    // One unit cube: the plane through its centre normal to a main diagonal is a hexagon,
    // one near a corner a triangle, one parallel to an edge a quadrilateral, and a tilted
    // one a pentagon.
    const testmesh::Mesh mesh = testmesh::box(ShapeType::Hexahedron, 1, 1, 1);
    struct Case {
        TripletD n;
        double d;
        std::size_t list;
    } cases[] = {{TripletD{1, 1, 1}.normalised(), 1.5 / std::sqrt(3.0), 3},
                 {TripletD{1, 1, 1}.normalised(), 0.3, 0},
                 {TripletD{1, 1, 0}.normalised(), 0.5, 1},
                 {TripletD{1, 0.5, 0.25}.normalised(), 0.6, 2}};
    for (const auto& c : cases) {
        PlaneCutResult cut;
        PlaneCutter::cut(mesh.view(), c.n, c.d, cut);
        ASSERT_EQ(cut.faceCount(), 1u);
        EXPECT_EQ(cut.faces[c.list].size(), c.list + 3);
        EXPECT_NEAR(cut.area, sectionArea(c.n, c.d), 1e-6);
    }
}

TEST(PlaneCut, IntersectorFillsTheGeometryWithFaceSetsAndAnEdgeInterpolant) {
    const testmesh::Mesh mesh = testmesh::box(ShapeType::Wedge, 3, 3, 3, 0.1f, 0.2f);
    const auto domain = testmesh::geometry(mesh);
    Geometry cut;
    const TripletF n{0.3f, 0.4f, 0.866f};
    const std::size_t faces =
        GeometryIntersector::intersectWithGeometry(&cut, "Domain", domain.get(), n, n.dot({0.5f, 0.5f, 0.5f}));
    EXPECT_GT(faces, 0u);
    std::size_t counted = 0;
    for (const std::string& name : cut.getFaceSetNames()) {
        const ShapeSet* set = cut.getFaceSet(name);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(std::string(ContourGeometry::faceSetSuffix(set->getNodesPerElement())), name);
        counted += std::size_t(set->size());
    }
    EXPECT_EQ(counted, faces);
    const auto* interp = dynamic_cast<const EdgeInterpolant*>(cut.getInterpolant());
    ASSERT_NE(interp, nullptr);
    EXPECT_EQ(interp->getNumVertices(), std::size_t(cut.getNumVertices()));
    EXPECT_EQ(interp->getDomains(), std::vector<std::string>{"Domain"});
    double area = 0;
    for (float a : cut.getVertexAreas()) area += a;
    EXPECT_NEAR(area, sectionArea(TripletD(n), n.dot({0.5f, 0.5f, 0.5f}), 0.1), 1e-5);

    // Bad input: null geometries, zero normal, a geometry that is not empty.
    EXPECT_THROW(GeometryIntersector::intersectWithGeometry(nullptr, "D", domain.get(), n, 0.0f),
                 internal::nullPointer);
    Geometry other;
    EXPECT_THROW(GeometryIntersector::intersectWithGeometry(&other, "D", domain.get(), {0, 0, 0}, 0.0f),
                 internal::badParam);
    EXPECT_THROW(GeometryIntersector::intersectWithGeometry(&cut, "D", domain.get(), n, 0.0f), internal::badParam);
    // A plane that misses the domain leaves the geometry empty.
    EXPECT_EQ(GeometryIntersector::intersectWithGeometry(&other, "D", domain.get(), {0, 0, 1}, 7.0f), 0u);
    EXPECT_EQ(other.getNumVertices(), 0);
}

} // namespace
} // namespace zel
