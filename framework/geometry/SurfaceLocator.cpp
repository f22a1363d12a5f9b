#include "framework/geometry/SurfaceLocator.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/CellShape.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace zel {
namespace {

// Faces per leaf: a face is first tested against its own box (testPrim), so a leaf of four
// costs little more than a leaf of two, and the tree is a level shallower.
constexpr std::uint32_t kLeafFaces = 4;

// Floats packed per face: the corners, and the fan centroid before them when n >= 4.
std::size_t packedPoints(int corners) { return std::size_t(corners) + (corners >= 4 ? 1u : 0u); }

} // namespace

SurfaceLocator::SurfaceLocator(const MeshView& faces) {
    m_view.vertices = faces.vertices;
    for (const auto& b : faces.blocks)
        if (cell::isFace(b.type) && b.nodesPerElement >= 3) m_view.blocks.push_back(b);
    const auto v = m_view.vertices;

    std::size_t faceTotal = 0, pointTotal = 0;
    for (const ElementBlockView& b : m_view.blocks) {
        faceTotal += static_cast<std::size_t>(b.size());
        pointTotal += static_cast<std::size_t>(b.size()) * packedPoints(b.nodesPerElement);
    }
    if (faceTotal == 0) return;
    if (faceTotal >= std::numeric_limits<std::uint32_t>::max() / 2 ||
        3 * pointTotal >= std::numeric_limits<std::uint32_t>::max())
        throw data::invalid("SurfaceLocator", "SurfaceLocator", "Too many faces to index.");

    // Face records in input order and their centres; the records are permuted into leaf order
    // (and their corners packed) once the tree is built.
    std::vector<Prim> input;
    input.reserve(faceTotal);
    std::vector<BuildItem> items;
    items.reserve(faceTotal);
    for (std::size_t bi = 0; bi < m_view.blocks.size(); ++bi) {
        const ElementBlockView& b = m_view.blocks[bi];
        const int n = b.nodesPerElement;
        for (std::int64_t f = 0; f < b.size(); ++f) {
            const int* ids = b.element(f);
            TripletD c{0, 0, 0};
            for (int j = 0; j < n; ++j) {
                if (ids[j] < 0 || static_cast<std::size_t>(ids[j]) >= v.size())
                    throw data::invalid(
                        "SurfaceLocator", "SurfaceLocator",
                        _("Face vertex %d is not a vertex of the surface (%d vertices).", ids[j], v.size()));
                c += TripletD(v[static_cast<std::size_t>(ids[j])]);
            }
            c /= double(n);
            const auto prim = static_cast<std::uint32_t>(input.size());
            input.push_back({static_cast<std::uint32_t>(bi), 0u, f, n});
            items.push_back({{float(c.x), float(c.y), float(c.z)}, prim});
        }
    }

    m_nodes.reserve(2 * faceTotal / kLeafFaces + 2);
    m_nodes.push_back({});
    build(0, 0, static_cast<std::uint32_t>(faceTotal), items);

    // Leaf order: records permuted, corners packed contiguously (centroid first for fans, in
    // double then rounded, as the fan triangles' apex).
    m_prims.resize(faceTotal);
    m_coords.resize(3 * pointTotal);
    std::size_t at = 0;
    for (std::size_t i = 0; i < faceTotal; ++i) {
        Prim p = input[items[i].prim];
        p.offset = static_cast<std::uint32_t>(at);
        const ElementBlockView& b = m_view.blocks[p.block];
        const int* ids = b.element(p.face);
        float* dst = m_coords.data() + at;
        if (p.corners >= 4) {
            TripletD c{0, 0, 0};
            for (int j = 0; j < p.corners; ++j) c += TripletD(v[static_cast<std::size_t>(ids[j])]);
            c /= double(p.corners);
            *dst++ = float(c.x);
            *dst++ = float(c.y);
            *dst++ = float(c.z);
        }
        for (int j = 0; j < p.corners; ++j) {
            const TripletF& q = v[static_cast<std::size_t>(ids[j])];
            *dst++ = q.x;
            *dst++ = q.y;
            *dst++ = q.z;
        }
        at += 3 * packedPoints(p.corners);
        m_prims[i] = p;
    }

    // Boxes bottom-up: children are always appended after their parent.
    for (std::size_t i = m_nodes.size(); i-- > 0;) {
        Node& node = m_nodes[i];
        for (int k = 0; k < 3; ++k) {
            node.lo[k] = std::numeric_limits<float>::max();
            node.hi[k] = std::numeric_limits<float>::lowest();
        }
        if (node.count > 0) {
            for (std::uint32_t f = node.first; f < node.first + node.count; ++f) {
                const Prim& p = m_prims[f];
                const float* q = m_coords.data() + p.offset;
                const std::size_t points = packedPoints(p.corners);
                for (std::size_t j = 0; j < points; ++j, q += 3)
                    for (int k = 0; k < 3; ++k) {
                        node.lo[k] = std::min(node.lo[k], q[k]);
                        node.hi[k] = std::max(node.hi[k], q[k]);
                    }
            }
            continue;
        }
        for (std::uint32_t c = node.first; c < node.first + 2; ++c)
            for (int k = 0; k < 3; ++k) {
                node.lo[k] = std::min(node.lo[k], m_nodes[c].lo[k]);
                node.hi[k] = std::max(node.hi[k], m_nodes[c].hi[k]);
            }
    }

    // The four-wide tree searched by queries: half the levels of the binary one.
    for (const float* q = m_coords.data(); q != m_coords.data() + m_coords.size(); ++q)
        m_extent = std::max(m_extent, std::fabs(*q));
    m_wide.reserve(m_nodes.size() / 3 + 2);
    if (m_nodes[0].count > 0) {
        Wide root{};
        for (int c = 0; c < 4; ++c) root.count[c] = kEmpty;
        for (int k = 0; k < 3; ++k) root.lo[k][0] = m_nodes[0].lo[k], root.hi[k][0] = m_nodes[0].hi[k];
        root.first[0] = m_nodes[0].first;
        root.count[0] = m_nodes[0].count;
        m_wide.push_back(root);
    } else {
        widen(0);
    }
    m_nodes = std::vector<Node>();
}

