#include "host/readers/PieceReader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "framework/core/Format.h"
#include "host/readers/FileBytes.h"
#include "host/readers/ReadError.h"
#include "host/readers/VtkLegacyReader.h"
#include "host/readers/VtkXmlReader.h"

namespace zel::host {

namespace {

constexpr std::uint8_t kDuplicateCell = 1;

bool isGhostArray(const FieldArray& a) { return a.name == "vtkGhostType"; }

// Keeps tuples `take` (in that order) of every array.
void gatherTuples(std::vector<FieldArray>& arrays, const std::vector<std::int64_t>& take)
{
    std::vector<std::int64_t> values;
    for (FieldArray& a : arrays) {
        const auto n = std::int64_t(a.components);
        values.resize(take.size() * std::size_t(n));
        for (std::size_t i = 0; i < take.size(); ++i)
            for (std::int64_t c = 0; c < n; ++c) values[i * std::size_t(n) + std::size_t(c)] = take[i] * n + c;
        a.values = a.values.gather(values);
    }
}

// Renumbers the points of every cell by `newIndex` (old -> new).
void renumberCells(CellArrays& cells, const std::vector<std::int64_t>& newIndex)
{
    for (std::int64_t& p : cells.connectivity) p = newIndex[std::size_t(p)];
    for (std::size_t c = 0; c + 1 < cells.faceOffsets.size(); ++c) {
        std::size_t i = std::size_t(cells.faceOffsets[c]);
        const std::size_t end = std::size_t(cells.faceOffsets[c + 1]);
        if (i >= end) continue;
        const std::int64_t nFaces = cells.faces[i++];
        for (std::int64_t f = 0; f < nFaces && i < end; ++f) {
            const std::int64_t n = cells.faces[i++];
            for (std::int64_t k = 0; k < n && i < end; ++k, ++i) cells.faces[i] = newIndex[std::size_t(cells.faces[i])];
        }
    }
}

// Keeps the points `keep` (old indices, ascending or not) and renumbers the cells.
void keepPoints(MeshBlock& block, const std::vector<std::int64_t>& keep, const std::vector<std::int64_t>& newIndex)
{
    std::vector<std::int64_t> coords(keep.size() * 3);
    for (std::size_t i = 0; i < keep.size(); ++i)
        for (std::size_t c = 0; c < 3; ++c) coords[i * 3 + c] = keep[i] * 3 + std::int64_t(c);
    block.points = block.points.gather(coords);
    gatherTuples(block.pointData, keep);
    renumberCells(block.cells, newIndex);
}

struct CoordKey {
    std::uint64_t x, y, z;
    bool operator==(const CoordKey&) const = default;
};
struct CoordHash {
    std::size_t operator()(const CoordKey& k) const
    {
        std::uint64_t h = k.x * 0x9E3779B97F4A7C15ull;
        h ^= k.y + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        h ^= k.z + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        return std::size_t(h);
    }
};

std::uint64_t bitsOf(double v) { return std::bit_cast<std::uint64_t>(v == 0.0 ? 0.0 : v); }  // -0 == +0

MeshBlock readPiece(const std::filesystem::path& file, const ReadOptions& options)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw CaseReadError(file.string(), "", "the piece file does not exist");
    const FileBytes bytes = readFileBytes(file, options.readTime);
    if (bytes.view().rfind("# vtk", 0) == 0 || bytes.view().rfind("# VTK", 0) == 0) return parseVtkLegacy(bytes, file.string());
    return parseVtkXmlDataSet(bytes, file.string());
}

} // namespace

std::size_t CaseLayout::maxPieces() const
{
    std::size_t n = 0;
    for (const PieceBlock& b : blocks) n = std::max(n, b.pieces.size());
    return n;
}

std::pair<std::size_t, std::size_t> piecesOfRank(std::size_t count, int rank, int ranks)
{
    const auto r = std::size_t(rank), n = std::size_t(std::max(ranks, 1));
    // Fewer pieces than processes: one each to the first ones (the first prints).
    if (count < n) return r < count ? std::pair{r, r + 1} : std::pair{count, count};
    return {count * r / n, count * (r + 1) / n};
}

