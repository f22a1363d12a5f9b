#include "host/readers/VtkLegacyReader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <optional>

#include "framework/core/Format.h"
#include "host/readers/FileBytes.h"
#include "host/readers/ReadError.h"
#include "host/readers/VtkDecode.h"

namespace zel::host {

namespace {

using vtkio::ScalarType;
using vtkio::TypedData;

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\v'; }

// Legacy array names escape blanks and other special characters as %XX.
std::string decodeName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned value = 0;
        if (name[i] == '%' && i + 2 < name.size() &&
            std::from_chars(name.data() + i + 1, name.data() + i + 3, value, 16).ptr == name.data() + i + 3) {
            out += char(value);
            i += 2;
        } else {
            out += name[i];
        }
    }
    return out;
}

// One cell list of the file (CELLS, or a POLYDATA section) in offsets + connectivity form.
struct CellList {
    bool present = false;
    std::vector<std::int64_t> offsets{0};
    std::vector<std::int64_t> connectivity;
    std::size_t count() const { return offsets.size() - 1; }
};

class LegacyParser {
public:
    LegacyParser(std::string_view text, std::string file) : m_text(text), m_file(std::move(file)) {}

    MeshBlock parse();

private:
    [[noreturn]] void fail(std::size_t line, const std::string& problem) const {
        throw CaseReadError(m_file, _("line %zu", line), problem);
    }

    void skipSpace() {
        while (m_pos < m_text.size() && isSpace(m_text[m_pos])) {
            if (m_text[m_pos] == '\n') ++m_line;
            ++m_pos;
        }
    }
    // Next whitespace-separated token; empty at the end of the file.
    std::string_view token() {
        skipSpace();
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && !isSpace(m_text[m_pos])) ++m_pos;
        return m_text.substr(start, m_pos - start);
    }
    std::string_view peekToken() {
        const std::size_t pos = m_pos, line = m_line;
        std::string_view t = token();
        m_pos = pos;
        m_line = line;
        return t;
    }
    // Next token if it is on the current line, else empty (and nothing consumed).
    std::string_view tokenOnLine() {
        std::size_t p = m_pos;
        while (p < m_text.size() && isSpace(m_text[p]) && m_text[p] != '\n') ++p;
        if (p >= m_text.size() || m_text[p] == '\n') return {};
        m_pos = p;
        return token();
    }
    std::string_view requireToken(const char* what) {
        std::string_view t = token();
        if (t.empty()) fail(m_line, _("the file ends where %s was expected", what));
        return t;
    }
    // Rest of the current line (without the line break), moving to the next line.
    std::string_view restOfLine() {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] != '\n') ++m_pos;
        std::string_view line = m_text.substr(start, m_pos - start);
        if (m_pos < m_text.size()) {
            ++m_pos;
            ++m_line;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }
    // Line of the next token.
    std::size_t nextLine() {
        skipSpace();
        return m_line;
    }
    std::size_t requireCount(const char* what) {
        const std::size_t line = nextLine();
        std::string_view t = requireToken(what);
        std::uint64_t value = 0;
        auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
        if (ec != std::errc() || end != t.data() + t.size() || value > (std::uint64_t(1) << 40))
            fail(line, _("%s: '%s' is not a valid count", what, std::string(t)));
        return std::size_t(value);
    }
    ScalarType requireType(const char* what) {
        const std::size_t line = nextLine();
        std::string_view t = requireToken(what);
        auto type = vtkio::legacyScalarType(t);
        if (!type) fail(line, _("%s: unsupported data type '%s'", what, std::string(t)));
        return *type;
    }

    TypedData readValues(std::size_t count, ScalarType type, const std::string& what, std::size_t line);
    std::vector<std::int64_t> readIndices(std::size_t count, ScalarType type, const std::string& what,
                                          std::size_t line);
    CellList readCells(const char* keyword, std::size_t line);
    void skipMetadata();
    FieldArray readArray(std::string name, int components, std::size_t tuples, ScalarType type, const std::string& what,
                         std::size_t line);
    void readFieldArrays(std::vector<FieldArray>& into, std::size_t expectedTuples, bool checkTuples);

    std::string_view m_text;
    std::string m_file;
    std::size_t m_pos = 0;
    std::size_t m_line = 1;
    bool m_binary = false;
};

