#include "host/readers/PieceReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
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
void gatherTuples(std::vector<FieldArray>& arrays, const std::vector<std::int64_t>& take) {
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
void renumberCells(CellArrays& cells, const std::vector<std::int64_t>& newIndex) {
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
void keepPoints(MeshBlock& block, const std::vector<std::int64_t>& keep, const std::vector<std::int64_t>& newIndex) {
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
    std::size_t operator()(const CoordKey& k) const {
        std::uint64_t h = k.x * 0x9E3779B97F4A7C15ull;
        h ^= k.y + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        h ^= k.z + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        return std::size_t(h);
    }
};

std::uint64_t bitsOf(double v) { return std::bit_cast<std::uint64_t>(v == 0.0 ? 0.0 : v); } // -0 == +0

MeshBlock readPiece(const std::filesystem::path& file, const ReadOptions& options) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw CaseReadError(file.string(), "", "the piece file does not exist");
    const FileBytes bytes = readFileBytes(file, options.readTime);
    if (bytes.view().rfind("# vtk", 0) == 0 || bytes.view().rfind("# VTK", 0) == 0)
        return parseVtkLegacy(bytes, file.string());
    return parseVtkXmlDataSet(bytes, file.string());
}

} // namespace

std::size_t CaseLayout::maxPieces() const {
    std::size_t n = 0;
    for (const PieceBlock& b : blocks) n = std::max(n, b.pieces.size());
    return n;
}

std::pair<std::size_t, std::size_t> piecesOfRank(std::size_t count, int rank, int ranks) {
    const auto r = std::size_t(rank), n = std::size_t(std::max(ranks, 1));
    // Fewer pieces than processes: one each to the first ones (the first prints).
    if (count < n) return r < count ? std::pair{r, r + 1} : std::pair{count, count};
    return {count * r / n, count * (r + 1) / n};
}

std::size_t dropGhostCells(MeshBlock& block) {
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

void mergeSharedPoints(MeshBlock& block) {
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
            const CoordKey key{bitsOf(block.points[3 * p]), bitsOf(block.points[3 * p + 1]),
                               bitsOf(block.points[3 * p + 2])};
            const auto [it, added] = first.try_emplace(key, std::int64_t(keep.size()));
            if (added) keep.push_back(std::int64_t(p));
            newIndex[p] = it->second;
        }
    }
    if (keep.size() != n) keepPoints(block, keep, newIndex);
}

CaseData readCasePieces(const CaseLayout& layout, int rank, int ranks, const ReadOptions& options) {
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
    // A process that holds a foamToVTK -parallel export (one piece per block) holds it whole.
    joinProcessorSeams(out);
    if (options.progress) options.progress(1.0);
    return out;
}

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// Points by their exact coordinates (open addressing; -0 and +0 are one). Every case pays one
// pass of its volume's points through it (some 30 ms for a million), so no map nodes.
class CoordTable {
public:
    explicit CoordTable(const RealArray& points) : m_points(points) {
        std::size_t capacity = 16;
        while (capacity < 2 * (points.size() / 3)) capacity <<= 1;
        m_slots.assign(capacity, kNone);
        m_mask = capacity - 1;
    }
    // The first point added with the coordinates of point p (p itself when they are new).
    std::uint32_t add(std::uint32_t p) {
        const CoordKey key = keyOf(p);
        for (std::size_t s = slotOf(key);; s = (s + 1) & m_mask) {
            if (m_slots[s] == kNone) return m_slots[s] = p;
            if (keyOf(m_slots[s]) == key) return m_slots[s];
        }
    }
    // The first point added at (x, y, z), or kNone.
    std::uint32_t find(double x, double y, double z) const {
        const CoordKey key{bitsOf(x), bitsOf(y), bitsOf(z)};
        for (std::size_t s = slotOf(key);; s = (s + 1) & m_mask) {
            if (m_slots[s] == kNone) return kNone;
            if (keyOf(m_slots[s]) == key) return m_slots[s];
        }
    }

private:
    CoordKey keyOf(std::uint32_t p) const {
        return {bitsOf(m_points[3 * std::size_t(p)]), bitsOf(m_points[3 * std::size_t(p) + 1]),
                bitsOf(m_points[3 * std::size_t(p) + 2])};
    }
    std::size_t slotOf(const CoordKey& k) const {
        // CoordHash mixes the low bits poorly for a power-of-two table: finish it.
        std::uint64_t h = CoordHash{}(k);
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        return std::size_t(h) & m_mask;
    }
    const RealArray& m_points;
    std::vector<std::uint32_t> m_slots;
    std::size_t m_mask = 0;
};

