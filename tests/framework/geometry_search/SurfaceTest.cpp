// Free edges, the face octree and projection onto surfaces.
#include "framework/geometry/CellShape.h"
#include "framework/geometry/GeometryIntersector.h"
#include "framework/geometry/GeometrySearch.h"
#include "framework/geometry/Octree.h"
#include "framework/geometry/Projection.h"
#include "framework/geometry/SurfaceLocator.h"

#include "TestMeshes.h"
#include "framework/core/Error.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>
#include <random>
#include <span>

namespace zel {
namespace {

// A UV sphere of radius 1: quadrilaterals between the rings, triangles at the poles
// (nRings rings of nSeg vertices, plus the two poles). With `zSign` the surface keeps only
// the faces whose centre has that sign of z (a hemisphere).
std::unique_ptr<Geometry> sphere(int nRings, int nSeg, int zSign = 0) {
    auto g = std::make_unique<Geometry>();
    TripletZELVector v;
    v.push_back({0, 0, 1});
    for (int r = 1; r <= nRings; ++r) {
        const double th = std::numbers::pi * r / (nRings + 1);
        for (int s = 0; s < nSeg; ++s) {
            const double ph = 2 * std::numbers::pi * s / nSeg;
            v.push_back({float(std::sin(th) * std::cos(ph)), float(std::sin(th) * std::sin(ph)), float(std::cos(th))});
        }
    }
    v.push_back({0, 0, -1});
    g->setVertices(std::move(v));
    const int south = g->getNumVertices() - 1;
    auto id = [&](int r, int s) { return 1 + (r - 1) * nSeg + (s % nSeg); };
    ShapeSet* tris = g->addFaceSet("tri", ShapeType::Triangle, 0);
    ShapeSet* quads = g->addFaceSet("quad", ShapeType::Quadrilateral, 0);
    auto add = [&](ShapeSet* set, auto... ids) { // if its centre has the kept sign of z
        double z = 0;
        for (int i : {ids...}) z += g->getVertices()[std::size_t(i)].z;
        if (zSign == 0 || (z > 0) == (zSign > 0)) set->addElement(std::array<int, sizeof...(ids)>{ids...});
    };
    for (int s = 0; s < nSeg; ++s) {
        add(tris, 0, id(1, s), id(1, s + 1));
        add(tris, south, id(nRings, s + 1), id(nRings, s));
        for (int r = 1; r < nRings; ++r) add(quads, id(r, s), id(r + 1, s), id(r + 1, s + 1), id(r, s + 1));
    }
    return g;
}

// The smallest squared distance from p to face `ids` split as the locators split it: a
// triangle as it is, any other polygon into a fan of triangles around `apex`.
template <typename Vertices, typename Apex>
double fanDistance2(const Vertices& v, std::span<const int> ids, const Apex& apex, const TripletD& p) {
    const int n = static_cast<int>(ids.size());
    const double q[3] = {p.x, p.y, p.z};
    double best = 1e300;
    for (int j = 0; j < (n == 3 ? 1 : n); ++j) {
        double a[3], b[3], d[3], out[3], bary[3];
        for (int k = 0; k < 3; ++k) {
            a[k] = v[std::size_t(ids[std::size_t(j)])][k];
            b[k] = v[std::size_t(ids[std::size_t((j + 1) % n)])][k];
            d[k] = n == 3 ? v[std::size_t(ids[2])][k] : apex[k];
        }
        best = std::min(best, closestPointOnTriangle(q, a, b, d, out, bary));
    }
    return best;
}

// Brute-force closest distance to the faces of a geometry.
double bruteDistance(const Geometry& g, const TripletD& p) {
    double best = 1e300;
    const auto& v = g.getVertices();
    for (int s = 0; s < g.getNumElementSets(); ++s) {
        const ShapeSet& set = g.getElementSet(s);
        for (int f = 0; f < set.size(); ++f) {
            const auto ids = set.getElement(f);
            // The fan apex as the locator rounds it: summed and divided in double, stored in float.
            // Through a volatile: GCC 12's SLP vectoriser at -O2 drops a double -> float ->
            // double round trip held in registers (seen here: the unrounded apex came out).
            TripletD c{0, 0, 0};
            for (int id : ids) c += TripletD(v[std::size_t(id)]);
            c /= double(ids.size());
            volatile float apex[3] = {float(c.x), float(c.y), float(c.z)};
            best = std::min(best, fanDistance2(v, ids, apex, p));
        }
    }
    return std::sqrt(best);
}

TEST(SurfaceLocator, ClosestDistanceMatchesTheBruteForceTwinFarFromTheOriginWithAndWithoutHints) {
    // Far from the origin the index's single-precision boxes round by more than the gaps
    // between neighbouring faces: a box passed over would show as a larger distance.
    for (const float offset : {0.0f, 2.0e4f}) {
        auto s = sphere(9, 20);
        TripletZELVector v = s->getVertices();
        for (TripletF& q : v) q = TripletF(q.x + offset, q.y - 0.5f * offset, q.z + 0.25f * offset);
        s->setVertices(std::move(v));
        const TripletD centre(offset, -0.5 * offset, 0.25 * offset);
        const SurfaceLocator locator(faceView(*s));
        ASSERT_GT(locator.faceCount(), 100u);
        std::mt19937 rng(11);
        std::normal_distribution<double> g(0.0, 1.0);
        std::uniform_real_distribution<double> r(0.0, 2.5);
        // The twin takes the fan triangles' corners in another order: the same distance up to
        // the rounding of double arithmetic on coordinates of this magnitude.
        const double tol = 64 * DBL_EPSILON * (1.0 + 2.0 * offset);
        SurfaceHit previous;
        for (int i = 0; i < 400; ++i) {
            // Points anywhere, and points within 1e-4 of a vertex: there several faces' boxes
            // meet, closer than the rounding of single precision far from the origin.
            const TripletD away = centre + TripletD{g(rng), g(rng), g(rng)}.normalised() * r(rng);
            const TripletD near = TripletD(s->getVertices()[std::size_t(i) % s->getVertices().size()]) +
                                  TripletD{g(rng), g(rng), g(rng)} * 1e-4;
            const TripletD p = i % 2 == 0 ? away : near;
            const double brute = bruteDistance(*s, p);
            SurfaceHit plain, hinted;
            ASSERT_TRUE(locator.closest(p, plain));
            // The previous point's face as a hint (unrelated to this point): the same answer.
            ASSERT_TRUE(locator.closest(p, hinted, std::numeric_limits<double>::infinity(), &previous));
            EXPECT_NEAR(plain.distance, brute, tol) << "offset " << offset << " point " << i;
            EXPECT_NEAR(hinted.distance, brute, tol) << "offset " << offset << " point " << i;
            previous = hinted;
            // A bound just short of the distance finds nothing; one just beyond finds it.
            SurfaceHit bounded;
            if (const double shorter = brute * (1 - 1e-6) - 2 * tol; shorter > 0.0) {
                EXPECT_FALSE(locator.closest(p, bounded, shorter));
            }
            ASSERT_TRUE(locator.closest(p, bounded, brute * (1 + 1e-6) + tol));
            EXPECT_NEAR(bounded.distance, brute, tol);
        }
    }
}

TEST(Projection, PointsNearASphereGoToTheirClosestPointWithReproducingWeights) {
    auto s = sphere(11, 24);
    std::mt19937 rng(5);
    std::normal_distribution<double> g(0.0, 1.0);
    std::uniform_real_distribution<double> r(0.97, 1.03);
    TripletZELVector points;
    for (int i = 0; i < 300; ++i) {
        TripletD d{g(rng), g(rng), g(rng)};
        points.push_back(TripletF(d.normalised() * r(rng)));
    }
    HybridInterpolant interp("Domain");
    Geometry::ProjectionStatistics stats;
    s->projectOnGeometry(points, &interp, stats);
    ASSERT_EQ(interp.getNumVertices(), points.size());
    EXPECT_EQ(interp.getNumSources(), 1u);
    EXPECT_EQ(interp.getSource(0), s.get());
    EXPECT_DOUBLE_EQ(stats.getSuccessPercentage(), 100.0);
    const auto& v = s->getVertices();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const NodeDefinition def = interp.getInternalData(i);
        ASSERT_EQ(def.source, 0);
        TripletD q{0, 0, 0};
        double sum = 0;
        for (const NodeWeight& nw : def.nodes) {
            q += TripletD(v[std::size_t(nw.node)]) * double(nw.weight);
            sum += nw.weight;
            EXPECT_GE(nw.weight, -1e-6f);
        }
        EXPECT_NEAR(sum, 1.0, 1e-5);
        // The weights describe a point on the surface at the reported distance, which is the
        // brute-force closest distance.
        const double brute = bruteDistance(*s, TripletD(points[i]));
        EXPECT_NEAR(stats.getDistance(i), brute, 1e-6);
        EXPECT_NEAR((q - TripletD(points[i])).length(), brute, 1e-5);
        // ... and on the facets, whose centres lie 1 - cos²(7.5°) = 0.017 inside the sphere
        // (faces 15 degrees wide in both directions).
        EXPECT_NEAR(q.length(), 1.0, 0.018);
    }
    EXPECT_GT(stats.getMaxDistance(), 0.0);
    EXPECT_LE(stats.getMeanDistance(), stats.getMaxDistance());
}

TEST(Projection, SeveralSurfacesKeepTheNearestAndStatisticsCountFarPointsAsFailed) {
    auto north = sphere(11, 24, +1);
    auto south = sphere(11, 24, -1);
    TripletZELVector points;
    for (int i = 0; i < 40; ++i) {
        const double th = std::numbers::pi * (i + 0.5) / 40, ph = 0.37 * i;
        points.push_back({float(std::sin(th) * std::cos(ph)), float(std::sin(th) * std::sin(ph)), float(std::cos(th))});
    }
    points.push_back({0, 0, 3}); // far from both: projected, but failed
    points.push_back({0, 0, -3});
    HybridInterpolant interp;
    Geometry::ProjectionStatistics stats;
    north->projectOnGeometry(points, &interp, stats);
    south->projectOnGeometry(points, &interp, stats);
    ASSERT_EQ(interp.getNumVertices(), points.size());
    ASSERT_EQ(interp.getNumSources(), 2u);
    for (std::size_t i = 0; i < 40; ++i) {
        const NodeDefinition def = interp.getInternalData(i);
        if (std::fabs(points[i].z) > 0.1f) {
            EXPECT_EQ(def.source, points[i].z > 0 ? 0 : 1) << i;
        }
        const double best =
            std::min(bruteDistance(*north, TripletD(points[i])), bruteDistance(*south, TripletD(points[i])));
        EXPECT_NEAR(stats.getDistance(i), best, 1e-6);
    }
    EXPECT_EQ(interp.getInternalData(40).source, 0);
    EXPECT_EQ(interp.getInternalData(41).source, 1);
    EXPECT_EQ(stats.getNumProjected(), points.size());
    EXPECT_EQ(stats.getNumSucceeded(), 40u);
    EXPECT_NEAR(stats.getSuccessPercentage(), 100.0 * 40 / 42, 1e-9);
    // Bad input: no interpolant; an interpolant or statistics for another point count.
    EXPECT_THROW(north->projectOnGeometry(points, nullptr, stats), internal::nullPointer);
    TripletZELVector fewer;
    fewer.push_back({0, 0, 1});
    EXPECT_THROW(north->projectOnGeometry(fewer, &interp, stats), data::invalid);
    Geometry::ProjectionStatistics fresh;
    EXPECT_THROW(north->projectOnGeometry(fewer, &interp, fresh), data::invalid);
    EXPECT_DOUBLE_EQ(Geometry::ProjectionStatistics().getSuccessPercentage(), 0.0);
}

TEST(FreeEdges, CutPlanePerimeterAndBoundaryFiltering) {
    const testmesh::Mesh mesh = testmesh::box(ShapeType::Hexahedron, 4, 4, 4);
    const auto domain = testmesh::geometry(mesh);
    Geometry cut;
    GeometryIntersector::intersectWithGeometry(&cut, "Domain", domain.get(), {0, 0, 1}, 0.4f);
    std::vector<Edge> edges;
    std::set<int> vertices;
    cut.getFreeEdges(edges, vertices);
    ASSERT_EQ(edges.size(), 16u);
    EXPECT_EQ(vertices.size(), 16u);
    for (const Edge& e : edges) {
        const TripletF& a = cut.getVertices()[std::size_t(e[0])];
        const TripletF& b = cut.getVertices()[std::size_t(e[1])];
        const bool onSide =
            (a.x == 0 && b.x == 0) || (a.x == 1 && b.x == 1) || (a.y == 0 && b.y == 0) || (a.y == 1 && b.y == 1);
        EXPECT_TRUE(onSide);
    }

    // Boundary surfaces: the domain's sides x = 0 and y = 0 as quadrilaterals (sharing the
    // domain's nodes, as boundary geometries do).
    auto side = [&](int axis) {
        auto g = std::make_unique<Geometry>();
        TripletZELVector v;
        v.vector() = mesh.vertices;
        g->setVertices(std::move(v));
        ShapeSet* q = g->addFaceSet("quad", ShapeType::Quadrilateral, 0);
        auto id = [](int i, int j, int k) { return (k * 5 + j) * 5 + i; };
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b) {
                const std::array<int, 4> f =
                    axis == 0 ? std::array<int, 4>{id(0, a, b), id(0, a + 1, b), id(0, a + 1, b + 1), id(0, a, b + 1)}
                              : std::array<int, 4>{id(a, 0, b), id(a + 1, 0, b), id(a + 1, 0, b + 1), id(a, 0, b + 1)};
                q->addElement(f);
            }
        return g;
    };
    auto x0 = side(0), y0 = side(1);
    std::vector<Geometry*> boundaries{x0.get(), y0.get()};
    std::vector<std::vector<int>> perBoundary;
    cut.findFreeEdgesOnBoundaries(boundaries, edges, vertices, &perBoundary);
    EXPECT_EQ(edges.size(), 8u);
    EXPECT_EQ(vertices.size(), 9u); // 5 along each side, the corner shared
    ASSERT_EQ(perBoundary.size(), 2u);
    EXPECT_EQ(perBoundary[0].size(), 5u);
    EXPECT_EQ(perBoundary[1].size(), 5u);
    for (int i : perBoundary[0]) EXPECT_EQ(cut.getVertices()[std::size_t(i)].x, 0.0f);
    for (int i : perBoundary[1]) EXPECT_EQ(cut.getVertices()[std::size_t(i)].y, 0.0f);
    // The numbers of free edges and vertices kept on some of the sides.
    auto kept = [&](const std::vector<Geometry*>& sides) {
        cut.getFreeEdges(edges, vertices);
        cut.findFreeEdgesOnBoundaries(sides, edges, vertices);
        return std::pair(edges.size(), vertices.size());
    };
    using Counts = std::pair<std::size_t, std::size_t>;
    EXPECT_EQ(kept({y0.get()}), Counts(4, 5));
    EXPECT_EQ(kept({}), Counts(0, 0));
}