TypedData LegacyParser::readValues(std::size_t count, ScalarType type, const std::string& what, std::size_t line) {
    TypedData data;
    data.type = type;
    const std::size_t size = vtkio::scalarSize(type);
    if (m_binary) {
        // Binary values start on the line after their keyword line.
        restOfLine();
        const std::size_t left = m_text.size() - m_pos;
        if (count > left / size)
            fail(line, _("%s: binary data is truncated: %zu values of %zu bytes needed, %zu bytes left", what, count,
                         size, left));
        const auto* begin = reinterpret_cast<const unsigned char*>(m_text.data() + m_pos);
        data.bytes.assign(begin, begin + count * size);
        // Keep line numbers of later keywords right, as an editor would count them.
        m_line += std::size_t(std::count(m_text.begin() + std::ptrdiff_t(m_pos),
                                         m_text.begin() + std::ptrdiff_t(m_pos + count * size), '\n'));
        m_pos += count * size;
        if (vtkio::hostIsLittleEndian()) vtkio::swapBytes(data.bytes, size);
        return data;
    }
    // Every ASCII value takes at least two characters: check before allocating for a bad count.
    if (count > (m_text.size() - m_pos) / 2 + 1)
        fail(line, _("%s: the file is too short to hold %zu values", what, count));
    data.bytes.resize(count * size);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view t = token();
        if (t.empty()) fail(line, _("%s: the file ends after %zu of %zu values", what, i, count));
        if (!vtkio::parseNumber(t, type, data.bytes.data() + i * size))
            fail(m_line, _("%s: '%s' is not a number of type %s", what, std::string(t.substr(0, 40)),
                           vtkio::scalarTypeName(type)));
    }
    return data;
}

std::vector<std::int64_t> LegacyParser::readIndices(std::size_t count, ScalarType type, const std::string& what,
                                                    std::size_t line) {
    if (vtkio::isFloating(type)) fail(line, _("%s: indices must have an integer type", what));
    return vtkio::toInt64(readValues(count, type, what, line));
}

CellList LegacyParser::readCells(const char* keyword, std::size_t line) {
    CellList list;
    list.present = true;
    const std::size_t first = requireCount(keyword);
    const std::size_t second = requireCount(keyword);
    if (upper(peekToken()) == "OFFSETS") {
        // Version 5 layout: "<keyword> #offsets #connectivity", then OFFSETS and CONNECTIVITY arrays.
        token();
        const std::size_t offLine = m_line;
        const ScalarType offType = requireType("OFFSETS");
        std::vector<std::int64_t> offsets = readIndices(first, offType, _("%s OFFSETS", keyword), offLine);
        const std::size_t connLine = nextLine();
        if (upper(token()) != "CONNECTIVITY") fail(m_line, _("%s: CONNECTIVITY expected after the offsets", keyword));
        const ScalarType connType = requireType("CONNECTIVITY");
        list.connectivity = readIndices(second, connType, _("%s CONNECTIVITY", keyword), connLine);
        if (offsets.empty()) offsets.push_back(0);
        if (offsets.front() != 0 || std::size_t(offsets.back()) != second)
            fail(offLine, _("%s: offsets run from %lld to %lld but there are %zu connectivity entries", keyword,
                            static_cast<long long>(offsets.front()), static_cast<long long>(offsets.back()), second));
        for (std::size_t i = 1; i < offsets.size(); ++i)
            if (offsets[i] < offsets[i - 1]) fail(offLine, _("%s: offsets decrease at entry %zu", keyword, i));
        list.offsets = std::move(offsets);
        return list;
    }
    // Count-prefixed layout: "<keyword> #cells #ints", then per cell its point count and points.
    const std::vector<std::int64_t> ints = readIndices(second, ScalarType::Int32, keyword, line);
    if (first > ints.size())
        fail(line, _("%s: %zu cells cannot fit in a list of %zu values", keyword, first, ints.size()));
    list.offsets.reserve(first + 1);
    list.connectivity.reserve(second > first ? second - first : 0);
    std::size_t i = 0;
    for (std::size_t c = 0; c < first; ++c) {
        if (i >= ints.size())
            fail(line, _("%s: the list of %zu values ends at cell %zu of %zu", keyword, second, c, first));
        const std::int64_t n = ints[i++];
        if (n < 0 || std::size_t(n) > ints.size() - i)
            fail(line,
                 _("%s: cell %zu claims %lld points, more than the list holds", keyword, c, static_cast<long long>(n)));
        list.connectivity.insert(list.connectivity.end(), ints.begin() + std::ptrdiff_t(i),
                                 ints.begin() + std::ptrdiff_t(i + std::size_t(n)));
        list.offsets.push_back(std::int64_t(list.connectivity.size()));
        i += std::size_t(n);
    }
    if (i != ints.size())
        fail(line, _("%s: %zu cells use %zu of the %zu values given", keyword, first, i, ints.size()));
    return list;
}