// Faces of the fixed cell types in VTK's point order (-1 ends a triangle).
using LocalFace = std::array<int, 4>;
constexpr LocalFace kTetFaces[] = {{0, 1, 3, -1}, {1, 2, 3, -1}, {2, 0, 3, -1}, {0, 2, 1, -1}};
constexpr LocalFace kPyramidFaces[] = {{0, 3, 2, 1}, {0, 1, 4, -1}, {1, 2, 4, -1}, {2, 3, 4, -1}, {3, 0, 4, -1}};
constexpr LocalFace kWedgeFaces[] = {{0, 1, 2, -1}, {3, 5, 4, -1}, {0, 3, 4, 1}, {1, 4, 5, 2}, {2, 5, 3, 0}};
constexpr LocalFace kHexFaces[] = {{0, 4, 7, 3}, {1, 2, 6, 5}, {0, 1, 5, 4}, {3, 7, 6, 2}, {0, 3, 2, 1}, {4, 5, 6, 7}};

std::span<const LocalFace> localFacesOf(int type) {
    switch (type) {
    case VtkTetra: return kTetFaces;
    case VtkPyramid: return kPyramidFaces;
    case VtkWedge: return kWedgeFaces;
    case VtkHexahedron: return kHexFaces;
    default: return {};
    }
}

using FaceIds = std::array<std::uint32_t, 4>; // sorted, kNone last for a triangle

FaceIds sortedIds(FaceIds ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
}

// A cell face all of whose points have copies elsewhere: by its points and by their
// coordinates (the first point at each position).
struct SeamFace {
    FaceIds points;
    FaceIds places;
};

// The interface faces of a volume block (pairs of free faces at the same places, no patch
// over them), by their points; `place` gets, per point, the first point at its position.
std::vector<FaceIds> interfaceFaces(const MeshBlock& volume, const std::vector<const MeshBlock*>& patches,
                                    const CoordTable& table, const std::vector<std::uint32_t>& place,
                                    const std::vector<char>& copied) {
    std::vector<SeamFace> faces;
    for (std::size_t c = 0; c < volume.numCells(); ++c) {
        const auto pts = volume.cells.cellPoints(c);
        for (const LocalFace& lf : localFacesOf(volume.cells.types[c])) {
            FaceIds ids{kNone, kNone, kNone, kNone}, at{kNone, kNone, kNone, kNone};
            bool all = true;
            for (std::size_t k = 0; k < 4 && lf[k] >= 0 && all; ++k) {
                const auto p = std::size_t(pts[std::size_t(lf[k])]);
                all = copied[p] != 0;
                ids[k] = std::uint32_t(p);
                at[k] = place[p];
            }
            if (all) faces.push_back({sortedIds(ids), sortedIds(at)});
        }
    }
    // A face that two cells share is no candidate.
    std::sort(faces.begin(), faces.end(), [](const SeamFace& a, const SeamFace& b) { return a.points < b.points; });
    std::vector<SeamFace> free;
    for (std::size_t i = 0; i < faces.size();) {
        std::size_t j = i + 1;
        while (j < faces.size() && faces[j].points == faces[i].points) ++j;
        if (j == i + 1) free.push_back(faces[i]);
        i = j;
    }
    std::vector<FaceIds> covered;
    for (const MeshBlock* patch : patches)
        for (std::size_t c = 0; c < patch->numCells(); ++c) {
            const auto pts = patch->cells.cellPoints(c);
            if (pts.size() < 3 || pts.size() > 4) continue;
            FaceIds at{kNone, kNone, kNone, kNone};
            bool all = true;
            for (std::size_t k = 0; k < pts.size() && all; ++k) {
                const auto p = std::size_t(pts[k]);
                const std::uint32_t q =
                    table.find(patch->points[3 * p], patch->points[3 * p + 1], patch->points[3 * p + 2]);
                all = q != kNone;
                if (all) at[k] = place[q];
            }
            if (all) covered.push_back(sortedIds(at));
        }
    std::sort(covered.begin(), covered.end());
    std::sort(free.begin(), free.end(), [](const SeamFace& a, const SeamFace& b) { return a.places < b.places; });
    std::vector<FaceIds> out;
    for (std::size_t i = 0; i < free.size();) {
        std::size_t j = i + 1;
        while (j < free.size() && free[j].places == free[i].places) ++j;
        // Exactly two: one face of each processor. A patch over them makes them a baffle.
        if (j == i + 2 && !std::binary_search(covered.begin(), covered.end(), free[i].places)) {
            out.push_back(free[i].points);
            out.push_back(free[i + 1].points);
        }
        i = j;
    }
    return out;
}