TEST(FreeEdges, OrderOrientationAndNonManifoldEdges) {
    // Two triangles sharing an edge, and a third on that edge (non-manifold), plus a quad.
    Geometry g;
    TripletZELVector v;
    for (const TripletF& p :
         {TripletF{0, 0, 0}, TripletF{1, 0, 0}, TripletF{0, 1, 0}, TripletF{1, 1, 0}, TripletF{0.5f, 0.5f, 1},
          TripletF{3, 0, 0}, TripletF{4, 0, 0}, TripletF{4, 1, 0}, TripletF{3, 1, 0}})
        v.push_back(p);
    g.setVertices(std::move(v));
    ShapeSet* t = g.addFaceSet("tri", ShapeType::Triangle, 0);
    t->addElement(std::array<int, 3>{0, 1, 2});
    t->addElement(std::array<int, 3>{1, 3, 2});
    t->addElement(std::array<int, 3>{1, 2, 4});
    ShapeSet* q = g.addFaceSet("quad", ShapeType::Quadrilateral, 0);
    q->addElement(std::array<int, 4>{5, 6, 7, 8});
    std::vector<Edge> edges;
    std::set<int> vertices;
    g.getFreeEdges(edges, vertices);
    const std::vector<Edge> expected{{0, 1}, {2, 0}, {1, 3}, {3, 2}, {2, 4}, {4, 1}, {5, 6}, {6, 7}, {7, 8}, {8, 5}};
    EXPECT_EQ(edges, expected);
    EXPECT_EQ(vertices, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

// Whether face f of `set` touches p by the octree's documented rule.
bool touchesBrute(const std::vector<TripletF>& v, const ShapeSet& set, int f, const TripletF& p) {
    const auto ids = set.getElement(f);
    const int n = set.getNodesPerElement();
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300}, mag = 0, c[3] = {0, 0, 0};
    for (int id : ids)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], double(v[std::size_t(id)][k]));
            hi[k] = std::max(hi[k], double(v[std::size_t(id)][k]));
            mag = std::max(mag, std::fabs(double(v[std::size_t(id)][k])));
            c[k] += double(v[std::size_t(id)][k]) / n;
        }
    const double tol =
        double(float(1e-5 * std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]}) + 4.0 * FLT_EPSILON * mag));
    return fanDistance2(v, ids, c, TripletD(p)) <= tol * tol;
}

