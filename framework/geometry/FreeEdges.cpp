// Free edges of surfaces and the free edges that lie on boundary surfaces.
//
// An edge is free when exactly one face uses it (edges of three or more faces are not).
// A free edge lies on the boundaries when both its ends and its midpoint lie on them: each
// within 1% of the edge's length (plus the float rounding of the coordinates) of one of the
// boundary surfaces' faces. The midpoint keeps an edge that only joins two boundaries
// across a domain's interior out. Distances come from each boundary's surface index, built
// once per boundary geometry.
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Projection.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <map>

namespace zel {

namespace {

struct FaceEdge {
    std::uint64_t key;
    int a, b;
    std::int64_t order;
};

double magnitude(const TripletF& p) { return std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)}); }

} // namespace

void Geometry::getFreeEdges(std::vector<Edge>& edges, std::set<int>& vertices) const {
    edges.clear();
    vertices.clear();
    std::vector<FaceEdge> all;
    std::size_t total = 0;
    for (int s = 0; s < getNumElementSets(); ++s) {
        const ShapeSet& set = getElementSet(s);
        if (set.isFaceSet()) total += std::size_t(set.size()) * std::size_t(set.getNodesPerElement());
    }
    all.reserve(total);
    std::int64_t order = 0;
    for (int s = 0; s < getNumElementSets(); ++s) {
        const ShapeSet& set = getElementSet(s);
        if (!set.isFaceSet()) continue;
        const int n = set.getNodesPerElement();
        for (int f = 0; f < set.size(); ++f) {
            const auto ids = set.getElement(f);
            for (int j = 0; j < n; ++j) {
                const int a = ids[std::size_t(j)], b = ids[std::size_t((j + 1) % n)];
                if (a == b) continue; // collapsed corner of a degenerate face
                all.push_back({Edge(a, b).key(), a, b, order++});
            }
        }
    }
    std::sort(all.begin(), all.end(),
              [](const FaceEdge& x, const FaceEdge& y) { return x.key != y.key ? x.key < y.key : x.order < y.order; });
    std::vector<FaceEdge> free;
    for (std::size_t i = 0; i < all.size();) {
        std::size_t j = i + 1;
        while (j < all.size() && all[j].key == all[i].key) ++j;
        if (j - i == 1) free.push_back(all[i]);
        i = j;
    }
    std::sort(free.begin(), free.end(), [](const FaceEdge& x, const FaceEdge& y) { return x.order < y.order; });
    edges.reserve(free.size());
    for (const FaceEdge& e : free) {
        edges.emplace_back(e.a, e.b);
        vertices.insert(e.a);
        vertices.insert(e.b);
    }
}

void Geometry::findFreeEdgesOnBoundaries(const std::vector<Geometry*>& boundaries, std::vector<Edge>& edges,
                                         std::set<int>& vertices,
                                         std::vector<std::vector<int>>* verticesPerBoundary) const {
    std::vector<const SurfaceLocator*> surfaces;
    for (const Geometry* b : boundaries) surfaces.push_back(b != nullptr ? &SurfaceProjection::locator(*b) : nullptr);
    const auto& v = getVertices();
    auto onBoundary = [&](const TripletF& p, double tol, std::size_t b) {
        SurfaceHit hit;
        return surfaces[b] != nullptr && surfaces[b]->closest(TripletD(p), hit, tol);
    };
    auto onAny = [&](const TripletF& p, double tol) {
        for (std::size_t b = 0; b < surfaces.size(); ++b)
            if (onBoundary(p, tol, b)) return true;
        return false;
    };
    std::vector<Edge> kept;
    std::map<int, double> tolerance; // per kept vertex: the largest tolerance of its edges
    for (const Edge& e : edges) {
        if (e[0] < 0 || e[1] < 0 || std::size_t(e[0]) >= v.size() || std::size_t(e[1]) >= v.size()) continue;
        const TripletF& a = v[std::size_t(e[0])];
        const TripletF& b = v[std::size_t(e[1])];
        const TripletF mid = (a + b) * 0.5f;
        const double tol =
            0.01 * (TripletD(a) - TripletD(b)).length() + 4.0 * FLT_EPSILON * std::max(magnitude(a), magnitude(b));
        if (!onAny(a, tol) || !onAny(b, tol) || !onAny(mid, tol)) continue;
        kept.push_back(e);
        for (int end : {e[0], e[1]}) {
            double& t = tolerance[end];
            t = std::max(t, tol);
        }
    }
    edges.swap(kept);
    vertices.clear();
    for (const auto& [vertex, tol] : tolerance) vertices.insert(vertex);
    if (verticesPerBoundary != nullptr) {
        verticesPerBoundary->assign(boundaries.size(), {});
        for (const auto& [vertex, tol] : tolerance)
            for (std::size_t b = 0; b < surfaces.size(); ++b)
                if (onBoundary(v[std::size_t(vertex)], tol, b)) (*verticesPerBoundary)[b].push_back(vertex);
    }
}

} // namespace zel
