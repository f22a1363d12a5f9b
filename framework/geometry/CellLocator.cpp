#include "framework/geometry/CellLocator.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zel {

namespace {

struct Box {
    float lo[3];
    float hi[3];
};

Box cellBox(const ElementBlockView& b, std::int64_t i, std::span<const TripletF> v) {
    const int* n = b.element(i);
    Box box{{v[n[0]].x, v[n[0]].y, v[n[0]].z}, {v[n[0]].x, v[n[0]].y, v[n[0]].z}};
    for (int j = 1; j < b.nodesPerElement; ++j) {
        const TripletF& q = v[static_cast<std::size_t>(n[j])];
        box.lo[0] = std::min(box.lo[0], q.x);
        box.lo[1] = std::min(box.lo[1], q.y);
        box.lo[2] = std::min(box.lo[2], q.z);
        box.hi[0] = std::max(box.hi[0], q.x);
        box.hi[1] = std::max(box.hi[1], q.y);
        box.hi[2] = std::max(box.hi[2], q.z);
    }
    return box;
}

// Slack of the quantised box test, in quantisation units: covers the rounding of the query
// point's own quantisation.
constexpr double kQuantSlack = 0.02;

} // namespace

CellLocator::CellLocator(const MeshView& mesh) {
    m_mesh.vertices = mesh.vertices;
    for (const auto& b : mesh.blocks)
        if (cell::isVolume(b.type) && b.nodesPerElement == cell::nodeCount(b.type)) m_mesh.blocks.push_back(b);
    m_blocks = BlockIndex(m_mesh);
    const std::int64_t n = m_blocks.total();
    if (n > std::numeric_limits<std::int32_t>::max())
        throw data::invalid("CellLocator", "CellLocator", _("Too many cells to index: %d.", n));
    if (n == 0) {
        m_offsets.assign(1, 0);
        return;
    }
    const auto verts = m_mesh.vertices;
    for (const auto& b : m_mesh.blocks)
        for (int node : b.connectivity)
            if (node < 0 || static_cast<std::size_t>(node) >= verts.size())
                throw data::invalid("CellLocator", "CellLocator",
                                    _("Cell node %d is not a vertex of the mesh (%d vertices).", node, verts.size()));

    // Boxes of all cells (a temporary of the build) and of the mesh.
    std::vector<Box> boxes(static_cast<std::size_t>(n));
    for (int k = 0; k < 3; ++k) {
        m_lo[k] = std::numeric_limits<double>::max();
        m_hi[k] = std::numeric_limits<double>::lowest();
    }
    {
        std::size_t e = 0;
        for (const auto& b : m_mesh.blocks)
            for (std::int64_t i = 0; i < b.size(); ++i, ++e) {
                boxes[e] = cellBox(b, i, verts);
                for (int k = 0; k < 3; ++k) {
                    m_lo[k] = std::min(m_lo[k], double(boxes[e].lo[k]));
                    m_hi[k] = std::max(m_hi[k], double(boxes[e].hi[k]));
                }
            }
    }
    double extent[3], diag = 0.0;
    for (int k = 0; k < 3; ++k) {
        extent[k] = m_hi[k] - m_lo[k];
        diag = std::max(diag, extent[k]);
    }
    const double minBin = std::max(diag, 1e-30) * 1e-9;

    // Level-0 bin size: per axis, the 90th percentile of the cell extents (sampled), so that
    // most cells sit on level 0; then no more bins than cells.
    double bin0[3];
    {
        const std::size_t stride = std::max<std::size_t>(1, boxes.size() / 65536);
        std::vector<float> ext;
        ext.reserve(boxes.size() / stride + 1);
        for (int k = 0; k < 3; ++k) {
            ext.clear();
            for (std::size_t e = 0; e < boxes.size(); e += stride) ext.push_back(boxes[e].hi[k] - boxes[e].lo[k]);
            const std::size_t at = ext.size() * 9 / 10;
            std::nth_element(ext.begin(), ext.begin() + static_cast<std::ptrdiff_t>(at), ext.end());
            // A little above the percentile, so that cells of equal size stay on level 0
            // despite rounding.
            bin0[k] = std::max(double(ext[at]) * 1.001, minBin);
            bin0[k] = std::max(bin0[k], extent[k] * 1e-6);
        }
        double bins = 1.0;
        for (int k = 0; k < 3; ++k) bins *= std::max(1.0, std::ceil(extent[k] / bin0[k]));
        if (bins > double(n)) {
            const double f = std::cbrt(bins / double(n));
            for (int k = 0; k < 3; ++k) bin0[k] *= f;
            // ceil() may still leave a few more bins than cells; grow until it does not.
            for (;;) {
                bins = 1.0;
                for (int k = 0; k < 3; ++k) bins *= std::max(1.0, std::ceil(extent[k] / bin0[k]));
                if (bins <= double(n) * 1.05 + 8) break;
                for (int k = 0; k < 3; ++k) bin0[k] *= 1.02;
            }
        }
    }

    // Levels until one bin covers the mesh.
    std::int64_t totalBins = 0;
    for (int level = 0;; ++level) {
        Level L{};
        const double f = std::ldexp(1.0, level);
        bool single = true;
        for (int k = 0; k < 3; ++k) {
            L.bin[k] = bin0[k] * f;
            L.dims[k] = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(extent[k] / L.bin[k])));
            // Centre the grid on the mesh.
            L.origin[k] = 0.5 * (m_lo[k] + m_hi[k]) - 0.5 * double(L.dims[k]) * L.bin[k];
            if (L.dims[k] > 1 || L.bin[k] < extent[k]) single = false;
        }
        L.firstBin = totalBins;
        totalBins += L.dims[0] * L.dims[1] * L.dims[2];
        m_levels.push_back(L);
        if (single || level > 60) break;
    }

    // Level and bin of every cell.
    std::vector<std::uint32_t> binOf(static_cast<std::size_t>(n));
    m_offsets.assign(static_cast<std::size_t>(totalBins) + 1, 0);
    for (std::size_t e = 0; e < boxes.size(); ++e) {
        const Box& b = boxes[e];
        std::size_t level = 0;
        while (level + 1 < m_levels.size()) {
            const Level& L = m_levels[level];
            if (b.hi[0] - b.lo[0] <= L.bin[0] && b.hi[1] - b.lo[1] <= L.bin[1] && b.hi[2] - b.lo[2] <= L.bin[2]) break;
            ++level;
        }
        Level& L = m_levels[level];
        std::int64_t idx[3];
        for (int k = 0; k < 3; ++k) {
            const double c = 0.5 * (double(b.lo[k]) + double(b.hi[k]));
            idx[k] = std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor((c - L.origin[k]) / L.bin[k])), 0,
                                              L.dims[k] - 1);
        }
        const double e3 = std::max({b.hi[0] - b.lo[0], b.hi[1] - b.lo[1], b.hi[2] - b.lo[2]});
        L.reach = std::max(L.reach, kNearestFraction * e3);
        ++L.cells;
        const std::int64_t bin = L.firstBin + (idx[2] * L.dims[1] + idx[1]) * L.dims[0] + idx[0];
        binOf[e] = static_cast<std::uint32_t>(bin);
        ++m_offsets[static_cast<std::size_t>(bin) + 1];
    }
    for (std::size_t i = 1; i < m_offsets.size(); ++i) m_offsets[i] += m_offsets[i - 1];

    // Counting sort into bin order, quantising each box relative to its grown bin.
    m_cells.resize(static_cast<std::size_t>(n));
    m_boxes.resize(static_cast<std::size_t>(n));
    std::vector<std::uint32_t> fill(m_offsets.begin(), m_offsets.end() - 1);
    std::size_t level = 0;
    for (std::size_t e = 0; e < boxes.size(); ++e) {
        const std::uint32_t bin = binOf[e];
        level = 0;
        while (level + 1 < m_levels.size() && m_levels[level + 1].firstBin <= std::int64_t(bin)) ++level;
        const Level& L = m_levels[level];
        std::int64_t rest = std::int64_t(bin) - L.firstBin;
        const std::int64_t idx[3] = {rest % L.dims[0], (rest / L.dims[0]) % L.dims[1], rest / (L.dims[0] * L.dims[1])};
        const std::uint32_t pos = fill[bin]++;
        m_cells[pos] = static_cast<std::int32_t>(e);
        auto& q = m_boxes[pos];
        for (int k = 0; k < 3; ++k) {
            const double base = L.origin[k] + (double(idx[k]) - 0.5) * L.bin[k];
            const double unit = 2.0 * L.bin[k] / 255.0;
            const double lo = std::floor((double(boxes[e].lo[k]) - base) / unit);
            const double hi = std::ceil((double(boxes[e].hi[k]) - base) / unit);
            q[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(std::clamp(lo, 0.0, 255.0));
            q[static_cast<std::size_t>(k) + 3] = static_cast<std::uint8_t>(std::clamp(hi, 0.0, 255.0));
        }
    }
}

