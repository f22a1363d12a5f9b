#include "framework/geometry/CellLocator.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#define ZEL_PREFETCH(p) _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0)
#elif defined(__GNUC__) || defined(__clang__)
#define ZEL_PREFETCH(p) __builtin_prefetch(p)
#else
#define ZEL_PREFETCH(p) ((void)(p))
#endif

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

// floor and ceil without a library call (they are in the inner loops): exact for the bin
// coordinates here, which stay far below 2^62 in magnitude once clamped. NaN clamps to the
// lower bound, so that no caller's bad input reaches an undefined conversion.
inline double clampBinCoordinate(double x) { return x > -4.0e18 ? (x < 4.0e18 ? x : 4.0e18) : -4.0e18; }
inline std::int64_t floorToInt(double x) {
    x = clampBinCoordinate(x);
    const auto i = static_cast<std::int64_t>(x);
    return static_cast<double>(i) > x ? i - 1 : i;
}
inline std::int64_t ceilToInt(double x) {
    x = clampBinCoordinate(x);
    const auto i = static_cast<std::int64_t>(x);
    return static_cast<double>(i) < x ? i + 1 : i;
}

// Slack of the quantised box test, in quantisation units: covers the rounding of the query
// point's own quantisation.
constexpr double kQuantSlack = 0.02;

using Level = CellLocator::Level;

// The build of the index, phase by phase.

void checkNodes(const MeshView& mesh) {
    for (const auto& b : mesh.blocks)
        for (int node : b.connectivity)
            if (node < 0 || static_cast<std::size_t>(node) >= mesh.vertices.size())
                throw data::invalid(
                    "CellLocator", "CellLocator",
                    _("Cell node %d is not a vertex of the mesh (%d vertices).", node, mesh.vertices.size()));
}

// Boxes of all cells (a temporary of the build), in block order, and the mesh box.
std::vector<Box> cellBoxes(const MeshView& mesh, std::int64_t n, double lo[3], double hi[3]) {
    std::vector<Box> boxes(static_cast<std::size_t>(n));
    for (int k = 0; k < 3; ++k) {
        lo[k] = std::numeric_limits<double>::max();
        hi[k] = std::numeric_limits<double>::lowest();
    }
    std::size_t e = 0;
    for (const auto& b : mesh.blocks)
        for (std::int64_t i = 0; i < b.size(); ++i, ++e) {
            boxes[e] = cellBox(b, i, mesh.vertices);
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], double(boxes[e].lo[k]));
                hi[k] = std::max(hi[k], double(boxes[e].hi[k]));
            }
        }
    return boxes;
}

// Level-0 bin size: per axis, the 90th percentile of the cell extents (sampled), so that
// most cells sit on level 0; then no more bins than cells.
void levelZeroBins(std::span<const Box> boxes, const double extent[3], double bin0[3]) {
    double diag = 0.0;
    for (int k = 0; k < 3; ++k) diag = std::max(diag, extent[k]);
    const double minBin = std::max(diag, 1e-30) * 1e-9;
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
    if (bins > double(boxes.size())) {
        const double f = std::cbrt(bins / double(boxes.size()));
        for (int k = 0; k < 3; ++k) bin0[k] *= f;
    }
}

// Levels of bins doubling in size from bin0 up to one bin over the whole mesh, each grid
// centred on the mesh box.
std::vector<Level> makeLevels(const double lo[3], const double hi[3], const double bin0[3]) {
    std::vector<Level> levels;
    for (int level = 0;; ++level) {
        Level L{};
        const double f = std::ldexp(1.0, level);
        bool single = true;
        for (int k = 0; k < 3; ++k) {
            const double extent = hi[k] - lo[k];
            L.bin[k] = bin0[k] * f;
            L.inverse[k] = 1.0 / L.bin[k];
            L.dims[k] = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(extent / L.bin[k])));
            L.origin[k] = 0.5 * (lo[k] + hi[k]) - 0.5 * double(L.dims[k]) * L.bin[k];
            if (L.dims[k] > 1 || L.bin[k] < extent) single = false;
        }
        levels.push_back(L);
        if (single || level > 60) return levels;
    }
}

