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

double dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Crossings of the line o + t·d with triangle (a, b, c), with a little slack on its edges so
// that a line through an edge or a node is seen by every face that meets there.
void crossTriangle(const double* a, const double* b, const double* c, const double o[3], const double d[3],
                   std::vector<double>& ts) {
    double e1[3], e2[3], pv[3], tv[3], qv[3];
    for (int k = 0; k < 3; ++k) {
        e1[k] = b[k] - a[k];
        e2[k] = c[k] - a[k];
    }
    pv[0] = d[1] * e2[2] - d[2] * e2[1];
    pv[1] = d[2] * e2[0] - d[0] * e2[2];
    pv[2] = d[0] * e2[1] - d[1] * e2[0];
    const double det = dot3(e1, pv);
    const double scale = std::sqrt(dot3(e1, e1) * dot3(e2, e2) * dot3(d, d));
    if (!(std::fabs(det) > 1e-12 * scale)) return; // the line lies in the triangle's plane
    const double inv = 1.0 / det;
    for (int k = 0; k < 3; ++k) tv[k] = o[k] - a[k];
    const double u = dot3(tv, pv) * inv;
    qv[0] = tv[1] * e1[2] - tv[2] * e1[1];
    qv[1] = tv[2] * e1[0] - tv[0] * e1[2];
    qv[2] = tv[0] * e1[1] - tv[1] * e1[0];
    const double v = dot3(d, qv) * inv;
    constexpr double eps = 1e-9;
    if (u < -eps || v < -eps || u + v > 1.0 + eps) return;
    ts.push_back(dot3(e2, qv) * inv);
}

// Crossings of the line with the bilinear quadrilateral (p00, p10, p11, p01): the
// quadrilateral faces of the cells are these patches, shared exactly by neighbouring cells.
void crossBilinear(const double* p00, const double* p10, const double* p11, const double* p01, const double o[3],
                   const double d[3], std::vector<double>& ts) {
    // Two directions normal to the line turn x(u, v) = line into two bilinear equations.
    double n1[3], n2[3];
    const int m = std::fabs(d[0]) < std::fabs(d[1]) ? (std::fabs(d[0]) < std::fabs(d[2]) ? 0 : 2)
                                                    : (std::fabs(d[1]) < std::fabs(d[2]) ? 1 : 2);
    double axis[3] = {0, 0, 0};
    axis[m] = 1.0;
    n1[0] = d[1] * axis[2] - d[2] * axis[1];
    n1[1] = d[2] * axis[0] - d[0] * axis[2];
    n1[2] = d[0] * axis[1] - d[1] * axis[0];
    n2[0] = d[1] * n1[2] - d[2] * n1[1];
    n2[1] = d[2] * n1[0] - d[0] * n1[2];
    n2[2] = d[0] * n1[1] - d[1] * n1[0];
    double a0[3], e1[3], e2[3], e3[3];
    for (int k = 0; k < 3; ++k) {
        a0[k] = p00[k] - o[k];
        e1[k] = p10[k] - p00[k];
        e2[k] = p01[k] - p00[k];
        e3[k] = p00[k] - p10[k] + p11[k] - p01[k];
    }
    const double A1 = dot3(a0, n1), B1 = dot3(e1, n1), C1 = dot3(e2, n1), D1 = dot3(e3, n1);
    const double A2 = dot3(a0, n2), B2 = dot3(e1, n2), C2 = dot3(e2, n2), D2 = dot3(e3, n2);
    const double qa = B1 * D2 - B2 * D1;
    const double qb = A1 * D2 + B1 * C2 - A2 * D1 - B2 * C1;
    const double qc = A1 * C2 - A2 * C1;
    const double scale = std::max({std::fabs(qa), std::fabs(qb), std::fabs(qc)});
    if (!(scale > 0.0)) return; // the line lies in the patch or the patch is degenerate
    double roots[2];
    int nr = 0;
    if (std::fabs(qa) <= 1e-12 * scale) {
        if (std::fabs(qb) <= 1e-12 * scale) return;
        roots[nr++] = -qc / qb;
    } else {
        const double disc = qb * qb - 4.0 * qa * qc;
        if (disc < -1e-12 * qb * qb) return;
        const double sq = std::sqrt(std::max(disc, 0.0));
        // The stable pair of roots.
        const double q = -0.5 * (qb + (qb >= 0 ? sq : -sq));
        roots[nr++] = q / qa;
        if (q != 0.0) roots[nr++] = qc / q;
    }
    constexpr double eps = 1e-9;
    for (int r = 0; r < nr; ++r) {
        const double u = roots[r];
        if (u < -eps || u > 1.0 + eps) continue;
        const double den1 = C1 + D1 * u, den2 = C2 + D2 * u;
        double v;
        if (std::fabs(den1) >= std::fabs(den2)) {
            if (den1 == 0.0) continue;
            v = -(A1 + B1 * u) / den1;
        } else {
            v = -(A2 + B2 * u) / den2;
        }
        if (v < -eps || v > 1.0 + eps) continue;
        double x[3];
        for (int k = 0; k < 3; ++k) x[k] = p00[k] + u * e1[k] + v * e2[k] + u * v * e3[k];
        double rel[3] = {x[0] - o[0], x[1] - o[1], x[2] - o[2]};
        ts.push_back(dot3(rel, d) / dot3(d, d));
    }
}

