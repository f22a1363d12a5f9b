#pragma once
// The plain result of reading a case: blocks of points, cells and field arrays, free of the
// library's geometry types so that the readers stay testable on their own and the code that
// builds domains and boundaries from them can change without touching the file formats.
//
// Everything is kept flat (one vector per quantity, no per-cell allocation): a block of a
// million cells is a handful of vectors.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel::host {

// VTK cell type codes as they appear in the files. Readers turn PIXEL into QUAD, VOXEL into
// HEXAHEDRON and TRIANGLE_STRIP into TRIANGLEs, so blocks never hold those three.
enum VtkCellType : std::uint8_t {
    VtkEmptyCell = 0,
    VtkVertex = 1,
    VtkPolyVertex = 2,
    VtkLine = 3,
    VtkPolyLine = 4,
    VtkTriangle = 5,
    VtkTriangleStrip = 6,
    VtkPolygon = 7,
    VtkPixel = 8,
    VtkQuad = 9,
    VtkTetra = 10,
    VtkVoxel = 11,
    VtkHexahedron = 12,
    VtkWedge = 13,
    VtkPyramid = 14,
    VtkPentagonalPrism = 15,
    VtkHexagonalPrism = 16,
    VtkPolyhedron = 42
};

// Topological dimension of a supported cell type (0..3), or -1 when the type is not supported.
int vtkCellDimension(int type);
// Number of points of a fixed-size cell type, 0 for the variable-size ones (poly-vertex,
// poly-line, polygon, strip, polyhedron) and -1 for an unsupported type.
int vtkCellPointCount(int type);
// Smallest number of points a cell of the type may have (1 for poly-vertex, 2 for poly-line,
// 3 for polygon and strip, 4 for polyhedron); the fixed count for the other types.
int vtkCellMinPointCount(int type);
// "hexahedron", "wedge", ... for messages; "type N" for anything else.
std::string vtkCellTypeName(int type);

// Flat real values, kept in the precision of the file: single precision for Float32 (and the
// small integer types, which it holds exactly), double for everything else.
class RealArray {
public:
    RealArray() = default;
    explicit RealArray(std::vector<float> values) : m_f32(std::move(values)) {}
    explicit RealArray(std::vector<double> values) : m_f64(std::move(values)), m_isDouble(true) {}

    bool isDouble() const { return m_isDouble; }
    std::size_t size() const { return m_isDouble ? m_f64.size() : m_f32.size(); }
    bool empty() const { return size() == 0; }
    double operator[](std::size_t i) const { return m_isDouble ? m_f64[i] : double(m_f32[i]); }

    // The stored values; the span of the other precision is empty.
    std::span<const float> f32() const { return m_f32; }
    std::span<const double> f64() const { return m_f64; }
    std::vector<float>& f32Storage() { return m_f32; }
    std::vector<double>& f64Storage() { return m_f64; }

    std::vector<double> toDouble() const;
    std::vector<float> toFloat() const;

    // Appends the values of another array, widening this one to double when either is double.
    void append(const RealArray& other);
    // Keeps values[i] for i in `take` (in that order).
    RealArray gather(std::span<const std::int64_t> take) const;

private:
    std::vector<float> m_f32;
    std::vector<double> m_f64;
    bool m_isDouble = false;
};

// One named array of point or cell values: #tuples by `components`, tuple-major.
struct FieldArray {
    std::string name;
    int components = 1;
    RealArray values;

    std::size_t tuples() const { return components > 0 ? values.size() / std::size_t(components) : 0; }
    double value(std::size_t tuple, int component = 0) const {
        return values[tuple * std::size_t(components) + std::size_t(component)];
    }
};

// Cells in the VTK layout: cell c has type types[c] and the points
// connectivity[offsets[c] .. offsets[c+1]). offsets has #cells + 1 entries, starting at 0.
// A polyhedron (type 42) also has its faces in
// faces[faceOffsets[c] .. faceOffsets[c+1]) as: #faces, then per face #points and the point
// indices; faceOffsets is empty when the block holds no polyhedron.
struct CellArrays {
    std::vector<std::uint8_t> types;
    std::vector<std::int64_t> offsets{0};
    std::vector<std::int64_t> connectivity;
    std::vector<std::int64_t> faceOffsets;
    std::vector<std::int64_t> faces;

    std::size_t size() const { return types.size(); }
    std::span<const std::int64_t> cellPoints(std::size_t c) const {
        return std::span<const std::int64_t>(connectivity)
            .subspan(std::size_t(offsets[c]), std::size_t(offsets[c + 1] - offsets[c]));
    }
};

enum class BlockKind {
    Empty,   // no cells
    Points,  // vertices only
    Curve,   // lines (and maybe vertices)
    Surface, // 2D cells: a boundary patch or a surface
    Volume   // at least one 3D cell
};

const char* blockKindName(BlockKind kind);

// One dataset of a case: a volume mesh or a boundary patch.
struct MeshBlock {
    std::string name;       // the dataset's name in the case (patch name for a boundary)
    std::string path;       // names of the enclosing multiblock groups and the block, joined by '/'
    std::string sourceFile; // the file the block was read from
    BlockKind kind = BlockKind::Empty;
    RealArray points; // #points by 3
    CellArrays cells;
    std::vector<FieldArray> pointData; // each #points tuples
    std::vector<FieldArray> cellData;  // each #cells tuples
    std::vector<FieldArray> fieldData; // dataset-wide arrays of numbers (e.g. "TimeValue")

    std::size_t numPoints() const { return points.size() / 3; }
    std::size_t numCells() const { return cells.size(); }
    bool isVolume() const { return kind == BlockKind::Volume; }
    // Largest cell dimension, -1 without cells.
    int dimension() const;
    const FieldArray* findPointData(std::string_view name) const;
    const FieldArray* findCellData(std::string_view name) const;
};

// A whole case: one file, or a multiblock file with the datasets it references, in the order
// of the multiblock file (foamToVTK: the volume "internal" first, then the boundary patches).
struct CaseData {
    std::string sourceFile;
    std::optional<double> time; // "TimeValue" of the case or of its first block, if given
    std::vector<MeshBlock> blocks;

    std::size_t numVolumeBlocks() const;
    const MeshBlock* findBlock(std::string_view name) const;
};

// Options of the case readers.
struct ReadOptions {
    // Called now and then with the fraction (0..1) of the case's bytes read so far, ending with 1;
    // for a progress bar on long loads. May be empty.
    std::function<void(double fraction)> progress;
    // Called with the wall time of reading each file's bytes, in seconds (the rest of a read is
    // decoding), and the file's size. May be empty.
    std::function<void(double seconds, std::size_t bytes)> readTime;
};

// Checks the invariants documented above (offsets, point indices, per-type point counts, array
// lengths) and sets `kind`. Throws CaseReadError naming `block.sourceFile` on the first fault.
void validateBlock(MeshBlock& block);

// Rewrites the cell types that blocks do not keep: PIXEL -> QUAD and VOXEL -> HEXAHEDRON
// (reordered points), TRIANGLE_STRIP -> TRIANGLEs with the strip's cell values repeated.
// Expects a validated block.
void normalizeCells(MeshBlock& block);

// Appends piece `piece` to `block` (points, cells with shifted indices, arrays by name).
// Pieces must carry the same arrays; throws CaseReadError otherwise.
void appendPiece(MeshBlock& block, MeshBlock&& piece);

} // namespace zel::host