// Information keys VTK writes after an array: lines up to the next empty line.
void LegacyParser::skipMetadata() {
    restOfLine();
    while (m_pos < m_text.size()) {
        std::string_view line = restOfLine();
        if (std::all_of(line.begin(), line.end(), [](char c) { return isSpace(c); })) return;
    }
}

FieldArray LegacyParser::readArray(std::string name, int components, std::size_t tuples, ScalarType type,
                                   const std::string& what, std::size_t line) {
    FieldArray a;
    a.name = std::move(name);
    a.components = components;
    a.values = vtkio::toRealArray(readValues(tuples * std::size_t(components), type, what, line));
    return a;
}

void LegacyParser::readFieldArrays(std::vector<FieldArray>& into, std::size_t expectedTuples, bool checkTuples) {
    token(); // the field's name
    const std::size_t count = requireCount("FIELD");
    for (std::size_t k = 0; k < count; ++k) {
        if (upper(peekToken()) == "METADATA") {
            token();
            skipMetadata();
        }
        const std::size_t line = nextLine();
        std::string name = decodeName(requireToken("a FIELD array name"));
        if (upper(name) == "NULL_ARRAY") continue;
        const std::size_t components = requireCount("FIELD array");
        const std::size_t tuples = requireCount("FIELD array");
        const std::size_t typeLine = nextLine();
        std::string_view typeName = requireToken("a FIELD array type");
        auto type = vtkio::legacyScalarType(typeName);
        if (!type) fail(typeLine, _("FIELD array '%s': unsupported data type '%s'", name, std::string(typeName)));
        if (components < 1) fail(line, _("FIELD array '%s' has no components", name));
        if (checkTuples && tuples != expectedTuples)
            fail(line, _("FIELD array '%s' has %zu tuples; %zu expected", name, tuples, expectedTuples));
        into.push_back(readArray(name, int(components), tuples, *type, _("FIELD array '%s'", name), line));
    }
}