// Where every cell goes: its level (the finest whose bins are as large as its box), its bin
// over all levels, and the number of cells of every bin. Only levels that hold cells get bins.
struct BinAssignment {
    std::vector<std::uint32_t> binOf;
    std::vector<std::uint8_t> levelOf;
    std::vector<std::uint32_t> count;
    std::int64_t totalBins = 0;
};

void assignBins(std::span<const Box> boxes, std::vector<Level>& levels, BinAssignment& out) {
    out.binOf.resize(boxes.size());
    out.levelOf.resize(boxes.size());
    for (std::size_t e = 0; e < boxes.size(); ++e) {
        const Box& b = boxes[e];
        std::size_t level = 0;
        while (level + 1 < levels.size()) {
            const Level& L = levels[level];
            if (b.hi[0] - b.lo[0] <= L.bin[0] && b.hi[1] - b.lo[1] <= L.bin[1] && b.hi[2] - b.lo[2] <= L.bin[2]) break;
            ++level;
        }
        Level& L = levels[level];
        std::int64_t idx[3];
        for (int k = 0; k < 3; ++k) {
            const double c = 0.5 * (double(b.lo[k]) + double(b.hi[k]));
            idx[k] = std::clamp<std::int64_t>(floorToInt((c - L.origin[k]) * L.inverse[k]), 0, L.dims[k] - 1);
        }
        const double e3 = std::max({b.hi[0] - b.lo[0], b.hi[1] - b.lo[1], b.hi[2] - b.lo[2]});
        L.reach = std::max(L.reach, CellLocator::kNearestFraction * e3);
        ++L.cells;
        out.levelOf[e] = static_cast<std::uint8_t>(level);
        out.binOf[e] = static_cast<std::uint32_t>((idx[2] * L.dims[1] + idx[1]) * L.dims[0] + idx[0]);
    }
    out.totalBins = 0;
    for (Level& L : levels) {
        L.firstBin = out.totalBins;
        if (L.cells > 0) out.totalBins += L.dims[0] * L.dims[1] * L.dims[2];
    }
    if (out.totalBins >= std::int64_t(std::numeric_limits<std::uint32_t>::max()))
        throw data::invalid("CellLocator", "CellLocator", "Too many bins for the cell index.");
    out.count.assign(static_cast<std::size_t>(out.totalBins), 0);
    for (std::size_t e = 0; e < boxes.size(); ++e) {
        out.binOf[e] += static_cast<std::uint32_t>(levels[out.levelOf[e]].firstBin);
        ++out.count[out.binOf[e]];
    }
}

// A cell's entry in bin idx of level L: its box quantised relative to the bin grown by half a
// bin on every side.
CellLocator::Entry quantisedEntry(const Box& box, std::int32_t element, const Level& L, const std::int64_t idx[3]) {
    CellLocator::Entry entry;
    entry.setElement(element);
    for (int k = 0; k < 3; ++k) {
        const double base = L.origin[k] + (double(idx[k]) - 0.5) * L.bin[k];
        const double unit = 2.0 * L.bin[k] / 255.0;
        const std::int64_t lo = floorToInt((double(box.lo[k]) - base) / unit);
        const std::int64_t hi = ceilToInt((double(box.hi[k]) - base) / unit);
        entry.box[k] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(lo, 0, 255));
        entry.box[k + 3] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(hi, 0, 255));
    }
    return entry;
}