CellLocator::View CellLocator::view() const {
    View v;
    v.m_mesh = &m_mesh;
    v.m_blocks = &m_blocks;
    v.m_levels = m_levels;
    v.m_offsets = m_offsets;
    v.m_cells = m_cells;
    v.m_boxes = m_boxes;
    for (int k = 0; k < 3; ++k) {
        v.m_lo[k] = m_lo[k];
        v.m_hi[k] = m_hi[k];
    }
    return v;
}

std::size_t CellLocator::memoryBytes() const {
    return m_offsets.capacity() * sizeof(std::uint32_t) + m_cells.capacity() * sizeof(std::int32_t) +
           m_boxes.capacity() * sizeof(m_boxes[0]) + m_levels.capacity() * sizeof(Level) + sizeof(*this);
}

void CellLocator::View::fillHit(std::int64_t element, const CellLocation& loc, CellHit& hit) const {
    hit.element = element;
    hit.block = m_blocks->blockOf(element);
    hit.local = element - m_blocks->start(hit.block);
    const ElementBlockView& b = m_mesh->blocks[hit.block];
    hit.nodes = b.element(hit.local);
    hit.nodeCount = b.nodesPerElement;
    hit.distance = loc.distance;
    hit.weights = loc.weights;
}

bool CellLocator::View::tryCell(std::int64_t element, const double p[3], CellHit& hit) const {
    const std::size_t block = m_blocks->blockOf(element);
    const ElementBlockView& b = m_mesh->blocks[block];
    CellNodes c;
    c.gather(b.type, b.element(element - m_blocks->start(block)), m_mesh->vertices);
    const CellLocation loc = CellShape::locate(c, p, CellShape::parametricTolerance(c));
    if (!loc.inside) return false;
    fillHit(element, loc, hit);
    return true;
}

