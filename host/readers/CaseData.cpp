#include "host/readers/CaseData.h"

#include <algorithm>
#include <utility>

#include "framework/core/Format.h"
#include "host/readers/ReadError.h"

namespace zel::host {

CaseReadError::CaseReadError(const std::string& file, const std::string& where, const std::string& problem)
    : data::invalid("CaseReader", "read",
                    where.empty() ? _("'%s': %s", file, problem) : _("'%s' %s: %s", file, where, problem)),
      m_file(file), m_where(where), m_problem(problem) {}

int vtkCellDimension(int type) {
    switch (type) {
    case VtkVertex:
    case VtkPolyVertex: return 0;
    case VtkLine:
    case VtkPolyLine: return 1;
    case VtkTriangle:
    case VtkTriangleStrip:
    case VtkPolygon:
    case VtkPixel:
    case VtkQuad: return 2;
    case VtkTetra:
    case VtkVoxel:
    case VtkHexahedron:
    case VtkWedge:
    case VtkPyramid:
    case VtkPentagonalPrism:
    case VtkHexagonalPrism:
    case VtkPolyhedron: return 3;
    default: return -1;
    }
}

int vtkCellPointCount(int type) {
    switch (type) {
    case VtkVertex: return 1;
    case VtkLine: return 2;
    case VtkTriangle: return 3;
    case VtkPixel:
    case VtkQuad:
    case VtkTetra: return 4;
    case VtkPyramid: return 5;
    case VtkWedge: return 6;
    case VtkVoxel:
    case VtkHexahedron: return 8;
    case VtkPentagonalPrism: return 10;
    case VtkHexagonalPrism: return 12;
    case VtkPolyVertex:
    case VtkPolyLine:
    case VtkTriangleStrip:
    case VtkPolygon:
    case VtkPolyhedron: return 0;
    default: return -1;
    }
}

int vtkCellMinPointCount(int type) {
    switch (type) {
    case VtkPolyVertex: return 1;
    case VtkPolyLine: return 2;
    case VtkTriangleStrip:
    case VtkPolygon: return 3;
    case VtkPolyhedron: return 4;
    default: return vtkCellPointCount(type);
    }
}

std::string vtkCellTypeName(int type) {
    switch (type) {
    case VtkVertex: return "vertex";
    case VtkPolyVertex: return "poly-vertex";
    case VtkLine: return "line";
    case VtkPolyLine: return "poly-line";
    case VtkTriangle: return "triangle";
    case VtkTriangleStrip: return "triangle strip";
    case VtkPolygon: return "polygon";
    case VtkPixel: return "pixel";
    case VtkQuad: return "quad";
    case VtkTetra: return "tetrahedron";
    case VtkVoxel: return "voxel";
    case VtkHexahedron: return "hexahedron";
    case VtkWedge: return "wedge";
    case VtkPyramid: return "pyramid";
    case VtkPentagonalPrism: return "pentagonal prism";
    case VtkHexagonalPrism: return "hexagonal prism";
    case VtkPolyhedron: return "polyhedron";
    default: return _("type %d", type);
    }
}

const char* blockKindName(BlockKind kind) {
    switch (kind) {
    case BlockKind::Empty: return "empty";
    case BlockKind::Points: return "points";
    case BlockKind::Curve: return "curve";
    case BlockKind::Surface: return "surface";
    case BlockKind::Volume: return "volume";
    }
    return "?";
}

std::vector<double> RealArray::toDouble() const {
    if (m_isDouble) return m_f64;
    return std::vector<double>(m_f32.begin(), m_f32.end());
}

std::vector<float> RealArray::toFloat() const {
    if (!m_isDouble) return m_f32;
    std::vector<float> out(m_f64.size());
    std::transform(m_f64.begin(), m_f64.end(), out.begin(), [](double v) { return static_cast<float>(v); });
    return out;
}

void RealArray::append(const RealArray& other) {
    if (other.m_isDouble && !m_isDouble) {
        m_f64.assign(m_f32.begin(), m_f32.end());
        m_f32 = {};
        m_isDouble = true;
    }
    if (m_isDouble) {
        if (other.m_isDouble)
            m_f64.insert(m_f64.end(), other.m_f64.begin(), other.m_f64.end());
        else
            m_f64.insert(m_f64.end(), other.m_f32.begin(), other.m_f32.end());
    } else {
        m_f32.insert(m_f32.end(), other.m_f32.begin(), other.m_f32.end());
    }
}

RealArray RealArray::gather(std::span<const std::int64_t> take) const {
    if (m_isDouble) {
        std::vector<double> out(take.size());
        for (std::size_t i = 0; i < take.size(); ++i) out[i] = m_f64[std::size_t(take[i])];
        return RealArray(std::move(out));
    }
    std::vector<float> out(take.size());
    for (std::size_t i = 0; i < take.size(); ++i) out[i] = m_f32[std::size_t(take[i])];
    return RealArray(std::move(out));
}

int MeshBlock::dimension() const {
    int dim = -1;
    for (std::uint8_t t : cells.types) {
        dim = std::max(dim, vtkCellDimension(t));
        if (dim == 3) break;
    }
    return dim;
}

namespace {

const FieldArray* findArray(const std::vector<FieldArray>& arrays, std::string_view name) {
    for (const FieldArray& a : arrays)
        if (a.name == name) return &a;
    return nullptr;
}

} // namespace

const FieldArray* MeshBlock::findPointData(std::string_view name) const { return findArray(pointData, name); }
const FieldArray* MeshBlock::findCellData(std::string_view name) const { return findArray(cellData, name); }

std::size_t CaseData::numVolumeBlocks() const {
    return std::size_t(std::count_if(blocks.begin(), blocks.end(), [](const MeshBlock& b) { return b.isVolume(); }));
}

const MeshBlock* CaseData::findBlock(std::string_view name) const {
    for (const MeshBlock& b : blocks)
        if (b.name == name || b.path == name) return &b;
    return nullptr;
}

namespace {

// Walks the face list of polyhedron `cell` (faces[begin, end)); calls onPoint for every point
// index. Returns an empty string when the list is well formed, else what is wrong.
template <typename OnPoint> std::string walkPolyhedronFaces(std::span<const std::int64_t> faces, OnPoint&& onPoint) {
    if (faces.empty()) return "has no face list";
    const std::int64_t nFaces = faces[0];
    if (nFaces < 4) return _("has %lld faces", static_cast<long long>(nFaces));
    std::size_t i = 1;
    for (std::int64_t f = 0; f < nFaces; ++f) {
        if (i >= faces.size()) return "face list ends early";
        const std::int64_t n = faces[i++];
        if (n < 3 || std::size_t(n) > faces.size() - i)
            return _("face %lld has a bad point count", static_cast<long long>(f));
        for (std::int64_t k = 0; k < n; ++k) onPoint(faces[i++]);
    }
    if (i != faces.size()) return "face list is longer than its faces";
    return {};
}

} // namespace

void validateBlock(MeshBlock& block) {
    const std::string& file = block.sourceFile;
    const std::string where = block.name.empty() ? std::string() : _("block '%s'", block.name);
    auto fail = [&](const std::string& problem) { throw CaseReadError(file, where, problem); };

    if (block.points.size() % 3 != 0) fail(_("%zu point coordinates are not a multiple of 3", block.points.size()));
    const std::int64_t nPoints = std::int64_t(block.numPoints());
    CellArrays& cells = block.cells;
    const std::size_t nCells = cells.types.size();
    if (cells.offsets.size() != nCells + 1 || cells.offsets.front() != 0)
        fail(_("%zu cell offsets for %zu cells", cells.offsets.size(), nCells));
    if (std::size_t(cells.offsets.back()) != cells.connectivity.size())
        fail(_("cell offsets end at %lld but the connectivity has %zu entries",
               static_cast<long long>(cells.offsets.back()), cells.connectivity.size()));
    const bool hasFaces = !cells.faceOffsets.empty();
    if (hasFaces && (cells.faceOffsets.size() != nCells + 1 || cells.faceOffsets.front() != 0 ||
                     std::size_t(cells.faceOffsets.back()) != cells.faces.size()))
        fail("polyhedron face offsets do not match the cells and the face list");

    for (std::size_t c = 0; c < nCells; ++c) {
        const int type = cells.types[c];
        const int fixed = vtkCellPointCount(type);
        if (fixed < 0) fail(_("cell %zu has the unknown or unsupported cell type %d", c, type));
        const std::int64_t begin = cells.offsets[c], end = cells.offsets[c + 1];
        if (end < begin) fail(_("cell offsets decrease at cell %zu", c));
        const std::int64_t n = end - begin;
        if (fixed > 0 ? n != fixed : n < vtkCellMinPointCount(type))
            fail(_("cell %zu (%s) has %lld points", c, vtkCellTypeName(type), static_cast<long long>(n)));
        for (std::int64_t k = begin; k < end; ++k) {
            const std::int64_t p = cells.connectivity[std::size_t(k)];
            if (p < 0 || p >= nPoints)
                fail(_("cell %zu refers to point %lld; there are %lld points", c, static_cast<long long>(p),
                       static_cast<long long>(nPoints)));
        }
        if (hasFaces && cells.faceOffsets[c + 1] < cells.faceOffsets[c])
            fail(_("polyhedron face offsets decrease at cell %zu", c));
        if (type == VtkPolyhedron) {
            if (!hasFaces) fail(_("polyhedron cell %zu has no face list", c));
            const auto faces = std::span<const std::int64_t>(cells.faces)
                                   .subspan(std::size_t(cells.faceOffsets[c]),
                                            std::size_t(cells.faceOffsets[c + 1] - cells.faceOffsets[c]));
            bool outside = false;
            const std::string bad =
                walkPolyhedronFaces(faces, [&](std::int64_t p) { outside |= p < 0 || p >= nPoints; });
            if (!bad.empty()) fail(_("polyhedron cell %zu %s", c, bad));
            if (outside) fail(_("a face of polyhedron cell %zu refers to a point that does not exist", c));
        }
    }

    auto checkArrays = [&](const std::vector<FieldArray>& arrays, std::size_t tuples, const char* what) {
        for (const FieldArray& a : arrays) {
            if (a.components < 1) fail(_("%s array '%s' has %d components", what, a.name, a.components));
            if (a.values.size() != tuples * std::size_t(a.components))
                fail(_("%s array '%s' has %zu values; %zu tuples of %d components expected", what, a.name,
                       a.values.size(), tuples, a.components));
        }
    };
    checkArrays(block.pointData, block.numPoints(), "point data");
    checkArrays(block.cellData, nCells, "cell data");

    switch (block.dimension()) {
    case 3: block.kind = BlockKind::Volume; break;
    case 2: block.kind = BlockKind::Surface; break;
    case 1: block.kind = BlockKind::Curve; break;
    case 0: block.kind = BlockKind::Points; break;
    default: block.kind = BlockKind::Empty; break;
    }
}

void normalizeCells(MeshBlock& block) {
    CellArrays& cells = block.cells;
    bool strips = false;
    for (std::size_t c = 0; c < cells.types.size(); ++c) {
        const std::uint8_t type = cells.types[c];
        std::int64_t* p = cells.connectivity.data() + cells.offsets[c];
        if (type == VtkPixel) {
            std::swap(p[2], p[3]);
            cells.types[c] = VtkQuad;
        } else if (type == VtkVoxel) {
            std::swap(p[2], p[3]);
            std::swap(p[6], p[7]);
            cells.types[c] = VtkHexahedron;
        } else if (type == VtkTriangleStrip) {
            strips = true;
        }
    }
    if (!strips) return;

    // Split every strip into triangles, alternating the order so all keep the strip's orientation;
    // `source` maps each new cell to the old one for the cell data.
    CellArrays out;
    std::vector<std::int64_t> source;
    out.types.reserve(cells.types.size());
    out.connectivity.reserve(cells.connectivity.size());
    for (std::size_t c = 0; c < cells.types.size(); ++c) {
        const auto pts = cells.cellPoints(c);
        if (cells.types[c] == VtkTriangleStrip) {
            for (std::size_t i = 0; i + 2 < pts.size(); ++i) {
                const bool odd = (i % 2) == 1;
                out.types.push_back(VtkTriangle);
                out.connectivity.push_back(odd ? pts[i + 1] : pts[i]);
                out.connectivity.push_back(odd ? pts[i] : pts[i + 1]);
                out.connectivity.push_back(pts[i + 2]);
                out.offsets.push_back(std::int64_t(out.connectivity.size()));
                source.push_back(std::int64_t(c));
            }
            continue;
        }
        out.types.push_back(cells.types[c]);
        out.connectivity.insert(out.connectivity.end(), pts.begin(), pts.end());
        out.offsets.push_back(std::int64_t(out.connectivity.size()));
        source.push_back(std::int64_t(c));
    }
    if (!cells.faceOffsets.empty()) {
        out.faceOffsets.assign(1, 0);
        for (std::int64_t c : source) {
            if (cells.types[std::size_t(c)] != VtkTriangleStrip)
                out.faces.insert(out.faces.end(), cells.faces.begin() + cells.faceOffsets[std::size_t(c)],
                                 cells.faces.begin() + cells.faceOffsets[std::size_t(c) + 1]);
            out.faceOffsets.push_back(std::int64_t(out.faces.size()));
        }
    }
    cells = std::move(out);
    for (FieldArray& a : block.cellData) {
        if (a.components == 1) {
            a.values = a.values.gather(source);
            continue;
        }
        std::vector<std::int64_t> take;
        take.reserve(source.size() * std::size_t(a.components));
        for (std::int64_t c : source)
            for (int k = 0; k < a.components; ++k) take.push_back(c * a.components + k);
        a.values = a.values.gather(take);
    }
}

namespace {

void appendArrays(const std::string& file, const char* what, std::vector<FieldArray>& into,
                  std::vector<FieldArray>&& from) {
    if (into.size() != from.size())
        throw CaseReadError(file, "",
                            _("pieces carry different %s arrays (%zu and %zu)", what, into.size(), from.size()));
    for (std::size_t i = 0; i < into.size(); ++i) {
        if (into[i].name != from[i].name || into[i].components != from[i].components)
            throw CaseReadError(
                file, "", _("pieces carry different %s arrays ('%s' and '%s')", what, into[i].name, from[i].name));
        into[i].values.append(from[i].values);
    }
}

} // namespace

void appendPiece(MeshBlock& block, MeshBlock&& piece) {
    const std::int64_t pointBase = std::int64_t(block.numPoints());
    const std::int64_t connBase = std::int64_t(block.cells.connectivity.size());
    appendArrays(block.sourceFile, "point data", block.pointData, std::move(piece.pointData));
    appendArrays(block.sourceFile, "cell data", block.cellData, std::move(piece.cellData));
    block.points.append(piece.points);

    CellArrays& to = block.cells;
    CellArrays& from = piece.cells;
    const std::size_t oldCells = to.types.size();
    to.types.insert(to.types.end(), from.types.begin(), from.types.end());
    for (std::int64_t p : from.connectivity) to.connectivity.push_back(p + pointBase);
    for (std::size_t c = 1; c < from.offsets.size(); ++c) to.offsets.push_back(from.offsets[c] + connBase);

    if (to.faceOffsets.empty() && from.faceOffsets.empty()) return;
    if (to.faceOffsets.empty()) to.faceOffsets.assign(oldCells + 1, 0);
    if (from.faceOffsets.empty()) from.faceOffsets.assign(from.types.size() + 1, 0);
    const std::int64_t faceBase = std::int64_t(to.faces.size());
    // Face lists hold counts and point indices; shift only the indices.
    for (std::size_t c = 0; c < from.types.size(); ++c) {
        std::size_t i = std::size_t(from.faceOffsets[c]);
        const std::size_t end = std::size_t(from.faceOffsets[c + 1]);
        if (i < end) {
            const std::int64_t nFaces = from.faces[i];
            to.faces.push_back(from.faces[i++]);
            for (std::int64_t f = 0; f < nFaces && i < end; ++f) {
                const std::int64_t n = from.faces[i];
                to.faces.push_back(from.faces[i++]);
                for (std::int64_t k = 0; k < n && i < end; ++k) to.faces.push_back(from.faces[i++] + pointBase);
            }
            while (i < end) to.faces.push_back(from.faces[i++]); // malformed tail: validation reports it
        }
        to.faceOffsets.push_back(from.faceOffsets[c + 1] + faceBase);
    }
}

} // namespace zel::host
