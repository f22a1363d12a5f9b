#include "framework/geometry/SurfaceLocator.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/CellShape.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zel {

namespace {

constexpr std::uint32_t kLeafSize = 4;

double boxDistance2(const float lo[3], const float hi[3], const double p[3]) {
    double d2 = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double v = p[k] < lo[k] ? lo[k] - p[k] : (p[k] > hi[k] ? p[k] - hi[k] : 0.0);
        d2 += v * v;
    }
    return d2;
}

} // namespace

SurfaceLocator::SurfaceLocator(const MeshView& faces) {
    m_view.vertices = faces.vertices;
    for (const auto& b : faces.blocks)
        if (cell::isFace(b.type) && b.nodesPerElement >= 3) m_view.blocks.push_back(b);
    const auto v = m_view.vertices;
    for (std::size_t bi = 0; bi < m_view.blocks.size(); ++bi) {
        const ElementBlockView& b = m_view.blocks[bi];
        const int n = b.nodesPerElement;
        for (std::int64_t f = 0; f < b.size(); ++f) {
            const int* ids = b.element(f);
            for (int j = 0; j < n; ++j)
                if (ids[j] < 0 || static_cast<std::size_t>(ids[j]) >= v.size())
                    throw data::invalid("SurfaceLocator", "SurfaceLocator",
                                        _("Face vertex %d is not a vertex of the surface (%d vertices).", ids[j], v.size()));
            auto put = [](float* dst, const TripletF& p) {
                dst[0] = p.x;
                dst[1] = p.y;
                dst[2] = p.z;
            };
            if (n == 3) {
                Tri t{};
                put(t.a, v[static_cast<std::size_t>(ids[0])]);
                put(t.b, v[static_cast<std::size_t>(ids[1])]);
                put(t.c, v[static_cast<std::size_t>(ids[2])]);
                t.block = static_cast<std::uint32_t>(bi);
                t.sub = -1;
                t.face = f;
                m_tris.push_back(t);
                continue;
            }
            TripletD c{0, 0, 0};
            for (int j = 0; j < n; ++j) c += TripletD(v[static_cast<std::size_t>(ids[j])]);
            c /= double(n);
            for (int j = 0; j < n; ++j) {
                Tri t{};
                t.a[0] = float(c.x);
                t.a[1] = float(c.y);
                t.a[2] = float(c.z);
                put(t.b, v[static_cast<std::size_t>(ids[j])]);
                put(t.c, v[static_cast<std::size_t>(ids[(j + 1) % n])]);
                t.block = static_cast<std::uint32_t>(bi);
                t.sub = j;
                t.face = f;
                m_tris.push_back(t);
            }
        }
    }
    if (m_tris.empty()) return;
    if (m_tris.size() >= std::numeric_limits<std::uint32_t>::max() / 2)
        throw data::invalid("SurfaceLocator", "SurfaceLocator", "Too many faces to index.");
    std::vector<float> centres(m_tris.size() * 3);
    for (std::size_t i = 0; i < m_tris.size(); ++i)
        for (int k = 0; k < 3; ++k)
            centres[3 * i + std::size_t(k)] = (m_tris[i].a[k] + m_tris[i].b[k] + m_tris[i].c[k]) / 3.0f;
    std::vector<std::uint32_t> order(m_tris.size());
    std::iota(order.begin(), order.end(), 0u);
    m_nodes.reserve(2 * m_tris.size() / kLeafSize + 2);
    m_nodes.push_back({});
    build(0, 0, static_cast<std::uint32_t>(m_tris.size()), order, centres);
    std::vector<Tri> sorted(m_tris.size());
    for (std::size_t i = 0; i < order.size(); ++i) sorted[i] = m_tris[order[i]];
    m_tris.swap(sorted);
}

// Fills node `self` for the triangles order[begin, end): a leaf, or a median split on the
// longest axis of their centres with two children appended to the node list.
void SurfaceLocator::build(std::uint32_t self, std::uint32_t begin, std::uint32_t end, std::vector<std::uint32_t>& order,
                           const std::vector<float>& centres) {
    Node node{};
    float clo[3], chi[3];
    for (int k = 0; k < 3; ++k) {
        node.lo[k] = clo[k] = std::numeric_limits<float>::max();
        node.hi[k] = chi[k] = std::numeric_limits<float>::lowest();
    }
    for (std::uint32_t i = begin; i < end; ++i) {
        const Tri& t = m_tris[order[i]];
        for (int k = 0; k < 3; ++k) {
            node.lo[k] = std::min({node.lo[k], t.a[k], t.b[k], t.c[k]});
            node.hi[k] = std::max({node.hi[k], t.a[k], t.b[k], t.c[k]});
            const float c = centres[3 * std::size_t(order[i]) + std::size_t(k)];
            clo[k] = std::min(clo[k], c);
            chi[k] = std::max(chi[k], c);
        }
    }
    if (end - begin <= kLeafSize) {
        node.first = begin;
        node.count = end - begin;
        m_nodes[self] = node;
        return;
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (chi[k] - clo[k] > chi[axis] - clo[axis]) axis = k;
    const std::uint32_t mid = begin + (end - begin) / 2;
    std::nth_element(order.begin() + begin, order.begin() + mid, order.begin() + end,
                     [&](std::uint32_t x, std::uint32_t y) {
                         return centres[3 * std::size_t(x) + std::size_t(axis)] <
                                centres[3 * std::size_t(y) + std::size_t(axis)];
                     });
    const std::uint32_t left = static_cast<std::uint32_t>(m_nodes.size());
    node.first = left;
    node.count = 0;
    m_nodes[self] = node;
    m_nodes.push_back({});
    m_nodes.push_back({});
    build(left, begin, mid, order, centres);
    build(left + 1, mid, end, order, centres);
}

bool SurfaceLocator::closest(const TripletD& point, SurfaceHit& hit, double maxDistance) const {
    if (m_nodes.empty()) return false;
    const double p[3] = {point.x, point.y, point.z};
    double best = maxDistance * maxDistance;
    if (!(best >= 0.0)) return false;
    bool found = false;
    std::uint32_t stack[128];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = m_nodes[stack[--top]];
        if (boxDistance2(node.lo, node.hi, p) > best) continue;
        if (node.count > 0) {
            for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
                const Tri& t = m_tris[i];
                const double a[3] = {t.a[0], t.a[1], t.a[2]}, b[3] = {t.b[0], t.b[1], t.b[2]},
                             c[3] = {t.c[0], t.c[1], t.c[2]};
                double q[3], bary[3];
                const double d2 = closestPointOnTriangle(p, a, b, c, q, bary);
                if (d2 < best || (!found && d2 <= best)) {
                    best = d2;
                    found = true;
                    hit.block = t.block;
                    hit.face = t.face;
                    hit.sub = t.sub;
                    std::copy(bary, bary + 3, hit.bary);
                    std::copy(q, q + 3, hit.point);
                }
            }
            continue;
        }
        // Nearer child last, so that it is searched first.
        const Node& l = m_nodes[node.first];
        const Node& r = m_nodes[node.first + 1];
        const double dl = boxDistance2(l.lo, l.hi, p), dr = boxDistance2(r.lo, r.hi, p);
        if (top + 2 > 128) return found;   // deeper than any tree of fewer than 2^60 faces
        if (dl <= dr) {
            stack[top++] = node.first + 1;
            stack[top++] = node.first;
        } else {
            stack[top++] = node.first;
            stack[top++] = node.first + 1;
        }
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