bool CellLocator::View::find(const TripletF& point, SearchMode mode, CellHit& hit, std::int64_t hint) const {
    if (m_cells.empty() || point.isUndefined()) return false;
    const double p[3] = {point.x, point.y, point.z};
    if (hint >= 0 && hint < static_cast<std::int64_t>(m_cells.size()) && tryCell(hint, p, hit)) return true;
    if (findContaining(p, hit)) return true;
    return mode == SearchMode::Nearest && findNearest(p, hit);
}

bool CellLocator::View::findContaining(const double p[3], CellHit& hit) const {
    // Outside the mesh box (with the slack of the parametric test) nothing can hold p.
    for (int k = 0; k < 3; ++k) {
        const double slack = 1e-6 * (m_hi[k] - m_lo[k]) + 1e-6 * std::fabs(p[k]);
        if (p[k] < m_lo[k] - slack || p[k] > m_hi[k] + slack) return false;
    }
    for (const Level& L : m_levels) {
        if (L.cells == 0) continue;
        std::int64_t first[3], last[3];
        for (int k = 0; k < 3; ++k) {
            const double t = (p[k] - L.origin[k]) / L.bin[k];
            const double fl = std::floor(t);
            // Cell centres lie within half a bin of p (a little more for points on faces).
            const std::int64_t i = static_cast<std::int64_t>(fl);
            first[k] = std::max<std::int64_t>(t - fl < 0.51 ? i - 1 : i, 0);
            last[k] = std::min<std::int64_t>(t - fl >= 0.49 ? i + 1 : i, L.dims[k] - 1);
        }
        for (std::int64_t z = first[2]; z <= last[2]; ++z)
            for (std::int64_t y = first[1]; y <= last[1]; ++y)
                for (std::int64_t x = first[0]; x <= last[0]; ++x) {
                    const std::size_t bin = static_cast<std::size_t>(L.firstBin + (z * L.dims[1] + y) * L.dims[0] + x);
                    const std::uint32_t begin = m_offsets[bin], end = m_offsets[bin + 1];
                    if (begin == end) continue;
                    const std::int64_t idx[3] = {x, y, z};
                    float q[3];
                    for (int k = 0; k < 3; ++k) {
                        const double base = L.origin[k] + (double(idx[k]) - 0.5) * L.bin[k];
                        q[k] = static_cast<float>((p[k] - base) * 255.0 / (2.0 * L.bin[k]));
                    }
                    for (std::uint32_t j = begin; j < end; ++j) {
                        const auto& b = m_boxes[j];
                        if (q[0] < b[0] - kQuantSlack || q[0] > b[3] + kQuantSlack || q[1] < b[1] - kQuantSlack ||
                            q[1] > b[4] + kQuantSlack || q[2] < b[2] - kQuantSlack || q[2] > b[5] + kQuantSlack)
                            continue;
                        if (tryCell(m_cells[j], p, hit)) return true;
                    }
                }
    }
    return false;
}