// The parameter intervals of the line inside one cell, appended as pairs to `out`. The
// breaks are the crossings with the cell's faces (triangles, bilinear quadrilaterals);
// each piece between two breaks is inside when its midpoint is (the cell's own map
// decides), so warped and non-convex cells are cut exactly where their faces are.
void clipCell(const CellNodes& c, const double o[3], const double d[3], std::vector<double>& ts,
              std::vector<std::pair<double, double>>& out) {
    ts.clear();
    for (const auto& f : cell::faces(c.type)) {
        // Corners in their canonical order: the two cells of a face find the same crossing.
        int n[4];
        canonicalFaceOrder(c, f, n);
        if (f.count == 3)
            crossTriangle(c.x[n[0]], c.x[n[1]], c.x[n[2]], o, d, ts);
        else
            crossBilinear(c.x[n[0]], c.x[n[1]], c.x[n[2]], c.x[n[3]], o, d, ts);
    }
    if (ts.size() < 2) return;
    std::sort(ts.begin(), ts.end());
    const double dlen = std::sqrt(dot3(d, d));
    const double minLength = 1e-7 * c.size() / dlen;
    const double tol = CellShape::parametricTolerance(c);
    bool open = false;
    double start = 0.0, end = 0.0;
    for (std::size_t i = 0; i + 1 < ts.size(); ++i) {
        if (ts[i + 1] - ts[i] <= minLength) continue; // one crossing seen by two faces
        const double tm = 0.5 * (ts[i] + ts[i + 1]);
        const double mid[3] = {o[0] + tm * d[0], o[1] + tm * d[1], o[2] + tm * d[2]};
        if (CellShape::locate(c, mid, tol).inside) {
            if (!open) start = ts[i];
            open = true;
            end = ts[i + 1];
        } else if (open) {
            out.emplace_back(start, end);
            open = false;
        }
    }
    if (open) out.emplace_back(start, end);
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
    std::vector<double> scratch;
    std::vector<std::pair<double, double>> intervals;
    for (std::int64_t e : cand) {
        const std::size_t b = blocks.blockOf(e);
        const ElementBlockView& block = mesh.blocks[b];
        CellNodes c;
        c.gather(block.type, block.element(e - blocks.start(b)), mesh.vertices);
        intervals.clear();
        clipCell(c, o, d, scratch, intervals);
        if (intervals.empty()) continue;
        double chord = 0.0;
        for (const auto& [t0, t1] : intervals) {
            pieces.push_back({t0, t1, e});
            chord += (t1 - t0) * dlen;
            minChord = std::min(minChord, t1 - t0);
        }
        out.chords.emplace_back(e, chord);
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
        // The mean is taken about the first: crossings that agree exactly (one face seen
        // by its two cells) give that value itself, however many cells saw it.
        std::size_t j = i;
        double sum = 0.0;
        while (j < ts.size() && ts[j] - ts[i] <= tol) sum += ts[j++] - ts[i];
        merged.push_back(ts[i] + sum / double(j - i));
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