// Makes the points `join[p] != p` one with point join[p] (< p); returns how many went.
std::size_t joinPoints(MeshBlock& block, const std::vector<std::uint32_t>& join) {
    std::vector<std::int64_t> keep, newIndex(join.size());
    keep.reserve(join.size());
    for (std::size_t p = 0; p < join.size(); ++p) {
        if (join[p] == p) {
            newIndex[p] = std::int64_t(keep.size());
            keep.push_back(std::int64_t(p));
        } else {
            newIndex[p] = newIndex[join[p]];
        }
    }
    if (keep.size() != join.size()) keepPoints(block, keep, newIndex);
    return join.size() - keep.size();
}

// OpenFOAM's face centre: the area-weighted mean of the centroids of the triangles that fan
// from the mean of the points (the centroid itself for a triangle).
std::array<double, 3> faceCentre(const RealArray& points, std::span<const std::int64_t> face) {
    auto at = [&](std::size_t k) {
        const auto p = std::size_t(face[k]);
        return std::array<double, 3>{points[3 * p], points[3 * p + 1], points[3 * p + 2]};
    };
    const std::size_t n = face.size();
    std::array<double, 3> mean{0, 0, 0};
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t i = 0; i < 3; ++i) mean[i] += at(k)[i];
    for (double& m : mean) m /= double(n);
    if (n == 3) return mean;
    double sumA = 0;
    std::array<double, 3> sumAc{0, 0, 0};
    for (std::size_t k = 0; k < n; ++k) {
        const auto a = at(k), b = at((k + 1) % n);
        const std::array<double, 3> u{a[0] - mean[0], a[1] - mean[1], a[2] - mean[2]};
        const std::array<double, 3> v{b[0] - mean[0], b[1] - mean[1], b[2] - mean[2]};
        const double area = std::hypot(u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]);
        sumA += area;
        for (std::size_t i = 0; i < 3; ++i) sumAc[i] += area * (a[i] + b[i] + mean[i]);
    }
    if (sumA <= 1e-300) return mean;
    for (double& c : sumAc) c /= 3 * sumA;
    return sumAc;
}

// The point values of the patch's points `seam` from its face values (the cell arrays of the
// same name), as foamToVTK interpolates a patch field: weights 1 / |point - face centre|.
void reinterpolateSeam(MeshBlock& patch, const std::vector<char>& seam) {
    std::vector<std::array<double, 3>> centres(patch.numCells());
    std::vector<char> touches(patch.numCells(), 0);
    for (std::size_t c = 0; c < patch.numCells(); ++c) {
        const auto pts = patch.cells.cellPoints(c);
        if (pts.size() < 3) continue;
        for (std::int64_t p : pts) touches[c] = char(touches[c] | seam[std::size_t(p)]);
        if (touches[c] != 0) centres[c] = faceCentre(patch.points, pts);
    }
    for (FieldArray& pointArray : patch.pointData) {
        const FieldArray* faceArray = patch.findCellData(pointArray.name);
        if (faceArray == nullptr || faceArray->components != pointArray.components) continue;
        const auto nc = std::size_t(pointArray.components);
        std::vector<double> sum(patch.numPoints() * nc, 0.0), weight(patch.numPoints(), 0.0);
        for (std::size_t c = 0; c < patch.numCells(); ++c) {
            if (touches[c] == 0) continue;
            for (std::int64_t pi : patch.cells.cellPoints(c)) {
                const auto p = std::size_t(pi);
                if (seam[p] == 0) continue;
                const double d =
                    std::hypot(patch.points[3 * p] - centres[c][0], patch.points[3 * p + 1] - centres[c][1],
                               patch.points[3 * p + 2] - centres[c][2]);
                if (d <= 0) continue;
                weight[p] += 1 / d;
                for (std::size_t k = 0; k < nc; ++k) sum[p * nc + k] += faceArray->value(c, int(k)) / d;
            }
        }
        RealArray& values = pointArray.values;
        for (std::size_t p = 0; p < patch.numPoints(); ++p) {
            if (seam[p] == 0 || weight[p] <= 0) continue;
            for (std::size_t k = 0; k < nc; ++k) {
                const double v = sum[p * nc + k] / weight[p];
                if (values.isDouble())
                    values.f64Storage()[p * nc + k] = v;
                else
                    values.f32Storage()[p * nc + k] = float(v);
            }
        }
    }
}