bool CellLocator::View::findNearest(const double p[3], CellHit& hit) const {
    bool found = false;
    for (const Level& L : m_levels) {
        if (L.cells == 0) continue;
        std::int64_t first[3], last[3];
        bool empty = false;
        for (int k = 0; k < 3; ++k) {
            // Centres of cells within their tolerance of p lie within half a bin plus the
            // level's reach.
            const double r = 0.5 * L.bin[k] + L.reach;
            first[k] = std::max<std::int64_t>(
                static_cast<std::int64_t>(std::floor((p[k] - r - L.origin[k]) / L.bin[k])), 0);
            last[k] = std::min<std::int64_t>(
                static_cast<std::int64_t>(std::floor((p[k] + r - L.origin[k]) / L.bin[k])), L.dims[k] - 1);
            if (first[k] > last[k]) empty = true;
        }
        if (empty) continue;
        for (std::int64_t z = first[2]; z <= last[2]; ++z)
            for (std::int64_t y = first[1]; y <= last[1]; ++y)
                for (std::int64_t x = first[0]; x <= last[0]; ++x) {
                    const std::size_t bin = static_cast<std::size_t>(L.firstBin + (z * L.dims[1] + y) * L.dims[0] + x);
                    const std::uint32_t begin = m_offsets[bin], end = m_offsets[bin + 1];
                    if (begin == end) continue;
                    const std::int64_t idx[3] = {x, y, z};
                    double base[3], unit[3];
                    for (int k = 0; k < 3; ++k) {
                        base[k] = L.origin[k] + (double(idx[k]) - 0.5) * L.bin[k];
                        unit[k] = 2.0 * L.bin[k] / 255.0;
                    }
                    for (std::uint32_t j = begin; j < end; ++j) {
                        const auto& b = m_boxes[j];
                        double lo[3], hi[3], size = 0.0;
                        for (int k = 0; k < 3; ++k) {
                            lo[k] = base[k] + b[static_cast<std::size_t>(k)] * unit[k];
                            hi[k] = base[k] + b[static_cast<std::size_t>(k) + 3] * unit[k];
                            size = std::max(size, hi[k] - lo[k]);
                        }
                        const double tol = kNearestFraction * size + 2.0 * std::max({unit[0], unit[1], unit[2]});
                        if (p[0] < lo[0] - tol || p[0] > hi[0] + tol || p[1] < lo[1] - tol || p[1] > hi[1] + tol ||
                            p[2] < lo[2] - tol || p[2] > hi[2] + tol)
                            continue;
                        const std::int64_t element = m_cells[j];
                        const std::size_t block = m_blocks->blockOf(element);
                        const ElementBlockView& eb = m_mesh->blocks[block];
                        CellNodes c;
                        c.gather(eb.type, eb.element(element - m_blocks->start(block)), m_mesh->vertices);
                        const CellLocation loc = CellShape::closest(c, p);
                        if (loc.distance > kNearestFraction * c.size()) continue;
                        if (!found || loc.distance < hit.distance) {
                            fillHit(element, loc, hit);
                            found = true;
                        }
                    }
                }
    }
    return found;
}