// The bin records and the overflow list: cells in bin order (a counting sort), the first of
// a bin in its record, the others in the overflow list.
void fillBins(std::span<const Box> boxes, std::span<const Level> levels, const BinAssignment& a,
              std::vector<CellLocator::BinRecord>& records, std::vector<CellLocator::Entry>& overflow) {
    const std::size_t totalBins = static_cast<std::size_t>(a.totalBins);
    std::vector<std::uint32_t> start(totalBins + 1, 0);
    for (std::size_t b = 0; b < a.count.size(); ++b) start[b + 1] = start[b] + a.count[b];
    std::vector<std::int32_t> order(boxes.size());
    {
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (std::size_t e = 0; e < boxes.size(); ++e) order[fill[a.binOf[e]]++] = static_cast<std::int32_t>(e);
    }
    records.resize(totalBins + 1);
    overflow.clear();
    overflow.reserve(boxes.size() -
                     std::size_t(std::count_if(a.count.begin(), a.count.end(), [](std::uint32_t c) { return c > 0; })));
    for (const Level& L : levels) {
        if (L.cells == 0) continue;
        for (std::int64_t z = 0; z < L.dims[2]; ++z)
            for (std::int64_t y = 0; y < L.dims[1]; ++y)
                for (std::int64_t x = 0; x < L.dims[0]; ++x) {
                    const std::size_t bin = static_cast<std::size_t>(L.firstBin + (z * L.dims[1] + y) * L.dims[0] + x);
                    CellLocator::BinRecord& rec = records[bin];
                    rec.setRest(static_cast<std::uint32_t>(overflow.size()));
                    rec.first.setElement(-1);
                    const std::int64_t idx[3] = {x, y, z};
                    for (std::uint32_t j = start[bin]; j < start[bin + 1]; ++j) {
                        const CellLocator::Entry entry = quantisedEntry(boxes[std::size_t(order[j])], order[j], L, idx);
                        if (j == start[bin])
                            rec.first = entry;
                        else
                            overflow.push_back(entry);
                    }
                }
    }
    records.back().setRest(static_cast<std::uint32_t>(overflow.size()));
    records.back().first.setElement(-1);
}

} // namespace

CellLocator::CellLocator(const MeshView& mesh) {
    m_mesh.vertices = mesh.vertices;
    for (const auto& b : mesh.blocks)
        if (cell::isVolume(b.type) && b.nodesPerElement == cell::nodeCount(b.type)) m_mesh.blocks.push_back(b);
    m_blocks = BlockIndex(m_mesh);
    const std::int64_t n = m_blocks.total();
    if (n > std::numeric_limits<std::int32_t>::max())
        throw data::invalid("CellLocator", "CellLocator", _("Too many cells to index: %d.", n));
    if (n == 0) return;
    checkNodes(m_mesh);

    const std::vector<Box> boxes = cellBoxes(m_mesh, n, m_lo, m_hi);
    double extent[3], bin0[3];
    for (int k = 0; k < 3; ++k) extent[k] = m_hi[k] - m_lo[k];
    levelZeroBins(boxes, extent, bin0);

    // A bin record costs 14 bytes and every cell after the first of its bin 10 more: with
    // many empty bins (a mesh that fills little of its box) the bins are made coarser until
    // the index fits its budget.
    BinAssignment bins;
    for (int attempt = 0;; ++attempt) {
        m_levels = makeLevels(m_lo, m_hi, bin0);
        assignBins(boxes, m_levels, bins);
        std::int64_t occupied = 0;
        for (std::uint32_t c : bins.count) occupied += c > 0;
        const double bytes = double(bins.totalBins + 1) * sizeof(BinRecord) + double(n - occupied) * sizeof(Entry);
        if (bytes <= 15.5 * double(n) + 64.0 || attempt >= 12) break;
        for (int k = 0; k < 3; ++k) bin0[k] *= 1.25;
    }
    fillBins(boxes, m_levels, bins, m_records, m_overflow);

    m_cellCount = n;
    for (std::size_t li = 0; li < m_levels.size(); ++li)
        if (m_levels[li].cells > 0) m_filled.push_back(static_cast<std::uint8_t>(li));
}

CellLocator::View CellLocator::view() const {
    View v;
    v.m_mesh = &m_mesh;
    v.m_blocks = &m_blocks;
    v.m_levels = m_levels;
    v.m_records = m_records;
    v.m_overflow = m_overflow;
    v.m_cellCount = m_cellCount;
    v.m_filled = m_filled;
    for (int k = 0; k < 3; ++k) {
        v.m_lo[k] = m_lo[k];
        v.m_hi[k] = m_hi[k];
    }
    return v;
}

