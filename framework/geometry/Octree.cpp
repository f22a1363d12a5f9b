#include "framework/geometry/Octree.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/CellShape.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace zel {

namespace {
constexpr std::size_t kLeafFaces = 8;
constexpr int kMaxDepth = 12;
} // namespace

void Octree::Construct(const Geometry& geometry, const ShapeSet& set) { Construct(geometry.getVertices().span(), set); }

void Octree::Construct(std::span<const TripletF> vertices, const ShapeSet& set) {
    m_points.clear();
    m_tolerance.clear();
    m_boxes.clear();
    m_nodes.clear();
    m_items.clear();
    m_result.clear();
    m_next = 0;
    m_faceCount = 0;
    if (!set.isFaceSet())
        throw internal::badParam("Octree", "Construct", _("Set '%s' is not a face set.", set.getName()), ErrError);
    m_nodesPerFace = set.getNodesPerElement();
    m_faceCount = std::size_t(set.size());
    m_points.reserve(m_faceCount * std::size_t(m_nodesPerFace));
    m_boxes.resize(m_faceCount * 6);
    m_tolerance.resize(m_faceCount);
    float rootLo[3] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                       std::numeric_limits<float>::max()};
    float rootHi[3] = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
                       std::numeric_limits<float>::lowest()};
    for (std::size_t f = 0; f < m_faceCount; ++f) {
        const auto ids = set.getElement(static_cast<int>(f));
        float lo[3] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                       std::numeric_limits<float>::max()};
        float hi[3] = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
                       std::numeric_limits<float>::lowest()};
        double mag = 0.0;
        for (int id : ids) {
            if (id < 0 || std::size_t(id) >= vertices.size())
                throw data::invalid(
                    "Octree", "Construct",
                    _("Face %d of set '%s' refers to vertex %d of %d.", f, set.getName(), id, vertices.size()),
                    ErrError);
            const TripletF& p = vertices[std::size_t(id)];
            m_points.push_back(p);
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], p[k]);
                hi[k] = std::max(hi[k], p[k]);
                mag = std::max(mag, double(std::fabs(p[k])));
            }
        }
        const double size = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
        const float tol = static_cast<float>(1e-5 * size + 4.0 * FLT_EPSILON * mag);
        m_tolerance[f] = tol;
        for (int k = 0; k < 3; ++k) {
            m_boxes[6 * f + std::size_t(k)] = lo[k] - 2.0f * tol;
            m_boxes[6 * f + 3 + std::size_t(k)] = hi[k] + 2.0f * tol;
            rootLo[k] = std::min(rootLo[k], m_boxes[6 * f + std::size_t(k)]);
            rootHi[k] = std::max(rootHi[k], m_boxes[6 * f + 3 + std::size_t(k)]);
        }
    }
    if (m_faceCount == 0) return;
    Node root{};
    for (int k = 0; k < 3; ++k) {
        root.lo[k] = rootLo[k];
        root.hi[k] = rootHi[k];
    }
    root.child = -1;
    m_nodes.push_back(root);
    std::vector<int> all(m_faceCount);
    for (std::size_t f = 0; f < m_faceCount; ++f) all[f] = static_cast<int>(f);
    split(0, all, 0);
}