void CellLocator::View::candidates(const TripletF& point, std::vector<std::int64_t>& out) const {
    const double p[3] = {point.x, point.y, point.z};
    for (const Level& L : m_levels) {
        if (L.cells == 0) continue;
        std::int64_t first[3], last[3];
        bool empty = false;
        for (int k = 0; k < 3; ++k) {
            const double r = 0.5 * L.bin[k];
            first[k] = std::max<std::int64_t>(
                static_cast<std::int64_t>(std::floor((p[k] - r - L.origin[k]) / L.bin[k])), 0);
            last[k] = std::min<std::int64_t>(
                static_cast<std::int64_t>(std::floor((p[k] + r - L.origin[k]) / L.bin[k])), L.dims[k] - 1);
            if (first[k] > last[k]) empty = true;
        }
        if (empty) continue;
        for (std::int64_t z = first[2]; z <= last[2]; ++z)
            for (std::int64_t y = first[1]; y <= last[1]; ++y)
                for (std::int64_t x = first[0]; x <= last[0]; ++x) {
                    const std::size_t bin = static_cast<std::size_t>(L.firstBin + (z * L.dims[1] + y) * L.dims[0] + x);
                    const std::int64_t idx[3] = {x, y, z};
                    float q[3];
                    for (int k = 0; k < 3; ++k) {
                        const double base = L.origin[k] + (double(idx[k]) - 0.5) * L.bin[k];
                        q[k] = static_cast<float>((p[k] - base) * 255.0 / (2.0 * L.bin[k]));
                    }
                    for (std::uint32_t j = m_offsets[bin]; j < m_offsets[bin + 1]; ++j) {
                        const auto& b = m_boxes[j];
                        if (q[0] < b[0] - kQuantSlack || q[0] > b[3] + kQuantSlack || q[1] < b[1] - kQuantSlack ||
                            q[1] > b[4] + kQuantSlack || q[2] < b[2] - kQuantSlack || q[2] > b[5] + kQuantSlack)
                            continue;
                        out.push_back(m_cells[j]);
                    }
                }
    }
}

void CellLocator::View::lineCandidates(const double o[3], const double d[3], std::vector<std::int64_t>& out) const {
    std::vector<std::int64_t> bins;
    for (const Level& L : m_levels) {
        if (L.cells == 0) continue;
        // Walk the bins along the line over the grid grown by one bin on every side; a cell
        // whose box the line crosses sits in a bin next to one of those walked.
        double t0 = -std::numeric_limits<double>::infinity(), t1 = std::numeric_limits<double>::infinity();
        double lo[3], hi[3];
        for (int k = 0; k < 3; ++k) {
            lo[k] = L.origin[k] - L.bin[k];
            hi[k] = L.origin[k] + double(L.dims[k] + 1) * L.bin[k];
            if (d[k] == 0.0) {
                if (o[k] < lo[k] || o[k] > hi[k]) t0 = std::numeric_limits<double>::infinity();
                continue;
            }
            double a = (lo[k] - o[k]) / d[k], b = (hi[k] - o[k]) / d[k];
            if (a > b) std::swap(a, b);
            t0 = std::max(t0, a);
            t1 = std::min(t1, b);
        }
        if (!(t0 <= t1)) continue;
        const double tm = 0.5 * (t0 + t1);
        std::int64_t idx[3], step[3];
        double tNext[3], tDelta[3];
        for (int k = 0; k < 3; ++k) {
            const double pk = o[k] + tm * d[k];
            idx[k] = static_cast<std::int64_t>(std::floor((pk - L.origin[k]) / L.bin[k]));
            idx[k] = std::clamp<std::int64_t>(idx[k], -1, L.dims[k]);
        }
        // Walk both ways from the middle of the clipped line.
        for (int dir = 0; dir < 2; ++dir) {
            std::int64_t cur[3] = {idx[0], idx[1], idx[2]};
            const double sign = dir == 0 ? 1.0 : -1.0;
            for (int k = 0; k < 3; ++k) {
                const double dk = sign * d[k];
                if (dk > 0) {
                    step[k] = 1;
                    tDelta[k] = L.bin[k] / dk;
                    tNext[k] = (L.origin[k] + double(cur[k] + 1) * L.bin[k] - (o[k] + tm * d[k])) / dk;
                } else if (dk < 0) {
                    step[k] = -1;
                    tDelta[k] = -L.bin[k] / dk;
                    tNext[k] = (L.origin[k] + double(cur[k]) * L.bin[k] - (o[k] + tm * d[k])) / dk;
                } else {
                    step[k] = 0;
                    tDelta[k] = tNext[k] = std::numeric_limits<double>::infinity();
                }
            }
            const double span = dir == 0 ? t1 - tm : tm - t0;
            for (;;) {
                for (std::int64_t z = std::max<std::int64_t>(cur[2] - 1, 0); z <= std::min(cur[2] + 1, L.dims[2] - 1); ++z)
                    for (std::int64_t y = std::max<std::int64_t>(cur[1] - 1, 0); y <= std::min(cur[1] + 1, L.dims[1] - 1); ++y)
                        for (std::int64_t x = std::max<std::int64_t>(cur[0] - 1, 0); x <= std::min(cur[0] + 1, L.dims[0] - 1);
                             ++x)
                            bins.push_back(L.firstBin + (z * L.dims[1] + y) * L.dims[0] + x);
                int k = 0;
                if (tNext[1] < tNext[k]) k = 1;
                if (tNext[2] < tNext[k]) k = 2;
                if (!(tNext[k] <= span)) break;
                cur[k] += step[k];
                tNext[k] += tDelta[k];
                if (cur[k] < -1 || cur[k] > L.dims[k]) break;
            }
        }
    }
    std::sort(bins.begin(), bins.end());
    bins.erase(std::unique(bins.begin(), bins.end()), bins.end());
    for (std::int64_t bin : bins) {
        // The level and bin coordinates of the bin, for its quantised boxes.
        std::size_t li = 0;
        while (li + 1 < m_levels.size() && m_levels[li + 1].firstBin <= bin) ++li;
        const Level& L = m_levels[li];
        const std::int64_t rest = bin - L.firstBin;
        const std::int64_t idx[3] = {rest % L.dims[0], (rest / L.dims[0]) % L.dims[1], rest / (L.dims[0] * L.dims[1])};
        double base[3], unit[3];
        for (int k = 0; k < 3; ++k) {
            base[k] = L.origin[k] + (double(idx[k]) - 0.5) * L.bin[k];
            unit[k] = 2.0 * L.bin[k] / 255.0;
        }
        for (std::uint32_t j = m_offsets[static_cast<std::size_t>(bin)]; j < m_offsets[static_cast<std::size_t>(bin) + 1];
             ++j) {
            const auto& b = m_boxes[j];
            double t0 = -std::numeric_limits<double>::infinity(), t1 = std::numeric_limits<double>::infinity();
            for (int k = 0; k < 3 && t0 <= t1; ++k) {
                const double lo = base[k] + (b[static_cast<std::size_t>(k)] - kQuantSlack) * unit[k];
                const double hi = base[k] + (b[static_cast<std::size_t>(k) + 3] + kQuantSlack) * unit[k];
                if (d[k] == 0.0) {
                    if (o[k] < lo || o[k] > hi) t0 = std::numeric_limits<double>::infinity();
                    continue;
                }
                double a = (lo - o[k]) / d[k], c = (hi - o[k]) / d[k];
                if (a > c) std::swap(a, c);
                t0 = std::max(t0, a);
                t1 = std::min(t1, c);
            }
            if (t0 <= t1) out.push_back(m_cells[j]);
        }
    }
}