// Fills node `self` for the faces items[begin, end): a leaf, or a median split on the longest
// axis of their centres with two children appended to the node list. Boxes come afterwards.
void SurfaceLocator::build(std::uint32_t self, std::uint32_t begin, std::uint32_t end, std::vector<BuildItem>& items) {
    if (end - begin <= kLeafFaces) {
        m_nodes[self].first = begin;
        m_nodes[self].count = end - begin;
        return;
    }
    float lo[3], hi[3];
    for (int k = 0; k < 3; ++k) {
        lo[k] = std::numeric_limits<float>::max();
        hi[k] = std::numeric_limits<float>::lowest();
    }
    for (std::uint32_t i = begin; i < end; ++i)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], items[i].centre[k]);
            hi[k] = std::max(hi[k], items[i].centre[k]);
        }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (hi[k] - lo[k] > hi[axis] - lo[axis]) axis = k;
    const std::uint32_t mid = begin + (end - begin) / 2;
    std::nth_element(items.begin() + begin, items.begin() + mid, items.begin() + end,
                     [axis](const BuildItem& x, const BuildItem& y) { return x.centre[axis] < y.centre[axis]; });
    const auto left = static_cast<std::uint32_t>(m_nodes.size());
    m_nodes[self].first = left;
    m_nodes[self].count = 0;
    m_nodes.push_back({});
    m_nodes.push_back({});
    build(left, begin, mid, items);
    build(left + 1, mid, end, items);
}

std::uint32_t SurfaceLocator::widen(std::uint32_t node) {
    const auto self = static_cast<std::uint32_t>(m_wide.size());
    m_wide.push_back({});
    std::uint32_t slots[4];
    int n = 0;
    for (std::uint32_t c = m_nodes[node].first; c < m_nodes[node].first + 2; ++c) {
        if (m_nodes[c].count > 0) {
            slots[n++] = c;
        } else {
            slots[n++] = m_nodes[c].first;
            slots[n++] = m_nodes[c].first + 1;
        }
    }
    for (int j = 0; j < 4; ++j) {
        Wide& w = m_wide[self];
        if (j >= n) {
            for (int k = 0; k < 3; ++k) w.lo[k][j] = w.hi[k][j] = 0.0f;
            w.first[j] = 0;
            w.count[j] = kEmpty;
            continue;
        }
        const Node& b = m_nodes[slots[j]];
        for (int k = 0; k < 3; ++k) w.lo[k][j] = b.lo[k], w.hi[k][j] = b.hi[k];
        w.count[j] = b.count;
        w.first[j] = b.first;
        if (b.count == 0) {
            const std::uint32_t child = widen(slots[j]); // may move m_wide
            m_wide[self].first[j] = child;
        }
    }
    return self;
}

bool SurfaceLocator::testPrim(std::uint32_t prim, const double p[3], const Probe& probe, double& best, bool found,
                              SurfaceHit& hit) const {
    const Prim& f = m_prims[prim];
    const float* q = m_coords.data() + f.offset;
    // A face or fan triangle whose box lies beyond the bound holds no closer point: a few
    // single-precision compares (with the node boxes' slack) instead of the exact test, which
    // passes over most faces of a leaf and most fan triangles of a face once the bound is close.
    auto beyond = [&](std::initializer_list<const float*> corners) {
        float d = 0.0f;
        for (int k = 0; k < 3; ++k) {
            float lo = (*corners.begin())[k], hi = lo;
            for (const float* c : corners) lo = std::min(lo, c[k]), hi = std::max(hi, c[k]);
            const float gap = std::max(0.0f, lo - probe.point[k]) + std::max(0.0f, probe.point[k] - hi);
            const float v = std::max(0.0f, gap - probe.slack);
            d += v * v;
        }
        return double(d) > best;
    };
    auto test = [&](const float* a, const float* b, const float* c, int sub) {
        if (beyond({a, b, c})) return;
        const double ad[3] = {a[0], a[1], a[2]}, bd[3] = {b[0], b[1], b[2]}, cd[3] = {c[0], c[1], c[2]};
        double at[3], bary[3];
        const double d2 = closestPointOnTriangle(p, ad, bd, cd, at, bary);
        if (d2 < best || (!found && d2 <= best)) {
            best = d2;
            found = true;
            hit.block = f.block;
            hit.face = f.face;
            hit.sub = sub;
            hit.primitive = prim;
            std::copy(bary, bary + 3, hit.bary);
            std::copy(at, at + 3, hit.point);
        }
    };
    if (f.corners == 3) {
        test(q, q + 3, q + 6, -1);
        return found;
    }
    const float* corners = q + 3;
    // The fan lies within its corners' box: the centroid is inside their hull.
    if (f.corners == 4 && beyond({corners, corners + 3, corners + 6, corners + 9})) return found;
    for (int j = 0; j < f.corners; ++j) test(q, corners + 3 * j, corners + 3 * ((j + 1) % f.corners), j);
    return found;
}