void Octree::split(std::size_t node, std::vector<int>& faces, int depth) {
    auto leaf = [&] {
        m_nodes[node].child = -1;
        m_nodes[node].first = static_cast<std::uint32_t>(m_items.size());
        m_nodes[node].count = static_cast<std::uint32_t>(faces.size());
        m_items.insert(m_items.end(), faces.begin(), faces.end());
    };
    if (faces.size() <= kLeafFaces || depth >= kMaxDepth) return leaf();
    float lo[3], hi[3], mid[3];
    for (int k = 0; k < 3; ++k) {
        lo[k] = m_nodes[node].lo[k];
        hi[k] = m_nodes[node].hi[k];
        mid[k] = 0.5f * (lo[k] + hi[k]);
    }
    std::vector<int> sub[8];
    for (int f : faces) {
        const float* b = &m_boxes[6 * std::size_t(f)];
        for (int o = 0; o < 8; ++o) {
            bool overlap = true;
            for (int k = 0; k < 3 && overlap; ++k) {
                const bool upper = (o >> k) & 1;
                const float clo = upper ? mid[k] : lo[k], chi = upper ? hi[k] : mid[k];
                overlap = b[k] <= chi && b[3 + k] >= clo;
            }
            if (overlap) sub[o].push_back(f);
        }
    }
    // Splitting that separates nothing (every face in every non-empty octant) stops here.
    bool separates = false;
    for (const auto& s : sub)
        if (!s.empty() && s.size() < faces.size()) separates = true;
    if (!separates) return leaf();
    const std::size_t first = m_nodes.size();
    m_nodes[node].child = static_cast<std::int32_t>(first);
    m_nodes[node].count = 0;
    for (int o = 0; o < 8; ++o) {
        Node c{};
        for (int k = 0; k < 3; ++k) {
            const bool upper = (o >> k) & 1;
            c.lo[k] = upper ? mid[k] : lo[k];
            c.hi[k] = upper ? hi[k] : mid[k];
        }
        c.child = -1;
        m_nodes.push_back(c);
    }
    faces.clear();
    faces.shrink_to_fit();
    for (int o = 0; o < 8; ++o) split(first + std::size_t(o), sub[o], depth + 1);
}

bool Octree::touches(int face, const double p[3]) const {
    const int n = m_nodesPerFace;
    const TripletF* q = &m_points[std::size_t(face) * std::size_t(n)];
    const double tol = m_tolerance[std::size_t(face)];
    double out[3], bary[3];
    auto corner = [](const TripletF& t, double* d) {
        d[0] = t.x;
        d[1] = t.y;
        d[2] = t.z;
    };
    if (n == 3) {
        double a[3], b[3], c[3];
        corner(q[0], a);
        corner(q[1], b);
        corner(q[2], c);
        return closestPointOnTriangle(p, a, b, c, out, bary) <= tol * tol;
    }
    double c[3] = {0, 0, 0};
    for (int j = 0; j < n; ++j) {
        c[0] += double(q[j].x) / n;
        c[1] += double(q[j].y) / n;
        c[2] += double(q[j].z) / n;
    }
    for (int j = 0; j < n; ++j) {
        double a[3], b[3];
        corner(q[j], a);
        corner(q[(j + 1) % n], b);
        if (closestPointOnTriangle(p, c, a, b, out, bary) <= tol * tol) return true;
    }
    return false;
}

int Octree::IntersectWithPoint(const TripletF& point) {
    m_result.clear();
    m_next = 0;
    if (m_nodes.empty() || point.isUndefined()) return 0;
    const double p[3] = {point.x, point.y, point.z};
    std::size_t node = 0;
    for (int k = 0; k < 3; ++k)
        if (point[k] < m_nodes[0].lo[k] || point[k] > m_nodes[0].hi[k]) return 0;
    while (m_nodes[node].child >= 0) {
        int o = 0;
        for (int k = 0; k < 3; ++k)
            if (point[k] >= 0.5f * (m_nodes[node].lo[k] + m_nodes[node].hi[k])) o |= 1 << k;
        node = std::size_t(m_nodes[node].child) + std::size_t(o);
    }
    const Node& leaf = m_nodes[node];
    for (std::uint32_t i = leaf.first; i < leaf.first + leaf.count; ++i) {
        const int f = m_items[i];
        const float* b = &m_boxes[6 * std::size_t(f)];
        if (point.x < b[0] || point.x > b[3] || point.y < b[1] || point.y > b[4] || point.z < b[2] || point.z > b[5])
            continue;
        if (touches(f, p)) m_result.push_back(f);
    }
    std::sort(m_result.begin(), m_result.end());
    return static_cast<int>(m_result.size());
}

int Octree::GetNextIntersection() { return m_next < m_result.size() ? m_result[m_next++] : -1; }

} // namespace zel