TEST(Octree, FacesThatContainOrTouchAPointMatchTheBruteForceTwin) {
    // A wavy, jittered surface of quadrilaterals and one of triangles.
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> u(-0.3f, 0.3f);
    const int n = 16;
    std::vector<TripletF> v;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const float x = (float(i) + (i > 0 && i < n ? u(rng) : 0.0f)) / n;
            const float y = (float(j) + (j > 0 && j < n ? u(rng) : 0.0f)) / n;
            v.push_back({x, y, 0.1f * std::sin(6.0f * x) * std::cos(4.0f * y)});
        }
    ShapeSet quads("quad", ShapeType::Quadrilateral, 0), tris("tri", ShapeType::Triangle, 0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
            quads.addElement(std::array<int, 4>{a, b, c, d});
            tris.addElement(std::array<int, 3>{a, b, c});
            tris.addElement(std::array<int, 3>{a, c, d});
        }
    for (const ShapeSet* set : {&quads, &tris}) {
        Octree tree;
        tree.Construct(v, *set);
        EXPECT_EQ(tree.getNumFaces(), std::size_t(set->size()));
        EXPECT_GT(tree.getNumNodes(), 1u);
        std::vector<TripletF> queries(v.begin(), v.end()); // every node: its faces
        std::uniform_real_distribution<float> w(-0.1f, 1.1f);
        for (int i = 0; i < 150; ++i) {
            // Points on the surface (a face's centre or edge midpoint) and off it.
            const int f = static_cast<int>(rng() % std::uint32_t(set->size()));
            const auto ids = set->getElement(f);
            queries.push_back((v[std::size_t(ids[0])] + v[std::size_t(ids[1])]) * 0.5f);
            queries.push_back({w(rng), w(rng), w(rng) * 0.2f});
        }
        for (const TripletF& p : queries) {
            std::vector<int> expected;
            for (int f = 0; f < set->size(); ++f)
                if (touchesBrute(v, *set, f, p)) expected.push_back(f);
            const int count = tree.IntersectWithPoint(p);
            std::vector<int> got;
            for (int f; (f = tree.GetNextIntersection()) >= 0;) got.push_back(f);
            EXPECT_EQ(count, static_cast<int>(got.size()));
            EXPECT_EQ(got, expected) << p.x << " " << p.y << " " << p.z;
        }
        // A mesh node touches the faces around it: 1 to 4 quadrilaterals, 1 to 6 triangles.
        const int centre = 8 * (n + 1) + 8;
        EXPECT_EQ(tree.IntersectWithPoint(v[std::size_t(centre)]), set == &quads ? 4 : 6);
        EXPECT_EQ(tree.IntersectWithPoint({5, 5, 5}), 0);
        EXPECT_EQ(tree.GetNextIntersection(), -1);
    }
    Octree empty;
    EXPECT_EQ(empty.IntersectWithPoint({0, 0, 0}), 0);
    ShapeSet cells("cells", ShapeType::Tetrahedron, 0);
    EXPECT_THROW(empty.Construct(v, cells), internal::badParam);
}

} // namespace
} // namespace zel