// Makes the patch's copies of points at `seams` (the joined places of its volume) one and
// makes their values again.
void joinPatchSeam(MeshBlock& patch, const CoordTable& seams, std::size_t numSeams) {
    const std::size_t n = patch.numPoints();
    if (n == 0 || n >= kNone) return;
    std::vector<std::uint32_t> first(numSeams, kNone), join(n);
    std::vector<char> copies(numSeams, 0);
    bool any = false;
    for (std::size_t p = 0; p < n; ++p) {
        join[p] = std::uint32_t(p);
        const std::uint32_t s = seams.find(patch.points[3 * p], patch.points[3 * p + 1], patch.points[3 * p + 2]);
        if (s == kNone) continue;
        if (first[s] == kNone) {
            first[s] = std::uint32_t(p);
        } else {
            join[p] = first[s];
            copies[s] = 1;
            any = true;
        }
    }
    if (!any) return;
    std::vector<char> wasSeam(n, 0);
    for (std::size_t s = 0; s < numSeams; ++s)
        if (copies[s] != 0) wasSeam[first[s]] = 1;
    joinPoints(patch, join);
    // The kept points are in their old order: the first copies keep their rank among them.
    std::vector<char> seam;
    seam.reserve(patch.numPoints());
    for (std::size_t p = 0; p < n; ++p)
        if (join[p] == p) seam.push_back(wasSeam[p]);
    reinterpolateSeam(patch, seam);
}

std::string groupOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

std::size_t joinProcessorSeams(CaseData& data) {
    std::size_t joined = 0;
    for (MeshBlock& volume : data.blocks) {
        const std::size_t n = volume.numPoints();
        if (!volume.isVolume() || n < 2 || n >= kNone) continue;
        CoordTable table(volume.points);
        std::vector<std::uint32_t> place(n);
        std::vector<char> copied(n, 0);
        bool any = false;
        for (std::size_t p = 0; p < n; ++p) {
            place[p] = table.add(std::uint32_t(p));
            if (place[p] == p) continue;
            copied[p] = copied[place[p]] = 1;
            any = true;
        }
        if (!any) continue;
        const std::string group = groupOf(volume.path);
        std::vector<MeshBlock*> patches;
        for (MeshBlock& b : data.blocks)
            if (&b != &volume && !b.isVolume() && b.path.compare(0, group.size(), group) == 0) patches.push_back(&b);
        const std::vector<FaceIds> faces =
            interfaceFaces(volume, {patches.begin(), patches.end()}, table, place, copied);
        if (faces.empty()) continue;
        // Each point of an interface face goes to the first point of any interface face at
        // its position; other copies there (on no interface face) stay apart.
        std::vector<std::uint32_t> onFace;
        for (const FaceIds& f : faces)
            for (std::uint32_t p : f)
                if (p != kNone) onFace.push_back(p);
        std::sort(onFace.begin(), onFace.end());
        onFace.erase(std::unique(onFace.begin(), onFace.end()), onFace.end());
        std::vector<std::uint32_t> join(n), firstAt(n, kNone);
        std::iota(join.begin(), join.end(), std::uint32_t(0));
        std::vector<double> seamPoints;
        for (std::uint32_t p : onFace) {
            std::uint32_t& first = firstAt[place[p]];
            if (first == kNone) {
                first = p;
            } else {
                join[p] = first;
            }
        }
        for (std::uint32_t p : onFace)
            if (firstAt[place[p]] == p)
                for (std::size_t i = 0; i < 3; ++i) seamPoints.push_back(volume.points[3 * std::size_t(p) + i]);
        joined += joinPoints(volume, join);
        const RealArray seamArray{std::move(seamPoints)};
        CoordTable seams(seamArray);
        for (std::size_t s = 0; s < seamArray.size() / 3; ++s) seams.add(std::uint32_t(s));
        for (MeshBlock* patch : patches) joinPatchSeam(*patch, seams, seamArray.size() / 3);
    }
    return joined;
}

} // namespace zel::host