std::size_t CellLocator::memoryBytes() const {
    return m_records.capacity() * sizeof(BinRecord) + m_overflow.capacity() * sizeof(Entry) +
           m_levels.capacity() * sizeof(Level) + sizeof(*this);
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

// Points that no search can place: the undefined marker, and NaN or infinite coordinates
// (which would otherwise reach the integer bin arithmetic).
static inline bool searchablePoint(const TripletF& p) {
    return !p.isUndefined() && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

bool CellLocator::View::find(const TripletF& point, SearchMode mode, CellHit& hit, std::int64_t hint) const {
    if (m_cellCount == 0 || !searchablePoint(point)) return false;
    const double p[3] = {point.x, point.y, point.z};
    if (hint >= 0 && hint < m_cellCount && tryCell(hint, p, hit)) return true;
    if (findContaining(p, hit)) return true;
    return mode == SearchMode::Nearest && findNearest(p, hit);
}

bool CellLocator::View::inMeshBox(const double p[3]) const {
    for (int k = 0; k < 3; ++k) {
        const double slack = 1e-6 * (m_hi[k] - m_lo[k]) + 1e-6 * std::fabs(p[k]);
        if (!(p[k] >= m_lo[k] - slack && p[k] <= m_hi[k] + slack)) return false;
    }
    return true;
}

namespace {

// The bins of level L whose cells may hold p: [first, last] per axis; t is p in bin units.
void binRange(const CellLocator::Level& L, const double p[3], std::int64_t first[3], std::int64_t last[3],
              double t[3]) {
    for (int k = 0; k < 3; ++k) {
        t[k] = (p[k] - L.origin[k]) * L.inverse[k];
        const std::int64_t i = floorToInt(t[k]);
        const double fl = static_cast<double>(i);
        // Cell centres lie within half a bin of p (a little more for points on faces).
        first[k] = std::max<std::int64_t>(t[k] - fl < 0.51 ? i - 1 : i, 0);
        last[k] = std::min<std::int64_t>(t[k] - fl >= 0.49 ? i + 1 : i, L.dims[k] - 1);
    }
}

// Calls f(bin, q) for the bins of every filled level whose cells may hold p, in the order
// the searches try them; q is p in the units of the bin's quantised boxes (255 per grown
// bin, two bins wide, from the grown bin's lower corner). Stops when f returns true.
template <typename F>
bool forEachBin(std::span<const CellLocator::Level> levels, std::span<const std::uint8_t> filled, const double p[3],
                F&& f) {
    for (std::uint8_t li : filled) {
        const CellLocator::Level& L = levels[li];
        std::int64_t first[3], last[3];
        double t[3];
        binRange(L, p, first, last, t);
        for (std::int64_t z = first[2]; z <= last[2]; ++z)
            for (std::int64_t y = first[1]; y <= last[1]; ++y)
                for (std::int64_t x = first[0]; x <= last[0]; ++x) {
                    const std::size_t bin = static_cast<std::size_t>(L.firstBin + (z * L.dims[1] + y) * L.dims[0] + x);
                    const float q[3] = {static_cast<float>(127.5 * (t[0] - double(x) + 0.5)),
                                        static_cast<float>(127.5 * (t[1] - double(y) + 0.5)),
                                        static_cast<float>(127.5 * (t[2] - double(z) + 0.5))};
                    if (f(bin, q)) return true;
                }
    }
    return false;
}

} // namespace

// Whether the quantised box of an entry may hold q (p in the units of the entry's grown bin).
static inline bool boxMayHold(const CellLocator::Entry& e, const float* q) {
    return !(q[0] < e.box[0] - kQuantSlack || q[0] > e.box[3] + kQuantSlack || q[1] < e.box[1] - kQuantSlack ||
             q[1] > e.box[4] + kQuantSlack || q[2] < e.box[2] - kQuantSlack || q[2] > e.box[5] + kQuantSlack);
}

bool CellLocator::View::findContaining(const double p[3], CellHit& hit) const {
    // Outside the mesh box (with the slack of the parametric test) nothing can hold p.
    if (!inMeshBox(p)) return false;
    // The search is bound by memory latency, not arithmetic: the records of all
    // neighbouring bins are requested first (independent loads that the processor
    // overlaps), and only then are the candidates' nodes fetched.
    for (std::uint8_t li : m_filled) {
        const Level& L = m_levels[li];
        std::int64_t first[3], last[3];
        double t[3];
        binRange(L, p, first, last, t);
        std::size_t bins[27]; // 3 x 3 x 3 for points within 1% of a bin centre plane
        float qs[27][3];
        int nb = 0;
        for (std::int64_t z = first[2]; z <= last[2]; ++z)
            for (std::int64_t y = first[1]; y <= last[1]; ++y)
                for (std::int64_t x = first[0]; x <= last[0]; ++x) {
                    const std::size_t bin = static_cast<std::size_t>(L.firstBin + (z * L.dims[1] + y) * L.dims[0] + x);
                    ZEL_PREFETCH(&m_records[bin]);
                    bins[nb] = bin;
                    // p in the units of the boxes: 255 per grown bin (two bins wide), from
                    // the grown bin's lower corner.
                    qs[nb][0] = static_cast<float>(127.5 * (t[0] - double(x) + 0.5));
                    qs[nb][1] = static_cast<float>(127.5 * (t[1] - double(y) + 0.5));
                    qs[nb][2] = static_cast<float>(127.5 * (t[2] - double(z) + 0.5));
                    ++nb;
                }
        std::int32_t cand[32];
        int nc = 0;
        auto consider = [&](const Entry& e, const float* q) {
            if (!boxMayHold(e, q)) return false;
            cand[nc++] = e.element();
            return nc == 32;
        };
        auto flush = [&] {
            for (int c = 0; c < nc; ++c)
                if (tryCell(cand[c], p, hit)) return true;
            nc = 0;
            return false;
        };
        for (int b = 0; b < nb; ++b) {
            const BinRecord& rec = m_records[bins[b]];
            if (rec.first.element() < 0) continue;
            if (consider(rec.first, qs[b]) && flush()) return true;
            const std::uint32_t end = m_records[bins[b] + 1].rest();
            for (std::uint32_t j = rec.rest(); j < end; ++j)
                if (consider(m_overflow[j], qs[b]) && flush()) return true;
        }
        if (flush()) return true;
    }
    return false;
}

void CellLocator::View::prefetchBins(const double p[3], bool overflow) const {
    forEachBin(m_levels, m_filled, p, [&](std::size_t bin, const float*) {
        if (!overflow) {
            ZEL_PREFETCH(&m_records[bin]);
        } else {
            const std::uint32_t rest = m_records[bin].rest();
            if (rest < m_records[bin + 1].rest()) ZEL_PREFETCH(&m_overflow[rest]);
        }
        return false;
    });
}

int CellLocator::View::firstCandidates(const double p[3], std::int32_t* out, int max, bool& more) const {
    int n = 0;
    more = false;
    forEachBin(m_levels, m_filled, p, [&](std::size_t bin, const float* q) {
        const BinRecord& rec = m_records[bin];
        if (rec.first.element() < 0) return false;
        auto consider = [&](const Entry& e) {
            if (!boxMayHold(e, q)) return false;
            if (n == max) return more = true;
            out[n++] = e.element();
            return false;
        };
        if (consider(rec.first)) return true;
        const std::uint32_t end = m_records[bin + 1].rest();
        for (std::uint32_t j = rec.rest(); j < end; ++j)
            if (consider(m_overflow[j])) return true;
        return false;
    });
    return n;
}

const int* CellLocator::View::cellNodes(std::int64_t element, int& count) const {
    const std::size_t block = m_blocks->blockOf(element);
    const ElementBlockView& b = m_mesh->blocks[block];
    count = b.nodesPerElement;
    return b.element(element - m_blocks->start(block));
}

std::size_t CellLocator::View::findMany(std::span<const TripletF> points, SearchMode mode,
                                        std::span<CellHit> hits) const {
    if (hits.size() < points.size())
        throw data::invalid("CellLocator", "findMany", _("%d results for %d points.", hits.size(), points.size()));
    // Points per group: enough reads in flight to cover the memory latency, few enough
    // that a group's records, connectivity and nodes stay in the first-level cache.
    constexpr int kGroup = 16;
    // Candidates per point whose connectivity is requested ahead (and the nodes of the
    // first, which usually holds the point); a point with more goes through find()'s own
    // loop once these fail.
    constexpr int kAhead = 3;
    std::size_t located = 0;
    for (std::size_t g0 = 0; g0 < points.size(); g0 += kGroup) {
        const int m = static_cast<int>(std::min<std::size_t>(kGroup, points.size() - g0));
        double p[kGroup][3];
        bool finite[kGroup], searchable[kGroup];
        for (int i = 0; i < m; ++i) {
            const TripletF& q = points[g0 + static_cast<std::size_t>(i)];
            p[i][0] = q.x;
            p[i][1] = q.y;
            p[i][2] = q.z;
            finite[i] = m_cellCount > 0 && searchablePoint(q);
            searchable[i] = finite[i] && inMeshBox(p[i]);
            if (searchable[i]) prefetchBins(p[i], false);
        }
        for (int i = 0; i < m; ++i)
            if (searchable[i]) prefetchBins(p[i], true);
        std::int32_t cand[kGroup][kAhead];
        int count[kGroup];
        bool more[kGroup];
        for (int i = 0; i < m; ++i) {
            count[i] = 0;
            more[i] = false;
            if (!searchable[i]) continue;
            count[i] = firstCandidates(p[i], cand[i], kAhead, more[i]);
            for (int c = 0; c < count[i]; ++c) {
                int nodes = 0;
                ZEL_PREFETCH(cellNodes(cand[i][c], nodes));
            }
        }
        for (int i = 0; i < m; ++i) {
            if (count[i] == 0) continue;
            int nodes = 0;
            const int* n = cellNodes(cand[i][0], nodes);
            for (int j = 0; j < nodes; ++j) ZEL_PREFETCH(&m_mesh->vertices[static_cast<std::size_t>(n[j])]);
        }
        for (int i = 0; i < m; ++i) {
            CellHit& hit = hits[g0 + static_cast<std::size_t>(i)];
            hit = CellHit{};
            bool found = false;
            for (int c = 0; c < count[i] && !found; ++c) found = tryCell(cand[i][c], p[i], hit);
            if (!found && more[i]) found = findContaining(p[i], hit);
            if (!found && mode == SearchMode::Nearest && finite[i]) found = findNearest(p[i], hit);
            if (!found) hit = CellHit{};
            located += found;
        }
    }
    return located;
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
            first[k] = std::max<std::int64_t>(floorToInt((p[k] - r - L.origin[k]) * L.inverse[k]), 0);
            last[k] = std::min<std::int64_t>(floorToInt((p[k] + r - L.origin[k]) * L.inverse[k]), L.dims[k] - 1);
            if (first[k] > last[k]) empty = true;
        }
        if (empty) continue;
        for (std::int64_t z = first[2]; z <= last[2]; ++z)
            for (std::int64_t y = first[1]; y <= last[1]; ++y)
                for (std::int64_t x = first[0]; x <= last[0]; ++x) {
                    const std::size_t bin = static_cast<std::size_t>(L.firstBin + (z * L.dims[1] + y) * L.dims[0] + x);
                    if (m_records[bin].first.element() < 0) continue;
                    const std::int64_t idx[3] = {x, y, z};
                    double base[3], unit[3];
                    for (int k = 0; k < 3; ++k) {
                        base[k] = L.origin[k] + (double(idx[k]) - 0.5) * L.bin[k];
                        unit[k] = 2.0 * L.bin[k] / 255.0;
                    }
                    const std::uint32_t end = m_records[bin + 1].rest();
                    for (std::uint32_t j = m_records[bin].rest() - 1; j != end; ++j) {
                        const Entry& entry = j + 1 == m_records[bin].rest() ? m_records[bin].first : m_overflow[j];
                        const std::uint8_t* b = entry.box;
                        double lo[3], hi[3], size = 0.0;
                        for (int k = 0; k < 3; ++k) {
                            lo[k] = base[k] + b[k] * unit[k];
                            hi[k] = base[k] + b[k + 3] * unit[k];
                            size = std::max(size, hi[k] - lo[k]);
                        }
                        const double tol = kNearestFraction * size + 2.0 * std::max({unit[0], unit[1], unit[2]});
                        if (p[0] < lo[0] - tol || p[0] > hi[0] + tol || p[1] < lo[1] - tol || p[1] > hi[1] + tol ||
                            p[2] < lo[2] - tol || p[2] > hi[2] + tol)
                            continue;
                        const std::int64_t element = entry.element();
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
            first[k] = std::max<std::int64_t>(floorToInt((p[k] - r - L.origin[k]) * L.inverse[k]), 0);
            last[k] = std::min<std::int64_t>(floorToInt((p[k] + r - L.origin[k]) * L.inverse[k]), L.dims[k] - 1);
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
                    if (m_records[bin].first.element() < 0) continue;
                    const std::uint32_t end = m_records[bin + 1].rest();
                    for (std::uint32_t j = m_records[bin].rest() - 1; j != end; ++j) {
                        const Entry& entry = j + 1 == m_records[bin].rest() ? m_records[bin].first : m_overflow[j];
                        const std::uint8_t* b = entry.box;
                        if (q[0] < b[0] - kQuantSlack || q[0] > b[3] + kQuantSlack || q[1] < b[1] - kQuantSlack ||
                            q[1] > b[4] + kQuantSlack || q[2] < b[2] - kQuantSlack || q[2] > b[5] + kQuantSlack)
                            continue;
                        out.push_back(entry.element());
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
            idx[k] = floorToInt((pk - L.origin[k]) * L.inverse[k]);
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
                for (std::int64_t z = std::max<std::int64_t>(cur[2] - 1, 0); z <= std::min(cur[2] + 1, L.dims[2] - 1);
                     ++z)
                    for (std::int64_t y = std::max<std::int64_t>(cur[1] - 1, 0);
                         y <= std::min(cur[1] + 1, L.dims[1] - 1); ++y)
                        for (std::int64_t x = std::max<std::int64_t>(cur[0] - 1, 0);
                             x <= std::min(cur[0] + 1, L.dims[0] - 1); ++x)
                            bins.push_back((L.firstBin + (z * L.dims[1] + y) * L.dims[0] + x) * 64 +
                                           static_cast<std::int64_t>(&L - m_levels.data()));
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
    for (std::int64_t packed : bins) {
        // The bin, and its level and coordinates for its quantised boxes.
        const std::int64_t bin = packed / 64;
        const Level& L = m_levels[static_cast<std::size_t>(packed % 64)];
        const std::int64_t rest = bin - L.firstBin;
        const std::int64_t idx[3] = {rest % L.dims[0], (rest / L.dims[0]) % L.dims[1], rest / (L.dims[0] * L.dims[1])};
        double base[3], unit[3];
        for (int k = 0; k < 3; ++k) {
            base[k] = L.origin[k] + (double(idx[k]) - 0.5) * L.bin[k];
            unit[k] = 2.0 * L.bin[k] / 255.0;
        }
        const BinRecord& rec = m_records[static_cast<std::size_t>(bin)];
        if (rec.first.element() < 0) continue;
        const std::uint32_t end = m_records[static_cast<std::size_t>(bin) + 1].rest();
        for (std::uint32_t j = rec.rest() - 1; j != end; ++j) {
            const Entry& entry = j + 1 == rec.rest() ? rec.first : m_overflow[j];
            const std::uint8_t* b = entry.box;
            double t0 = -std::numeric_limits<double>::infinity(), t1 = std::numeric_limits<double>::infinity();
            for (int k = 0; k < 3 && t0 <= t1; ++k) {
                const double lo = base[k] + (b[k] - kQuantSlack) * unit[k];
                const double hi = base[k] + (b[k + 3] + kQuantSlack) * unit[k];
                if (d[k] == 0.0) {
                    if (o[k] < lo || o[k] > hi) t0 = std::numeric_limits<double>::infinity();
                    continue;
                }
                double a = (lo - o[k]) / d[k], c = (hi - o[k]) / d[k];
                if (a > c) std::swap(a, c);
                t0 = std::max(t0, a);
                t1 = std::min(t1, c);
            }
            if (t0 <= t1) out.push_back(entry.element());
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