MeshBlock LegacyParser::parse() {
    // Header: "# vtk DataFile Version x.y", a title line, ASCII or BINARY, DATASET <type>.
    std::string_view first = restOfLine();
    if (upper(first.substr(0, 14)) != "# VTK DATAFILE") fail(1, "not a VTK legacy file (no '# vtk DataFile' header)");
    if (m_pos >= m_text.size()) fail(m_line, "the file ends after its first line");
    restOfLine(); // title
    const std::size_t formatLine = nextLine();
    std::string format = upper(token());
    if (format == "BINARY")
        m_binary = true;
    else if (format != "ASCII")
        fail(formatLine, _("ASCII or BINARY expected, found '%s'", format));
    const std::size_t datasetLine = nextLine();
    if (upper(token()) != "DATASET") fail(datasetLine, "DATASET expected");
    const std::string dataset = upper(token());
    const bool polydata = dataset == "POLYDATA";
    if (!polydata && dataset != "UNSTRUCTURED_GRID")
        fail(datasetLine, _("DATASET %s is not supported (UNSTRUCTURED_GRID and POLYDATA are)", dataset));

    MeshBlock block;
    block.sourceFile = m_file;
    bool havePoints = false;
    CellList cells, verts, lines, polys, strips;
    std::vector<std::int64_t> types;
    bool haveTypes = false;
    enum class Section { None, Point, Cell } section = Section::None;
    std::size_t sectionTuples = 0;

    auto numCells = [&]() {
        return polydata ? verts.count() + lines.count() + polys.count() + strips.count() : cells.count();
    };

    while (true) {
        const std::size_t line = nextLine();
        const std::string_view tok = token();
        if (tok.empty()) break;
        const std::string key = upper(tok);
        if (key == "POINTS") {
            if (havePoints) fail(line, "POINTS given twice");
            const std::size_t n = requireCount("POINTS");
            const ScalarType type = requireType("POINTS");
            block.points = vtkio::toRealArray(readValues(3 * n, type, "POINTS", line));
            havePoints = true;
        } else if (!polydata && key == "CELLS") {
            if (cells.present) fail(line, "CELLS given twice");
            cells = readCells("CELLS", line);
        } else if (!polydata && key == "CELL_TYPES") {
            if (haveTypes) fail(line, "CELL_TYPES given twice");
            const std::size_t n = requireCount("CELL_TYPES");
            types = readIndices(n, ScalarType::Int32, "CELL_TYPES", line);
            haveTypes = true;
        } else if (polydata && (key == "VERTICES" || key == "LINES" || key == "POLYGONS" || key == "TRIANGLE_STRIPS")) {
            CellList& list = key == "VERTICES" ? verts : key == "LINES" ? lines : key == "POLYGONS" ? polys : strips;
            if (list.present) fail(line, _("%s given twice", key));
            list = readCells(key.c_str(), line);
        } else if (key == "POINT_DATA" || key == "CELL_DATA") {
            sectionTuples = requireCount(key.c_str());
            section = key == "POINT_DATA" ? Section::Point : Section::Cell;
            const std::size_t have = section == Section::Point ? block.numPoints() : numCells();
            if (sectionTuples != have)
                fail(line, _("%s %zu, but the file has %zu %s", key, sectionTuples, have,
                             section == Section::Point ? "points" : "cells"));
        } else if (key == "METADATA") {
            skipMetadata();
        } else if (key == "FIELD" && section == Section::None) {
            readFieldArrays(block.fieldData, 0, false);
        } else if (key == "FIELD") {
            readFieldArrays(section == Section::Point ? block.pointData : block.cellData, sectionTuples, true);
        } else if (key == "SCALARS" || key == "VECTORS" || key == "NORMALS" || key == "TENSORS" || key == "TENSORS6" ||
                   key == "TEXTURE_COORDINATES" || key == "GLOBAL_IDS" || key == "PEDIGREE_IDS" ||
                   key == "EDGE_FLAGS" || key == "COLOR_SCALARS" || key == "LOOKUP_TABLE") {
            if (section == Section::None) fail(line, _("%s before POINT_DATA or CELL_DATA", key));
            std::vector<FieldArray>& into = section == Section::Point ? block.pointData : block.cellData;
            const std::string name = decodeName(requireToken("an array name"));
            const std::string what = _("%s '%s'", key, name);
            if (key == "LOOKUP_TABLE") {
                // A colour table for SCALARS: nothing the case needs.
                const std::size_t n = requireCount("LOOKUP_TABLE");
                readValues(4 * n, m_binary ? ScalarType::UInt8 : ScalarType::Float32, what, line);
                continue;
            }
            if (key == "COLOR_SCALARS") {
                const std::size_t n = requireCount("COLOR_SCALARS");
                if (n < 1) fail(line, _("%s has no components", what));
                FieldArray a = readArray(name, int(n), sectionTuples,
                                         m_binary ? ScalarType::UInt8 : ScalarType::Float32, what, line);
                // Binary colours are bytes 0..255; ASCII ones are already 0..1.
                if (m_binary)
                    for (float& v : a.values.f32Storage()) v /= 255.0f;
                into.push_back(std::move(a));
                continue;
            }
            std::size_t components = 1;
            if (key == "TEXTURE_COORDINATES") {
                components = requireCount("TEXTURE_COORDINATES");
                if (components < 1 || components > 3) fail(line, _("%s has %zu dimensions", what, components));
            }
            const ScalarType type = requireType(key.c_str());
            if (key == "VECTORS" || key == "NORMALS")
                components = 3;
            else if (key == "TENSORS")
                components = 9;
            else if (key == "TENSORS6")
                components = 6;
            else if (key == "SCALARS") {
                std::string_view next = tokenOnLine();
                if (!next.empty()) {
                    std::uint64_t n = 0;
                    auto [end, ec] = std::from_chars(next.data(), next.data() + next.size(), n);
                    if (ec != std::errc() || end != next.data() + next.size() || n < 1 || n > 4)
                        fail(line, _("%s: '%s' is not a component count of 1 to 4", what, std::string(next)));
                    components = std::size_t(n);
                }
                const std::size_t tableLine = nextLine();
                if (upper(token()) != "LOOKUP_TABLE")
                    fail(tableLine, _("%s: LOOKUP_TABLE expected after the SCALARS line", what));
                requireToken("the lookup table name");
            }
            into.push_back(readArray(name, int(components), sectionTuples, type, what, line));
        } else {
            fail(line, _("unknown keyword '%s'", std::string(tok.substr(0, 40))));
        }
    }

    if (!havePoints) fail(m_line, "the file has no POINTS");
    if (polydata) {
        // VTK numbers poly data cells vertices first, then lines, polygons and strips.
        CellArrays& out = block.cells;
        auto add = [&](const CellList& list, auto typeOf) {
            for (std::size_t c = 0; c < list.count(); ++c) {
                const std::int64_t b = list.offsets[c], e = list.offsets[c + 1];
                out.types.push_back(typeOf(e - b));
                out.connectivity.insert(out.connectivity.end(), list.connectivity.begin() + b,
                                        list.connectivity.begin() + e);
                out.offsets.push_back(std::int64_t(out.connectivity.size()));
            }
        };
        add(verts, [](std::int64_t n) { return std::uint8_t(n == 1 ? VtkVertex : VtkPolyVertex); });
        add(lines, [](std::int64_t n) { return std::uint8_t(n == 2 ? VtkLine : VtkPolyLine); });
        add(polys, [](std::int64_t n) { return std::uint8_t(n == 3 ? VtkTriangle : n == 4 ? VtkQuad : VtkPolygon); });
        add(strips, [](std::int64_t) { return std::uint8_t(VtkTriangleStrip); });
    } else {
        if (cells.present != haveTypes)
            fail(m_line, cells.present ? "CELLS without CELL_TYPES" : "CELL_TYPES without CELLS");
        if (types.size() != cells.count())
            fail(m_line, _("CELL_TYPES gives %zu types for %zu cells", types.size(), cells.count()));
        block.cells.types.resize(types.size());
        for (std::size_t c = 0; c < types.size(); ++c) {
            if (types[c] < 0 || types[c] > 255 || vtkCellDimension(int(types[c])) < 0)
                fail(m_line,
                     _("cell %zu has the unknown or unsupported cell type %lld", c, static_cast<long long>(types[c])));
            if (types[c] == VtkPolyhedron)
                fail(m_line, _("cell %zu is a polyhedron, which legacy files cannot describe; use a .vtu file", c));
            block.cells.types[c] = std::uint8_t(types[c]);
        }
        block.cells.offsets = std::move(cells.offsets);
        block.cells.connectivity = std::move(cells.connectivity);
    }
    validateBlock(block);
    normalizeCells(block);
    return block;
}

} // namespace

MeshBlock parseVtkLegacy(std::string_view content, const std::string& fileName) {
    LegacyParser parser(content, fileName);
    MeshBlock block = parser.parse();
    block.name = std::filesystem::path(fileName).stem().string();
    block.path = block.name;
    return block;
}

MeshBlock readVtkLegacy(const std::filesystem::path& file) {
    const FileBytes bytes = readFileBytes(file);
    return parseVtkLegacy(bytes, file.string());
}

} // namespace zel::host
