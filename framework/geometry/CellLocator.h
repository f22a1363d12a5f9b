#pragma once
// Point location in the volume cells of a mesh.
//
// The index is a hierarchy of uniform "loose" grids. Level 0 has bins about the size of a
// typical cell; level L bins are 2^L times larger. Each cell is stored once, in the bin of
// the finest level whose bins are at least as large as the cell's bounding box, the bin
// that holds the box centre. A cell's box therefore lies inside its bin grown by half a bin
// on every side, so a query visits at most 2 x 2 x 2 bins per level, and no cell is stored
// twice whatever the spread of cell sizes. Per cell the index keeps its number and its
// bounding box quantised to 8 bits relative to the grown bin, which rejects most candidates
// without touching the mesh. A bin's record holds its first cell; further cells of the bin
// follow in an overflow list. Memory: 14 bytes per bin and 10 per further cell; the build
// coarsens the bins until that is at most 15.5 bytes per cell beyond the mesh.
//
// The builder (CellLocator) owns the flat arrays; CellLocator::View is the cheap const
// query over them and the borrowed mesh.
#include "framework/geometry/CellShape.h"
#include "framework/geometry/MeshView.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace zel {

// How tolerant a point search is.
enum class SearchMode : int {
    Containing = 1, // a cell that contains the point within a small parametric slack
    Nearest = 2     // else the nearest cell within a quarter of its size; weights clamped
};

// A located point: the cell, its nodes and the shape-function weights of the point.
struct CellHit {
    std::int64_t element = -1;  // number over all blocks of the view
    std::size_t block = 0;      // block of the view
    std::int64_t local = -1;    // element within the block
    const int* nodes = nullptr; // the cell's node indices (nodeCount of its type)
    int nodeCount = 0;
    double distance = 0.0; // 0 when the cell contains the point
    std::array<double, cell::kMaxCellNodes> weights{};
};

class CellLocator {
public:
    // Distance within which the nearest-cell search accepts a point, relative to the
    // largest bounding-box extent of the cell.
    static constexpr double kNearestFraction = 0.25;

    // One indexed cell: its box quantised to 8 bits per side relative to its grown bin
    // (low x, y, z, then high x, y, z) and its element number, packed in 10 bytes so that a
    // candidate's box and number come in one memory access.
    struct Entry {
        std::uint8_t box[6];
        std::uint8_t cell[4];
        std::int32_t element() const {
            std::int32_t e;
            std::memcpy(&e, cell, sizeof e);
            return e;
        }
        void setElement(std::int32_t e) { std::memcpy(cell, &e, sizeof e); }
    };

    // A bin: where its further cells start in the overflow list, and its first cell
    // (element -1: the bin is empty). 14 bytes, so that most queries find a bin and its
    // only cell in one memory access.
    struct BinRecord {
        std::uint8_t restAt[4];
        Entry first;
        std::uint32_t rest() const {
            std::uint32_t r;
            std::memcpy(&r, restAt, sizeof r);
            return r;
        }
        void setRest(std::uint32_t r) { std::memcpy(restAt, &r, sizeof r); }
    };

    struct Level {
        double origin[3];      // lower corner of bin (0, 0, 0)
        double bin[3];         // bin size per axis
        double inverse[3];     // 1 / bin
        std::int64_t dims[3];  // bins per axis
        std::int64_t firstBin; // index of bin (0, 0, 0) in the offsets
        double reach;          // largest nearest-search tolerance of its cells
        std::int64_t cells;    // number of cells stored at this level
    };

    // Builds the index over the volume blocks of `mesh` (other blocks are not indexed).
    // The mesh arrays must outlive the locator and stay unchanged.
    explicit CellLocator(const MeshView& mesh);

    class View {
    public:
        // Locates p; with a hint (an element number found for a nearby point, or -1) that
        // cell is tried first. Returns false when no cell holds the point (in Nearest mode:
        // none lies within its tolerance).
        bool find(const TripletF& p, SearchMode mode, CellHit& hit, std::int64_t hint = -1) const;

        // Locates every point: hits[i] for points[i], element -1 where no cell holds it.
        // The answers are find()'s without a hint, point by point. Points go through the
        // stages of the search (bins, candidates, their nodes) in groups, and the memory reads
        // of a stage are requested for the whole group before any is used: for points in no
        // spatial order this hides most of the memory latency that bounds find(). Returns the
        // number of points located. `hits` holds at least points.size() entries.
        std::size_t findMany(std::span<const TripletF> points, SearchMode mode, std::span<CellHit> hits) const;

        // Elements whose bounding box may contain p (a superset; for tests and callers
        // that make their own exact test). Appends to `out`.
        void candidates(const TripletF& p, std::vector<std::int64_t>& out) const;

        // Elements whose bounding box the infinite line o + t·d may cross (a superset).
        // Appends to `out`, each element once.
        void lineCandidates(const double o[3], const double d[3], std::vector<std::int64_t>& out) const;

        const MeshView& mesh() const { return *m_mesh; }

    private:
        friend class CellLocator;
        bool tryCell(std::int64_t element, const double p[3], CellHit& hit) const;
        // Whether p lies in the mesh box grown by the slack of the parametric test.
        bool inMeshBox(const double p[3]) const;
        // Requests the records of p's bins (overflow false), or, once they have come, the
        // overflow entries of those bins, for a later firstCandidates.
        void prefetchBins(const double p[3], bool overflow) const;
        // The first `max` candidates for p, in the order findContaining tries them; `more`
        // tells whether further ones follow.
        int firstCandidates(const double p[3], std::int32_t* out, int max, bool& more) const;
        const int* cellNodes(std::int64_t element, int& count) const;
        bool findContaining(const double p[3], CellHit& hit) const;
        bool findNearest(const double p[3], CellHit& hit) const;
        void fillHit(std::int64_t element, const CellLocation& loc, CellHit& hit) const;

        const MeshView* m_mesh = nullptr;
        const BlockIndex* m_blocks = nullptr;
        std::span<const Level> m_levels;
        std::span<const BinRecord> m_records;
        std::span<const Entry> m_overflow;
        std::int64_t m_cellCount = 0;
        std::span<const std::uint8_t> m_filled;
        double m_lo[3] = {0, 0, 0};
        double m_hi[3] = {0, 0, 0};
    };

    View view() const;
    // Bytes held by the index (not counting the mesh).
    std::size_t memoryBytes() const;
    std::int64_t cellCount() const { return m_cellCount; }
    std::span<const Level> levels() const { return m_levels; }

private:
    MeshView m_mesh;
    BlockIndex m_blocks;
    std::vector<Level> m_levels;
    std::vector<BinRecord> m_records; // #bins + 1 over all levels (the last: end of the overflow)
    std::vector<Entry> m_overflow;    // the cells after the first of each bin, in bin order
    std::int64_t m_cellCount = 0;
    std::vector<std::uint8_t> m_filled; // the levels that hold cells
    double m_lo[3] = {0, 0, 0};
    double m_hi[3] = {0, 0, 0};
};

// The same queries by scanning every cell: the twin the tests compare the index with.
bool findCellBruteForce(const MeshView& mesh, const TripletF& p, SearchMode mode, CellHit& hit);

} // namespace zel