std::size_t dropGhostCells(MeshBlock& block)
{
    const auto ghost = std::find_if(block.cellData.begin(), block.cellData.end(), isGhostArray);
    std::size_t dropped = 0;
    if (ghost != block.cellData.end()) {
        std::vector<std::int64_t> keepCells;
        keepCells.reserve(block.numCells());
        for (std::size_t c = 0; c < block.numCells(); ++c)
            if ((std::uint8_t(ghost->value(c)) & kDuplicateCell) == 0) keepCells.push_back(std::int64_t(c));
        block.cellData.erase(ghost);
        dropped = block.numCells() - keepCells.size();
        if (dropped > 0) {
            CellArrays kept;
            const CellArrays& from = block.cells;
            const bool poly = !from.faceOffsets.empty();
            if (poly) kept.faceOffsets.assign(1, 0);
            for (std::int64_t c : keepCells) {
                const auto cu = std::size_t(c);
                kept.types.push_back(from.types[cu]);
                const auto pts = from.cellPoints(cu);
                kept.connectivity.insert(kept.connectivity.end(), pts.begin(), pts.end());
                kept.offsets.push_back(std::int64_t(kept.connectivity.size()));
                if (poly) {
                    kept.faces.insert(kept.faces.end(), from.faces.begin() + from.faceOffsets[cu],
                                      from.faces.begin() + from.faceOffsets[cu + 1]);
                    kept.faceOffsets.push_back(std::int64_t(kept.faces.size()));
                }
            }
            block.cells = std::move(kept);
            gatherTuples(block.cellData, keepCells);
            // The points only ghost cells used go with them.
            std::vector<char> used(block.numPoints(), 0);
            for (std::int64_t p : block.cells.connectivity) used[std::size_t(p)] = 1;
            // (a polyhedron lists its points in the connectivity as well as in its faces)
            std::vector<std::int64_t> keep, newIndex(block.numPoints(), -1);
            for (std::size_t p = 0; p < used.size(); ++p)
                if (used[p] != 0) {
                    newIndex[p] = std::int64_t(keep.size());
                    keep.push_back(std::int64_t(p));
                }
            if (keep.size() != block.numPoints()) keepPoints(block, keep, newIndex);
        }
    }
    std::erase_if(block.pointData, isGhostArray);
    return dropped;
}

void mergeSharedPoints(MeshBlock& block)
{
    const std::size_t n = block.numPoints();
    std::vector<std::int64_t> keep, newIndex(n);
    keep.reserve(n);
    if (const FieldArray* ids = block.findPointData("GlobalNodeIds"); ids != nullptr && ids->components == 1) {
        std::unordered_map<std::int64_t, std::int64_t> first;
        first.reserve(n);
        for (std::size_t p = 0; p < n; ++p) {
            const auto [it, added] = first.try_emplace(std::int64_t(ids->value(p)), std::int64_t(keep.size()));
            if (added) keep.push_back(std::int64_t(p));
            newIndex[p] = it->second;
        }
    } else {
        std::unordered_map<CoordKey, std::int64_t, CoordHash> first;
        first.reserve(n);
        for (std::size_t p = 0; p < n; ++p) {
            const CoordKey key{bitsOf(block.points[3 * p]), bitsOf(block.points[3 * p + 1]), bitsOf(block.points[3 * p + 2])};
            const auto [it, added] = first.try_emplace(key, std::int64_t(keep.size()));
            if (added) keep.push_back(std::int64_t(p));
            newIndex[p] = it->second;
        }
    }
    if (keep.size() != n) keepPoints(block, keep, newIndex);
}

CaseData readCasePieces(const CaseLayout& layout, int rank, int ranks, const ReadOptions& options)
{
    CaseData out;
    out.sourceFile = layout.sourceFile;
    for (const PieceBlock& pb : layout.blocks) {
        const auto [first, last] = piecesOfRank(pb.pieces.size(), rank, ranks);
        if (first == last) continue;
        MeshBlock block = readPiece(pb.pieces[first], options);
        const std::size_t ghosts = dropGhostCells(block);
        for (std::size_t i = first + 1; i < last; ++i) {
            MeshBlock piece = readPiece(pb.pieces[i], options);
            dropGhostCells(piece);
            appendPiece(block, std::move(piece));
        }
        if (last - first > 1 || ghosts > 0 || block.findPointData("GlobalNodeIds") != nullptr) mergeSharedPoints(block);
        block.name = pb.name;
        block.path = pb.path;
        if (last - first > 1) block.sourceFile = layout.sourceFile;
        validateBlock(block);
        if (!out.time)
            for (const FieldArray& f : block.fieldData)
                if (f.name == "TimeValue" && !f.values.empty()) out.time = f.values[0];
        out.blocks.push_back(std::move(block));
    }
    if (options.progress) options.progress(1.0);
    return out;
}

} // namespace zel::host
