#pragma once
// Points sorted along the axis of their largest extent, to find the points near a given one
// without comparing all pairs: two points closer than a distance are closer than it along
// every axis, so only the points whose coordinate on the sweep axis lies within the distance
// are candidates. The work is not quadratic unless many points crowd into one
// distance-wide slab across the widest axis.
#include "framework/geometry/Containers.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <span>
#include <vector>

namespace zel {

class AxisSweep {
public:
    // `points` is borrowed: it must outlive the sweep and not change. Undefined points are
    // never candidates.
    explicit AxisSweep(std::span<const TripletF> points) : m_points(points), m_order(points.size()) {
        float widest = -1.0f;
        TripletF lo = TripletF::undefined(), hi = lo;
        for (const TripletF& p : points) {
            if (p.isUndefined()) continue;
            if (lo.isUndefined()) {
                lo = hi = p;
                continue;
            }
            for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
        }
        if (!lo.isUndefined())
            for (int a = 0; a < 3; ++a)
                if (hi[a] - lo[a] > widest) widest = hi[a] - lo[a], m_axis = a;
        std::iota(m_order.begin(), m_order.end(), 0u);
        std::erase_if(m_order, [&](std::uint32_t i) { return points[i].isUndefined(); });
        std::stable_sort(m_order.begin(), m_order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return points[a][m_axis] < points[b][m_axis]; });
    }

    int axis() const { return m_axis; }

    // Calls f(index) for every point whose coordinate on the sweep axis lies within
    // `distance` of p's (inclusive), in ascending order of that coordinate. The caller tests
    // the true distance.
    template <typename F> void forEachCandidate(const TripletF& p, double distance, F&& f) const {
        const double key = p[m_axis];
        auto first = std::lower_bound(m_order.begin(), m_order.end(), key - distance,
                                      [&](std::uint32_t i, double k) { return double(m_points[i][m_axis]) < k; });
        for (auto it = first; it != m_order.end() && double(m_points[*it][m_axis]) <= key + distance; ++it) f(*it);
    }

private:
    std::span<const TripletF> m_points;
    std::vector<std::uint32_t> m_order;
    int m_axis = 0;
};

} // namespace zel
