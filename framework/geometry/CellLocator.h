#pragma once
// Point location in the volume cells of a mesh.
//
// The index is a hierarchy of uniform "loose" grids. Level 0 has bins about the size of a
// typical cell; level L bins are 2^L times larger. Each cell is stored once, in the bin of
// the finest level whose bins are at least as large as the cell's bounding box, the bin
// that holds the box centre. A cell's box therefore lies inside its bin grown by half a bin
// on every side, so a query visits at most 2 x 2 x 2 bins per level, and no cell is stored
// twice whatever the spread of cell sizes. Per cell, in bin order, the index keeps the cell
// number and its bounding box quantised to 8 bits relative to the grown bin, which rejects
// most candidates without touching the mesh. Memory: 4 + 6 bytes per cell plus 4 bytes per
// bin (fewer bins than cells), i.e. at most about 15 bytes per cell beyond the mesh.
//
// The builder (CellLocator) owns the flat arrays; CellLocator::View is the cheap const
// query over them and the borrowed mesh.
#include "framework/geometry/CellShape.h"
#include "framework/geometry/MeshView.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace zel {

// How tolerant a point search is.
enum class SearchMode : int {
    Containing = 1,   // a cell that contains the point within a small parametric slack
    Nearest = 2       // else the nearest cell within a quarter of its size; weights clamped
};

// A located point: the cell, its nodes and the shape-function weights of the point.
struct CellHit {
    std::int64_t element = -1;    // number over all blocks of the view
    std::size_t block = 0;        // block of the view
    std::int64_t local = -1;      // element within the block
    const int* nodes = nullptr;   // the cell's node indices (nodeCount of its type)
    int nodeCount = 0;
    double distance = 0.0;        // 0 when the cell contains the point
    std::array<double, cell::kMaxCellNodes> weights{};
};

class CellLocator {
public:
    // Distance within which the nearest-cell search accepts a point, relative to the
    // largest bounding-box extent of the cell.
    static constexpr double kNearestFraction = 0.25;

    struct Level {
        double origin[3];        // lower corner of bin (0, 0, 0)
        double bin[3];           // bin size per axis
        std::int64_t dims[3];    // bins per axis
        std::int64_t firstBin;   // index of bin (0, 0, 0) in the offsets
        double reach;            // largest nearest-search tolerance of its cells
        std::int64_t cells;      // number of cells stored at this level
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
        bool findContaining(const double p[3], CellHit& hit) const;
        bool findNearest(const double p[3], CellHit& hit) const;
        void fillHit(std::int64_t element, const CellLocation& loc, CellHit& hit) const;

        const MeshView* m_mesh = nullptr;
        const BlockIndex* m_blocks = nullptr;
        std::span<const Level> m_levels;
        std::span<const std::uint32_t> m_offsets;
        std::span<const std::int32_t> m_cells;
        std::span<const std::array<std::uint8_t, 6>> m_boxes;
        double m_lo[3] = {0, 0, 0};
        double m_hi[3] = {0, 0, 0};
    };

    View view() const;
    // Bytes held by the index (not counting the mesh).
    std::size_t memoryBytes() const;
    std::int64_t cellCount() const { return static_cast<std::int64_t>(m_cells.size()); }
    std::span<const Level> levels() const { return m_levels; }

private:
    MeshView m_mesh;
    BlockIndex m_blocks;
    std::vector<Level> m_levels;
    std::vector<std::uint32_t> m_offsets;              // #bins + 1, over all levels
    std::vector<std::int32_t> m_cells;                 // element numbers in bin order
    std::vector<std::array<std::uint8_t, 6>> m_boxes;  // quantised boxes, same order
    double m_lo[3] = {0, 0, 0};
    double m_hi[3] = {0, 0, 0};
};

// The same queries by scanning every cell: the twin the tests compare the index with.
bool findCellBruteForce(const MeshView& mesh, const TripletF& p, SearchMode mode, CellHit& hit);

} // namespace zel