bool SurfaceLocator::closest(const TripletD& point, SurfaceHit& hit, double maxDistance, const SurfaceHit* hint) const {
    if (m_wide.empty()) return false;
    const double p[3] = {point.x, point.y, point.z};
    double best = maxDistance * maxDistance;
    if (!(best >= 0.0)) return false;
    bool found = false;
    // Box distances in single precision, each axis' gap shortened by more than the rounding
    // of the point and of the subtraction can make it (a few units in the last place of the
    // largest coordinate), so that no box holding a closer face is passed over; the faces
    // themselves are tested in double precision.
    Probe probe;
    for (int k = 0; k < 3; ++k) probe.point[k] = float(p[k]);
    const float* pf = probe.point;
    const float magnitude = std::max({m_extent, std::fabs(pf[0]), std::fabs(pf[1]), std::fabs(pf[2])});
    probe.slack = magnitude * (8.0f * std::numeric_limits<float>::epsilon());
    const float slack = probe.slack;
    // The hint may be the output itself: read it before anything is written.
    const std::uint32_t hinted = hint != nullptr ? hint->primitive : std::numeric_limits<std::uint32_t>::max();
    if (hinted < m_prims.size()) found = testPrim(hinted, p, probe, best, found, hit);
    struct Entry {
        std::uint32_t first, count;
        double d2;
    };
    Entry stack[128];
    int top = 0;
    stack[top++] = {0u, 0u, 0.0};
    while (top > 0) {
        const Entry e = stack[--top];
        if (e.d2 > best) continue;
        if (e.count > 0) {
            for (std::uint32_t i = e.first; i < e.first + e.count; ++i)
                if (i != hinted) found = testPrim(i, p, probe, best, found, hit);
            continue;
        }
        const Wide& w = m_wide[e.first];
        float d[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 4; ++j) {
                const float gap = std::max(0.0f, w.lo[k][j] - pf[k]) + std::max(0.0f, pf[k] - w.hi[k][j]);
                const float v = std::max(0.0f, gap - slack);
                d[j] += v * v;
            }
        // The children within the bound, nearest pushed last so that it is searched first.
        Entry open[4];
        int n = 0;
        for (int j = 0; j < 4; ++j) {
            if (w.count[j] == kEmpty || double(d[j]) > best) continue;
            Entry c{w.first[j], w.count[j], double(d[j])};
            int at = n++;
            for (; at > 0 && open[at - 1].d2 < c.d2; --at) open[at] = open[at - 1];
            open[at] = c;
        }
        if (top + n > 128) break; // deeper than any tree of fewer than 2^100 faces
        for (int j = 0; j < n; ++j) stack[top++] = open[j];
    }
    if (found) hit.distance = std::sqrt(best);
    return found;
}

void SurfaceLocator::weights(const SurfaceHit& hit, std::vector<NodeWeight>& out) const {
    const ElementBlockView& b = m_view.blocks[hit.block];
    const int* ids = b.element(hit.face);
    const int n = b.nodesPerElement;
    if (hit.sub < 0) {
        for (int j = 0; j < 3; ++j) out.push_back({ids[j], static_cast<float>(hit.bary[j])});
        return;
    }
    const double share = hit.bary[0] / n;
    for (int j = 0; j < n; ++j) {
        double w = share;
        if (j == hit.sub) w += hit.bary[1];
        if (j == (hit.sub + 1) % n) w += hit.bary[2];
        out.push_back({ids[j], static_cast<float>(w)});
    }
}

double SurfaceLocator::faceSize(const SurfaceHit& hit) const {
    const ElementBlockView& b = m_view.blocks[hit.block];
    const int* ids = b.element(hit.face);
    const int n = b.nodesPerElement;
    double size = 0.0;
    for (int j = 0; j < n; ++j) {
        const TripletD a(m_view.vertices[static_cast<std::size_t>(ids[j])]);
        const TripletD c(m_view.vertices[static_cast<std::size_t>(ids[(j + 1) % n])]);
        size = std::max(size, (a - c).length());
    }
    return size;
}

} // namespace zel
