#include "framework/geometry/LineCutter.h"

#include "framework/core/Error.h"
#include "framework/geometry/GeometrySearch.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zel {

namespace {

struct Piece {
    double t0, t1;
    std::int64_t element;
};

// The parameter interval of the line inside one cell; false when the line misses it or
// only touches it.
bool clipCell(const CellNodes& c, const double o[3], const double d[3], double& t0, double& t1) {
    double centre[3] = {0, 0, 0};
    for (int i = 0; i < c.count; ++i)
        for (int k = 0; k < 3; ++k) centre[k] += c.x[i][k] / c.count;
    const double size = std::max(c.size(), 1e-300);
    const double dlen = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    t0 = -std::numeric_limits<double>::infinity();
    t1 = std::numeric_limits<double>::infinity();
    for (const auto& f : cell::faces(c.type)) {
        // Plane through the face centre with the face's mean (Newell) normal.
        double fc[3] = {0, 0, 0}, n[3] = {0, 0, 0};
        for (int j = 0; j < f.count; ++j) {
            const double* a = c.x[f.nodes[static_cast<std::size_t>(j)]];
            const double* b = c.x[f.nodes[static_cast<std::size_t>((j + 1) % f.count)]];
            n[0] += (a[1] - b[1]) * (a[2] + b[2]);
            n[1] += (a[2] - b[2]) * (a[0] + b[0]);
            n[2] += (a[0] - b[0]) * (a[1] + b[1]);
            for (int k = 0; k < 3; ++k) fc[k] += a[k] / f.count;
        }
        const double nlen = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (!(nlen > 1e-24 * size * size)) continue;   // collapsed face
        for (double& v : n) v /= nlen;
        // Outward: away from the cell centre, whatever the cell's orientation.
        const double side = n[0] * (fc[0] - centre[0]) + n[1] * (fc[1] - centre[1]) + n[2] * (fc[2] - centre[2]);
        if (side < 0)
            for (double& v : n) v = -v;
        const double num = n[0] * (fc[0] - o[0]) + n[1] * (fc[1] - o[1]) + n[2] * (fc[2] - o[2]);
        const double den = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
        if (std::fabs(den) <= 1e-12 * dlen) {
            // Parallel to the face: outside when beyond its plane (on it counts as inside).
            if (num < -1e-9 * size) return false;
            continue;
        }
        const double t = num / den;
        if (den > 0)
            t1 = std::min(t1, t);
        else
            t0 = std::max(t0, t);
    }
    // Touching at a node or an edge leaves an interval of (almost) zero length.
    return t1 - t0 > 1e-7 * size / dlen;
}

} // namespace

void LineCutter::cut(const CellLocator& locator, const TripletD& point, const TripletD& direction, LineCutResult& out) {
    out = LineCutResult{};
    const double o[3] = {point.x, point.y, point.z};
    const double d[3] = {direction.x, direction.y, direction.z};
    const double dlen = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(dlen > 0.0) || !std::isfinite(dlen))
        throw internal::badParam("LineCutter", "cut", "The line direction is zero or undefined.", ErrError);
    const CellLocator::View view = locator.view();
    std::vector<std::int64_t> cand;
    view.lineCandidates(o, d, cand);
    const MeshView& mesh = view.mesh();
    const BlockIndex blocks(mesh);

    std::vector<Piece> pieces;
    double minChord = std::numeric_limits<double>::infinity();
    for (std::int64_t e : cand) {
        const std::size_t b = blocks.blockOf(e);
        const ElementBlockView& block = mesh.blocks[b];
        CellNodes c;
        c.gather(block.type, block.element(e - blocks.start(b)), mesh.vertices);
        double t0, t1;
        if (!clipCell(c, o, d, t0, t1)) continue;
        pieces.push_back({t0, t1, e});
        out.chords.emplace_back(e, (t1 - t0) * dlen);
        minChord = std::min(minChord, t1 - t0);
    }
    if (pieces.empty()) return;

    // End points closer than a small part of the shortest chord are one crossing (the
    // exit of one cell and the entry of the next, computed from two cells' planes).
    std::vector<double> ts;
    ts.reserve(pieces.size() * 2);
    for (const Piece& p : pieces) {
        ts.push_back(p.t0);
        ts.push_back(p.t1);
    }
    std::sort(ts.begin(), ts.end());
    const double tol = 1e-4 * minChord;
    std::vector<double> merged;
    for (std::size_t i = 0; i < ts.size();) {
        std::size_t j = i;
        double sum = 0.0;
        while (j < ts.size() && ts[j] - ts[i] <= tol) sum += ts[j++];
        merged.push_back(sum / double(j - i));
        i = j;
    }
    auto vertexOf = [&](double t) {
        const auto it = std::lower_bound(merged.begin(), merged.end(), t - tol);
        std::size_t i = std::min(static_cast<std::size_t>(it - merged.begin()), merged.size() - 1);
        if (i + 1 < merged.size() && std::fabs(merged[i + 1] - t) < std::fabs(merged[i] - t)) ++i;
        return static_cast<int>(i);
    };
    out.parameters = merged;
    out.vertices.reserve(merged.size());
    for (double t : merged)
        out.vertices.push_back({static_cast<float>(o[0] + t * d[0]), static_cast<float>(o[1] + t * d[1]),
                                static_cast<float>(o[2] + t * d[2])});
    // One segment per distinct pair of crossings (a segment in a shared face or along a
    // shared edge comes from several cells).
    std::vector<std::pair<int, int>> segs;
    segs.reserve(pieces.size());
    for (const Piece& p : pieces) {
        const int a = vertexOf(p.t0), b = vertexOf(p.t1);
        if (a != b) segs.emplace_back(a, b);
    }
    std::sort(segs.begin(), segs.end());
    segs.erase(std::unique(segs.begin(), segs.end()), segs.end());
    out.segments.reserve(segs.size() * 2);
    for (const auto& s : segs) {
        out.segments.push_back(s.first);
        out.segments.push_back(s.second);
    }
}

bool Geometry::intersectLineWithGeometry(const Geometry& domain, const TripletF& point, const TripletF& direction,
                                         std::map<int, double>& hits) {
    if (point.isUndefined() || direction.isUndefined() || direction.lengthSquared() == 0.0f)
        throw internal::badParam("Geometry", "intersectLineWithGeometry", "The line direction is zero or undefined.",
                                 ErrError);
    const CellLocator& locator = GeometrySearch::locator(domain);
    LineCutResult cut;
    LineCutter::cut(locator, TripletD(point), TripletD(direction), cut);
    // Element numbers of the index's view to the domain's global element ids.
    const MeshView& view = locator.view().mesh();
    const BlockIndex blocks(view);
    const auto offsets = domain.getElementOffsets();
    for (const auto& [e, chord] : cut.chords) {
        const std::size_t b = blocks.blockOf(e);
        const std::int64_t id = offsets[static_cast<std::size_t>(view.blocks[b].setIndex)] + (e - blocks.start(b));
        hits[static_cast<int>(id)] = chord;
    }
    TripletZELVector vertices;
    vertices.vector().swap(cut.vertices);
    setVertices(std::move(vertices));
    IntZELVector lines;
    lines.vector().swap(cut.segments);
    setLines(std::move(lines));
    return getNumLines() > 0;
}

} // namespace zel