bool findCellBruteForce(const MeshView& mesh, const TripletF& point, SearchMode mode, CellHit& hit) {
    const double p[3] = {point.x, point.y, point.z};
    bool found = false;
    std::int64_t element = 0;
    for (std::size_t bi = 0; bi < mesh.blocks.size(); ++bi) {
        const auto& b = mesh.blocks[bi];
        if (!cell::isVolume(b.type)) continue;
        for (std::int64_t i = 0; i < b.size(); ++i, ++element) {
            CellNodes c;
            c.gather(b.type, b.element(i), mesh.vertices);
            // A box test that rejects only cells that cannot qualify.
            const double size = c.size();
            const double reach = (mode == SearchMode::Nearest ? CellLocator::kNearestFraction : 1e-3) * size;
            bool near = true;
            for (int k = 0; k < 3 && near; ++k) {
                double lo = c.x[0][k], hi = c.x[0][k];
                for (int j = 1; j < c.count; ++j) {
                    lo = std::min(lo, c.x[j][k]);
                    hi = std::max(hi, c.x[j][k]);
                }
                near = p[k] >= lo - reach && p[k] <= hi + reach;
            }
            if (!near) continue;
            CellLocation loc = CellShape::locate(c, p, CellShape::parametricTolerance(c));
            if (!loc.inside) {
                if (mode != SearchMode::Nearest) continue;
                loc = CellShape::closest(c, p);
                if (loc.distance > CellLocator::kNearestFraction * c.size()) continue;
            }
            if (!found || loc.distance < hit.distance) {
                hit.element = element;
                hit.block = bi;
                hit.local = i;
                hit.nodes = b.element(i);
                hit.nodeCount = b.nodesPerElement;
                hit.distance = loc.distance;
                hit.weights = loc.weights;
                found = true;
                if (loc.inside) return true;
            }
        }
    }
    return found;
}

} // namespace zel
