#include "host/readers/VtkXmlReader.h"
#include "host/readers/PieceReader.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <optional>

#include "framework/core/Format.h"
#include "host/readers/FileBytes.h"
#include "host/readers/ReadError.h"
#include "host/readers/VtkDecode.h"
#include "host/readers/VtkLegacyReader.h"

namespace zel::host {

namespace {

using vtkio::DecodeFault;
using vtkio::ScalarType;
using vtkio::TypedData;

// Multiblock files may reference multiblock files; deeper than this is a reference cycle.
constexpr int kMaxMultiBlockDepth = 16;

// ---------------------------------------------------------------------------------------------
// Structure of a VTK XML file as expat reports it; the values of the DataArrays are only located
// (byte range of the inline text) and decoded afterwards, once the appended section is known.

enum class Role { None, Points, Cells, Verts, Lines, Strips, Polys, PointData, CellData, FieldData };

struct XmlArray {
    std::string name, type, format, components, tuples, offset;
    std::size_t line = 0;
    std::size_t contentBegin = 0; // inline text: [contentBegin, contentEnd) of the file
    std::size_t contentEnd = 0;
    bool contentClosed = false;
    Role role = Role::None;
};

struct XmlPiece {
    std::size_t line = 0;
    std::string numPoints, numCells, numVerts, numLines, numStrips, numPolys;
    std::vector<XmlArray> arrays;
};

struct XmlEntry {
    std::string name, file, groupPath;
    std::string group;    // the innermost enclosing Block / Piece name
    bool inPiece = false; // that group is a multipiece <Piece>: its datasets are pieces of one block
    std::size_t line = 0;
};

struct XmlDocument {
    std::string type, byteOrder, headerType, compressor;
    std::vector<XmlPiece> pieces;
    std::vector<XmlArray> fieldData;
    std::vector<XmlEntry> entries;
    std::vector<std::string> pieceSources; // .pvtu / .pvtp: the Source of each Piece
    bool hasAppended = false;
    std::string appendedEncoding;
    std::size_t appendedBegin = 0; // first byte after the '_' marker
    std::size_t appendedEnd = 0;   // start of </AppendedData>, or the end of the file
    std::size_t appendedLine = 0;
};

const char* findAttr(const XML_Char** attrs, const char* name) {
    for (std::size_t i = 0; attrs[i]; i += 2)
        if (std::strcmp(attrs[i], name) == 0) return attrs[i + 1];
    return nullptr;
}

std::string attrOr(const XML_Char** attrs, const char* name, const char* fallback = "") {
    const char* v = findAttr(attrs, name);
    return v ? v : fallback;
}

bool isDataSetType(std::string_view t) { return t == "UnstructuredGrid" || t == "PolyData"; }
bool isMultiBlockType(std::string_view t) { return t == "vtkMultiBlockDataSet" || t == "vtkMultiPieceDataSet"; }
bool isParallelType(std::string_view t) { return t == "PUnstructuredGrid" || t == "PPolyData"; }

struct ParseState {
    XML_Parser parser = nullptr;
    XmlDocument* doc = nullptr;
    std::vector<std::string> stack;       // open elements
    std::vector<std::size_t> groupDepths; // stack depth of each open multiblock group
    std::vector<std::string> groups;      // their names
    std::optional<XmlArray> array;        // the open DataArray
    std::size_t arrayDepth = 0;
    std::size_t groupCount = 0;
    std::string error;
    std::size_t errorLine = 0;

    std::size_t line() const { return std::size_t(XML_GetCurrentLineNumber(parser)); }
    std::size_t byteIndex() const { return std::size_t(XML_GetCurrentByteIndex(parser)); }
    void stop(const std::string& why) {
        if (!error.empty()) return;
        error = why;
        errorLine = line();
        XML_StopParser(parser, XML_FALSE);
    }
};

Role roleOf(std::string_view parent) {
    if (parent == "Points") return Role::Points;
    if (parent == "Cells") return Role::Cells;
    if (parent == "Verts") return Role::Verts;
    if (parent == "Lines") return Role::Lines;
    if (parent == "Strips") return Role::Strips;
    if (parent == "Polys") return Role::Polys;
    if (parent == "PointData") return Role::PointData;
    if (parent == "CellData") return Role::CellData;
    if (parent == "FieldData") return Role::FieldData;
    return Role::None;
}

void readArrayAttributes(ParseState& s, const XML_Char** attrs, Role role) {
    XmlArray& a = *s.array;
    a.role = role;
    a.line = s.line();
    a.name = attrOr(attrs, "Name");
    a.type = attrOr(attrs, "type");
    a.format = attrOr(attrs, "format");
    a.components = attrOr(attrs, "NumberOfComponents", "1");
    a.tuples = attrOr(attrs, "NumberOfTuples");
    a.offset = attrOr(attrs, "offset");
    a.contentBegin = s.byteIndex() + std::size_t(XML_GetCurrentByteCount(s.parser));
    s.arrayDepth = s.stack.size();
}

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attrs) {
    auto& s = *static_cast<ParseState*>(data);
    if (!s.error.empty()) return;
    XmlDocument& doc = *s.doc;
    const std::string_view el(name);
    const std::size_t depth = s.stack.size();

    if (s.array) {
        // Information keys and the like follow the values inside a DataArray: the values end here.
        if (!s.array->contentClosed) {
            s.array->contentEnd = s.byteIndex();
            s.array->contentClosed = true;
        }
    } else if (depth == 0) {
        if (el != "VTKFile") return s.stop(_("the root element is <%s>, not <VTKFile>", std::string(el)));
        doc.type = attrOr(attrs, "type");
        doc.byteOrder = attrOr(attrs, "byte_order", "LittleEndian");
        doc.headerType = attrOr(attrs, "header_type", "UInt32");
        doc.compressor = attrOr(attrs, "compressor");
    } else if (el == "DataArray" && s.stack.back() == "FieldData" && depth <= 3) {
        // Dataset-wide values: under the dataset element, or beside it in multiblock files.
        s.array = XmlArray{};
        readArrayAttributes(s, attrs, Role::FieldData);
    } else if (depth >= 2 && isDataSetType(s.stack[1])) {
        if (el == "Piece" && depth == 2) {
            XmlPiece piece;
            piece.line = s.line();
            piece.numPoints = attrOr(attrs, "NumberOfPoints");
            piece.numCells = attrOr(attrs, "NumberOfCells");
            piece.numVerts = attrOr(attrs, "NumberOfVerts", "0");
            piece.numLines = attrOr(attrs, "NumberOfLines", "0");
            piece.numStrips = attrOr(attrs, "NumberOfStrips", "0");
            piece.numPolys = attrOr(attrs, "NumberOfPolys", "0");
            doc.pieces.push_back(std::move(piece));
        } else if (el == "DataArray") {
            const Role role = roleOf(s.stack.back());
            if (depth == 4 && s.stack[2] == "Piece" && role != Role::None && role != Role::FieldData) {
                s.array = XmlArray{};
                readArrayAttributes(s, attrs, role);
            }
        }
    } else if (depth == 2 && isParallelType(s.stack[1]) && el == "Piece") {
        s.doc->pieceSources.push_back(attrOr(attrs, "Source"));
    } else if (depth >= 2 && isMultiBlockType(s.stack[1])) {
        if (el == "Block" || el == "Piece") {
            // Unnamed groups are named after their index, as ParaView shows them.
            std::string groupName = attrOr(attrs, "name");
            if (groupName.empty()) {
                const std::string index = attrOr(attrs, "index");
                groupName =
                    (el == "Block" ? "block" : "piece") + (index.empty() ? std::to_string(s.groupCount) : index);
            }
            ++s.groupCount;
            s.groups.push_back(groupName);
            s.groupDepths.push_back(depth);
        } else if (el == "DataSet") {
            XmlEntry entry;
            entry.line = s.line();
            entry.name = attrOr(attrs, "name");
            entry.file = attrOr(attrs, "file");
            for (const std::string& g : s.groups) entry.groupPath += g + "/";
            if (!s.groups.empty()) {
                entry.group = s.groups.back();
                entry.inPiece = s.stack.back() == "Piece";
            }
            doc.entries.push_back(std::move(entry));
        }
    }
    s.stack.emplace_back(el);
}

void XMLCALL onEnd(void* data, const XML_Char* name) {
    auto& s = *static_cast<ParseState*>(data);
    if (!s.error.empty()) return;
    (void)name;
    const std::size_t depth = s.stack.size() - 1;
    if (s.array && depth == s.arrayDepth) {
        XmlArray a = std::move(*s.array);
        s.array.reset();
        if (!a.contentClosed) a.contentEnd = s.byteIndex();
        // An empty element tag reports its end where it starts.
        a.contentEnd = std::max(a.contentEnd, a.contentBegin);
        if (a.role == Role::FieldData)
            s.doc->fieldData.push_back(std::move(a));
        else
            s.doc->pieces.back().arrays.push_back(std::move(a));
    }
    if (!s.groupDepths.empty() && s.groupDepths.back() == depth) {
        s.groupDepths.pop_back();
        s.groups.pop_back();
    }
    s.stack.pop_back();
}

// Parses the XML part of the file. Raw appended data is not XML: the parse stops at
// <AppendedData>, whose attributes are read here and whose data start after the '_' marker.
XmlDocument parseDocument(std::string_view content, const std::string& file) {
    XmlDocument doc;
    std::size_t xmlEnd = content.size();
    const std::size_t appended = content.find("<AppendedData");
    if (appended != std::string_view::npos) {
        xmlEnd = appended;
        doc.hasAppended = true;
        doc.appendedLine =
            std::size_t(std::count(content.begin(), content.begin() + std::ptrdiff_t(appended), '\n')) + 1;
        const std::size_t close = content.find('>', appended);
        if (close == std::string_view::npos)
            throw CaseReadError(file, _("line %zu", doc.appendedLine), "the AppendedData tag is not closed");
        const std::string_view tag = content.substr(appended, close - appended);
        const std::size_t enc = tag.find("encoding");
        if (enc != std::string_view::npos) {
            const std::size_t q = tag.find_first_of("\"'", enc);
            const std::size_t q2 = q == std::string_view::npos ? q : tag.find(tag[q], q + 1);
            if (q2 == std::string_view::npos)
                throw CaseReadError(file, _("line %zu", doc.appendedLine), "bad encoding attribute of AppendedData");
            doc.appendedEncoding = std::string(tag.substr(q + 1, q2 - q - 1));
        } else {
            doc.appendedEncoding = "raw";
        }
        if (doc.appendedEncoding != "raw" && doc.appendedEncoding != "base64")
            throw CaseReadError(
                file, _("line %zu", doc.appendedLine),
                _("AppendedData encoding '%s' is not supported (raw and base64 are)", doc.appendedEncoding));
        std::size_t p = close + 1;
        while (p < content.size() &&
               (content[p] == ' ' || content[p] == '\n' || content[p] == '\r' || content[p] == '\t'))
            ++p;
        if (p >= content.size() || content[p] != '_')
            throw CaseReadError(file, _("line %zu", doc.appendedLine),
                                "AppendedData does not begin with the '_' marker");
        doc.appendedBegin = p + 1;
        const std::size_t end = content.rfind("</AppendedData");
        doc.appendedEnd = end != std::string_view::npos && end >= doc.appendedBegin ? end : content.size();
    }

    ParseState state;
    state.doc = &doc;
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) throw CaseReadError(file, "", "cannot create the XML parser");
    state.parser = parser;
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, onStart, onEnd);
    // Feed in chunks: expat takes an int length.
    constexpr std::size_t kChunk = std::size_t(1) << 28;
    bool ok = true;
    for (std::size_t at = 0; ok && (at < xmlEnd || at == 0); at += kChunk) {
        const std::size_t n = std::min(kChunk, xmlEnd - at);
        const bool last = at + n >= xmlEnd && !doc.hasAppended;
        ok = XML_Parse(parser, content.data() + at, int(n), last ? XML_TRUE : XML_FALSE) == XML_STATUS_OK;
        if (n == 0) break;
    }
    if (!state.error.empty()) {
        XML_ParserFree(parser);
        throw CaseReadError(file, _("line %zu", state.errorLine), state.error);
    }
    if (!ok) {
        const std::size_t line = std::size_t(XML_GetCurrentLineNumber(parser));
        const std::string why = XML_ErrorString(XML_GetErrorCode(parser));
        XML_ParserFree(parser);
        throw CaseReadError(file, _("line %zu", line), _("not well-formed XML (%s); is the file truncated?", why));
    }
    XML_ParserFree(parser);
    if (doc.type.empty()) throw CaseReadError(file, "", "the VTKFile element has no type attribute");
    return doc;
}

// ---------------------------------------------------------------------------------------------
// Decoding of the located DataArrays into a block.

class DataSetBuilder {
public:
    DataSetBuilder(std::string_view content, const std::string& file, const XmlDocument& doc,
                   const std::function<void(std::size_t)>& progress)
        : m_content(content), m_file(file), m_doc(doc), m_progress(progress) {}

    MeshBlock build();
    std::vector<FieldArray> fieldData();

private:
    [[noreturn]] void fail(const std::string& where, const std::string& problem) const {
        throw CaseReadError(m_file, where, problem);
    }
    std::string where(const XmlArray& a) const {
        if (a.format == "appended")
            return _("DataArray '%s' (line %zu) at appended offset %s", a.name, a.line, a.offset);
        return _("DataArray '%s' (line %zu)", a.name, a.line);
    }
    std::uint64_t count(const std::string& text, const char* what, std::size_t line) const {
        std::uint64_t v = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v > (std::uint64_t(1) << 40))
            fail(_("line %zu", line), _("%s '%s' is not a valid count", what, text));
        return v;
    }
    int components(const XmlArray& a) const {
        const std::uint64_t n = count(a.components, "NumberOfComponents", a.line);
        if (n < 1 || n > 1024) fail(where(a), _("NumberOfComponents %llu", static_cast<unsigned long long>(n)));
        return int(n);
    }
    ScalarType typeOf(const XmlArray& a) const {
        if (a.type.empty()) fail(where(a), "no type attribute");
        auto t = vtkio::xmlScalarType(a.type);
        if (!t) fail(where(a), _("data type '%s' is not supported", a.type));
        return *t;
    }
    vtkio::BinaryLayout layout(const XmlArray& a) const;
    TypedData decode(const XmlArray& a, std::optional<std::uint64_t> expectedValues);
    // Decodes a binary or appended array with read(source, layout, expectedBytes), turning
    // decoding faults into messages that name the array.
    template <typename Read>
    void decodeBinary(const XmlArray& a, std::optional<std::uint64_t> expectedValues, Read&& read);
    // The values of an array of type `native` decoded straight into a vector of T (no copy
    // through a byte buffer); false when the array is ascii or of another type.
    template <typename T>
    bool decodeDirect(const XmlArray& a, std::optional<std::uint64_t> expectedValues, ScalarType native,
                      std::vector<T>& out) {
        if (typeOf(a) != native || (a.format != "binary" && a.format != "appended")) return false;
        decodeBinary(a, expectedValues,
                     [&](vtkio::ByteSource& source, const vtkio::BinaryLayout& l, std::optional<std::uint64_t> bytes) {
                         vtkio::readBinaryArrayInto(source, l, native, bytes, out);
                     });
        return true;
    }
    RealArray decodeReal(const XmlArray& a, std::uint64_t expectedValues) {
        RealArray out;
        if (decodeDirect(a, expectedValues, ScalarType::Float32, out.f32Storage())) return out;
        std::vector<double> f64;
        if (decodeDirect(a, expectedValues, ScalarType::Float64, f64)) return RealArray(std::move(f64));
        return vtkio::toRealArray(decode(a, expectedValues));
    }
    std::vector<std::int64_t> decodeIndices(const XmlArray& a, std::optional<std::uint64_t> expectedValues) {
        if (vtkio::isFloating(typeOf(a))) fail(where(a), _("indices must have an integer type, not %s", a.type));
        std::vector<std::int64_t> out;
        if (decodeDirect(a, expectedValues, ScalarType::Int64, out)) return out;
        return vtkio::toInt64(decode(a, expectedValues));
    }
    MeshBlock buildPiece(const XmlPiece& piece, bool polydata);
    void readCellSection(const XmlPiece& piece, Role role, const std::string& countText, const char* label,
                         std::vector<std::int64_t>& offsets, std::vector<std::int64_t>& connectivity);

    std::string_view m_content;
    const std::string& m_file;
    const XmlDocument& m_doc;
    const std::function<void(std::size_t)>& m_progress;
};

vtkio::BinaryLayout DataSetBuilder::layout(const XmlArray& a) const {
    vtkio::BinaryLayout l;
    if (m_doc.headerType == "UInt64")
        l.header64 = true;
    else if (m_doc.headerType != "UInt32")
        fail(where(a), _("header_type '%s' is not supported (UInt32 and UInt64 are)", m_doc.headerType));
    if (m_doc.compressor == "vtkZLibDataCompressor")
        l.compressed = true;
    else if (!m_doc.compressor.empty())
        fail(where(a), _("compressor '%s' is not supported (vtkZLibDataCompressor is)", m_doc.compressor));
    bool little = true;
    if (m_doc.byteOrder == "BigEndian")
        little = false;
    else if (m_doc.byteOrder != "LittleEndian")
        fail(where(a), _("byte_order '%s' is not supported", m_doc.byteOrder));
    l.swap = little != vtkio::hostIsLittleEndian();
    return l;
}

template <typename Read>
void DataSetBuilder::decodeBinary(const XmlArray& a, std::optional<std::uint64_t> expectedValues, Read&& read) {
    const vtkio::BinaryLayout l = layout(a);
    std::optional<std::uint64_t> expectedBytes;
    if (expectedValues) expectedBytes = *expectedValues * vtkio::scalarSize(typeOf(a));
    std::size_t reached = a.contentEnd;
    try {
        if (a.format == "binary") {
            auto source = vtkio::ByteSource::base64(m_content.substr(a.contentBegin, a.contentEnd - a.contentBegin));
            read(source, l, expectedBytes);
        } else {
            if (!m_doc.hasAppended) fail(where(a), "format 'appended' but the file has no AppendedData section");
            const std::uint64_t offset = count(a.offset, "offset", a.line);
            const std::size_t length = m_doc.appendedEnd - m_doc.appendedBegin;
            if (offset >= length) fail(where(a), _("the offset lies beyond the appended data (%zu bytes)", length));
            const std::size_t begin = m_doc.appendedBegin + std::size_t(offset);
            if (m_doc.appendedEncoding == "raw") {
                auto source = vtkio::ByteSource::raw(std::span<const unsigned char>(
                    reinterpret_cast<const unsigned char*>(m_content.data()) + begin, m_doc.appendedEnd - begin));
                read(source, l, expectedBytes);
                reached = begin + source.position();
            } else {
                auto source = vtkio::ByteSource::base64(m_content.substr(begin, m_doc.appendedEnd - begin));
                read(source, l, expectedBytes);
                reached = begin + source.position();
            }
        }
    } catch (const DecodeFault& f) {
        fail(where(a), f.what());
    }
    if (m_progress) m_progress(reached);
}

TypedData DataSetBuilder::decode(const XmlArray& a, std::optional<std::uint64_t> expectedValues) {
    const ScalarType type = typeOf(a);
    TypedData data;
    if (a.format == "ascii") {
        const std::string_view text = m_content.substr(a.contentBegin, a.contentEnd - a.contentBegin);
        try {
            data = vtkio::parseAsciiList(text, type);
        } catch (const DecodeFault& f) {
            const auto at = m_content.begin() + std::ptrdiff_t(a.contentBegin + f.position);
            const std::size_t line = std::size_t(std::count(m_content.begin(), at, '\n')) + 1;
            fail(_("DataArray '%s' line %zu", a.name, line), f.what());
        }
        if (expectedValues && data.count() != *expectedValues)
            fail(where(a),
                 _("has %zu values; %llu expected", data.count(), static_cast<unsigned long long>(*expectedValues)));
        if (m_progress) m_progress(a.contentEnd);
    } else if (a.format == "binary" || a.format == "appended") {
        decodeBinary(a, expectedValues,
                     [&](vtkio::ByteSource& source, const vtkio::BinaryLayout& l, std::optional<std::uint64_t> bytes) {
                         data = vtkio::readBinaryArray(source, l, type, bytes);
                     });
    } else {
        fail(where(a), _("format '%s' is not supported (ascii, binary and appended are)", a.format));
    }
    return data;
}

void DataSetBuilder::readCellSection(const XmlPiece& piece, Role role, const std::string& countText, const char* label,
                                     std::vector<std::int64_t>& offsets, std::vector<std::int64_t>& connectivity) {
    const std::uint64_t n = count(countText, _("NumberOf%s", label).c_str(), piece.line);
    const XmlArray* conn = nullptr;
    const XmlArray* offs = nullptr;
    for (const XmlArray& a : piece.arrays) {
        if (a.role != role) continue;
        if (a.name == "connectivity")
            conn = &a;
        else if (a.name == "offsets")
            offs = &a;
    }
    offsets.assign(1, 0);
    connectivity.clear();
    if (n == 0) return;
    if (!offs || !conn)
        fail(_("Piece (line %zu)", piece.line), _("%s lacks the '%s' array", label, offs ? "connectivity" : "offsets"));
    std::vector<std::int64_t> ends = decodeIndices(*offs, n);
    for (std::size_t i = 0; i < ends.size(); ++i)
        if (ends[i] < (i ? ends[i - 1] : 0)) fail(where(*offs), _("offsets decrease (or are negative) at cell %zu", i));
    connectivity = decodeIndices(*conn, std::uint64_t(ends.back()));
    offsets.insert(offsets.end(), ends.begin(), ends.end());
}

MeshBlock DataSetBuilder::buildPiece(const XmlPiece& piece, bool polydata) {
    MeshBlock b;
    b.sourceFile = m_file;
    const std::string pieceWhere = _("Piece (line %zu)", piece.line);
    const std::uint64_t nPoints = count(piece.numPoints, "NumberOfPoints", piece.line);

    const XmlArray* points = nullptr;
    for (const XmlArray& a : piece.arrays)
        if (a.role == Role::Points && !points) points = &a;
    if (points) {
        if (components(*points) != 3) fail(where(*points), "points must have 3 components");
        b.points = decodeReal(*points, nPoints * 3);
    } else if (nPoints > 0) {
        fail(pieceWhere,
             _("NumberOfPoints is %llu but there is no Points array", static_cast<unsigned long long>(nPoints)));
    }

    std::uint64_t nCells = 0;
    CellArrays& cells = b.cells;
    if (!polydata) {
        nCells = count(piece.numCells, "NumberOfCells", piece.line);
        const XmlArray* types = nullptr;
        const XmlArray* faces = nullptr;
        const XmlArray* faceOffsets = nullptr;
        for (const XmlArray& a : piece.arrays) {
            if (a.role != Role::Cells) continue;
            if (a.name == "types")
                types = &a;
            else if (a.name == "faces")
                faces = &a;
            else if (a.name == "faceoffsets")
                faceOffsets = &a;
        }
        readCellSection(piece, Role::Cells, piece.numCells, "Cells", cells.offsets, cells.connectivity);
        if (nCells > 0) {
            if (!types) fail(pieceWhere, "Cells lacks the 'types' array");
            const std::vector<std::int64_t> t = decodeIndices(*types, nCells);
            cells.types.resize(t.size());
            for (std::size_t c = 0; c < t.size(); ++c) {
                if (t[c] < 0 || t[c] > 255 || vtkCellDimension(int(t[c])) < 0)
                    fail(where(*types),
                         _("cell %zu has the unknown or unsupported cell type %lld", c, static_cast<long long>(t[c])));
                cells.types[c] = std::uint8_t(t[c]);
            }
        }
        if (faceOffsets && nCells > 0) {
            // Per cell the end of its face list in `faces`, or -1 for a cell that is not a polyhedron.
            const std::vector<std::int64_t> ends = decodeIndices(*faceOffsets, nCells);
            std::int64_t total = 0;
            for (std::int64_t e : ends) total = std::max(total, e);
            if (!faces && total > 0) fail(pieceWhere, "Cells has 'faceoffsets' but no 'faces'");
            if (faces) cells.faces = decodeIndices(*faces, std::uint64_t(total));
            cells.faceOffsets.assign(1, 0);
            std::int64_t last = 0;
            for (std::size_t c = 0; c < ends.size(); ++c) {
                if (ends[c] >= 0) {
                    if (ends[c] < last) fail(where(*faceOffsets), _("face offsets decrease at cell %zu", c));
                    last = ends[c];
                }
                cells.faceOffsets.push_back(last);
            }
        }
    } else {
        // Poly data cells are numbered vertices first, then lines, polygons and strips.
        struct Section {
            Role role;
            const std::string* count;
            const char* label;
        };
        const Section sections[] = {{Role::Verts, &piece.numVerts, "Verts"},
                                    {Role::Lines, &piece.numLines, "Lines"},
                                    {Role::Polys, &piece.numPolys, "Polys"},
                                    {Role::Strips, &piece.numStrips, "Strips"}};
        std::vector<std::int64_t> offsets, connectivity;
        for (const Section& s : sections) {
            readCellSection(piece, s.role, *s.count, s.label, offsets, connectivity);
            for (std::size_t c = 0; c + 1 < offsets.size(); ++c) {
                const std::int64_t n = offsets[c + 1] - offsets[c];
                std::uint8_t type = VtkTriangleStrip;
                if (s.role == Role::Verts)
                    type = n == 1 ? VtkVertex : VtkPolyVertex;
                else if (s.role == Role::Lines)
                    type = n == 2 ? VtkLine : VtkPolyLine;
                else if (s.role == Role::Polys)
                    type = n == 3 ? VtkTriangle : n == 4 ? VtkQuad : VtkPolygon;
                cells.types.push_back(type);
                cells.connectivity.insert(cells.connectivity.end(), connectivity.begin() + offsets[c],
                                          connectivity.begin() + offsets[c + 1]);
                cells.offsets.push_back(std::int64_t(cells.connectivity.size()));
            }
        }
        nCells = cells.types.size();
    }

    for (const XmlArray& a : piece.arrays) {
        if (a.role != Role::PointData && a.role != Role::CellData) continue;
        FieldArray f;
        f.name = a.name;
        f.components = components(a);
        const std::uint64_t tuples = a.role == Role::PointData ? nPoints : nCells;
        f.values = decodeReal(a, tuples * std::uint64_t(f.components));
        (a.role == Role::PointData ? b.pointData : b.cellData).push_back(std::move(f));
    }
    validateBlock(b);
    return b;
}

MeshBlock DataSetBuilder::build() {
    const bool polydata = m_doc.type == "PolyData";
    if (m_doc.pieces.empty()) fail("", _("the %s has no Piece", m_doc.type));
    MeshBlock block = buildPiece(m_doc.pieces.front(), polydata);
    for (std::size_t i = 1; i < m_doc.pieces.size(); ++i) {
        MeshBlock piece = buildPiece(m_doc.pieces[i], polydata);
        if (piece.numPoints() == 0 && piece.numCells() == 0) continue;
        if (block.numPoints() == 0 && block.numCells() == 0) {
            block = std::move(piece);
            continue;
        }
        appendPiece(block, std::move(piece));
    }
    block.fieldData = fieldData();
    validateBlock(block);
    normalizeCells(block);
    return block;
}

std::vector<FieldArray> DataSetBuilder::fieldData() {
    std::vector<FieldArray> out;
    for (const XmlArray& a : m_doc.fieldData) {
        // Field data may hold strings (names of things); only numbers are kept.
        if (!vtkio::xmlScalarType(a.type)) continue;
        FieldArray f;
        f.name = a.name;
        f.components = components(a);
        std::optional<std::uint64_t> expected;
        if (!a.tuples.empty()) expected = count(a.tuples, "NumberOfTuples", a.line) * std::uint64_t(f.components);
        f.values = vtkio::toRealArray(decode(a, expected));
        if (f.values.size() % std::size_t(f.components) != 0)
            fail(where(a),
                 _("%zu values are not a whole number of %d-component tuples", f.values.size(), f.components));
        out.push_back(std::move(f));
    }
    return out;
}

std::optional<double> timeValue(const std::vector<FieldArray>& fieldData) {
    for (const FieldArray& f : fieldData)
        if (f.name == "TimeValue" && !f.values.empty()) return f.values[0];
    return std::nullopt;
}

// Progress over all files of a case, in bytes.
class Progress {
public:
    explicit Progress(const ReadOptions& options) : m_options(options) {}
    void setTotal(std::size_t total) { m_total = std::max<std::size_t>(total, 1); }
    void startFile(std::size_t size) { m_fileSize = size; }
    void endFile() {
        m_done += m_fileSize;
        m_fileSize = 0;
        report(m_done);
    }
    // `reached`: byte position within the current file.
    void at(std::size_t reached) { report(m_done + std::min(reached, m_fileSize)); }
    void finish() {
        if (m_options.progress) m_options.progress(1.0);
    }
    std::function<void(std::size_t)> callback() {
        return [this](std::size_t r) { at(r); };
    }

private:
    void report(std::size_t bytes) {
        if (!m_options.progress) return;
        const double f = std::min(1.0, double(bytes) / double(m_total));
        if (f < m_last + 0.01) return; // a bar moves in steps of a percent
        m_last = f;
        m_options.progress(f);
    }
    const ReadOptions& m_options;
    std::size_t m_total = 1;
    std::size_t m_done = 0;
    std::size_t m_fileSize = 0;
    double m_last = 0.0;
};

MeshBlock buildDataSet(std::string_view content, const std::string& file, const XmlDocument& doc, Progress& progress) {
    if (!isDataSetType(doc.type))
        throw CaseReadError(file, "",
                            _("VTKFile type '%s' is not supported here (UnstructuredGrid and PolyData are)", doc.type));
    const std::function<void(std::size_t)> callback = progress.callback();
    DataSetBuilder builder(content, file, doc, callback);
    MeshBlock block = builder.build();
    block.name = std::filesystem::path(file).stem().string();
    block.path = block.name;
    return block;
}

std::size_t fileSizeOr(const std::filesystem::path& file, std::size_t fallback) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    return ec ? fallback : std::size_t(size);
}

struct MultiBlockReader {
    Progress& progress;
    const ReadOptions& options;

    // Sums the sizes of the files the case will read (for the progress bar); missing files count 0.
    std::size_t totalBytes(const std::filesystem::path& file, int depth) {
        std::size_t total = fileSizeOr(file, 0);
        if (depth > kMaxMultiBlockDepth || file.extension() != ".vtm") return total;
        FileBytes content;
        try {
            content = readFileBytes(file, options.readTime);
            const XmlDocument doc = parseDocument(content, file.string());
            for (const XmlEntry& e : doc.entries)
                if (!e.file.empty()) total += totalBytes(file.parent_path() / e.file, depth + 1);
        } catch (const CaseReadError&) {
            // Reported when the file is read for real.
        }
        return total;
    }

    void read(const std::filesystem::path& file, std::string_view content, const XmlDocument& doc,
              const std::string& groupPath, int depth, CaseData& out) {
        const std::string fileName = file.string();
        if (!isMultiBlockType(doc.type))
            throw CaseReadError(fileName, "", _("VTKFile type '%s' is not a multiblock dataset", doc.type));
        {
            const std::function<void(std::size_t)> callback;
            DataSetBuilder builder(content, fileName, doc, callback);
            if (!out.time) out.time = timeValue(builder.fieldData());
        }
        progress.endFile();
        for (const XmlEntry& e : doc.entries) {
            if (e.file.empty()) continue; // an empty block
            const std::filesystem::path ref = file.parent_path() / e.file;
            const std::string name = e.name.empty() ? ref.stem().string() : e.name;
            std::error_code ec;
            if (!std::filesystem::is_regular_file(ref, ec))
                throw CaseReadError(fileName, _("line %zu", e.line),
                                    _("DataSet '%s' refers to '%s', which does not exist", name, ref.string()));
            const FileBytes bytes = readFileBytes(ref, options.readTime);
            progress.startFile(bytes.size());
            if (bytes.view().rfind("# vtk", 0) == 0 || bytes.view().rfind("# VTK", 0) == 0) {
                MeshBlock block = parseVtkLegacy(bytes, ref.string());
                block.name = name;
                block.path = groupPath + e.groupPath + name;
                out.blocks.push_back(std::move(block));
                progress.endFile();
                continue;
            }
            const XmlDocument sub = parseDocument(bytes, ref.string());
            if (isMultiBlockType(sub.type)) {
                if (depth >= kMaxMultiBlockDepth)
                    throw CaseReadError(fileName, _("line %zu", e.line),
                                        "multiblock files nest too deep (a reference cycle?)");
                read(ref, bytes, sub, groupPath + e.groupPath + name + "/", depth + 1, out);
                continue;
            }
            MeshBlock block = buildDataSet(bytes, ref.string(), sub, progress);
            block.name = name;
            block.path = groupPath + e.groupPath + name;
            if (!out.time) out.time = timeValue(block.fieldData);
            out.blocks.push_back(std::move(block));
            progress.endFile();
        }
    }
};

} // namespace

MeshBlock parseVtkXmlDataSet(std::string_view content, const std::string& fileName, const ReadOptions& options) {
    Progress progress(options);
    progress.setTotal(content.size());
    progress.startFile(content.size());
    const XmlDocument doc = parseDocument(content, fileName);
    MeshBlock block = buildDataSet(content, fileName, doc, progress);
    progress.finish();
    return block;
}

MeshBlock readVtkXmlDataSet(const std::filesystem::path& file, const ReadOptions& options) {
    const FileBytes bytes = readFileBytes(file, options.readTime);
    return parseVtkXmlDataSet(bytes, file.string(), options);
}

CaseData readVtkXmlCase(const std::filesystem::path& file, const ReadOptions& options) {
    const FileBytes bytes = readFileBytes(file, options.readTime);
    const XmlDocument doc = parseDocument(bytes, file.string());
    CaseData out;
    out.sourceFile = file.string();
    Progress progress(options);
    if (isMultiBlockType(doc.type)) {
        MultiBlockReader reader{progress, options};
        progress.setTotal(reader.totalBytes(file, 0));
        progress.startFile(bytes.size());
        reader.read(file, bytes, doc, "", 0, out);
    } else {
        progress.setTotal(bytes.size());
        progress.startFile(bytes.size());
        out.blocks.push_back(buildDataSet(bytes, file.string(), doc, progress));
        out.time = timeValue(out.blocks.back().fieldData);
    }
    progress.finish();
    return out;
}

CaseData readVtkMultiBlock(const std::filesystem::path& file, const ReadOptions& options) {
    const FileBytes bytes = readFileBytes(file);
    const XmlDocument doc = parseDocument(bytes, file.string());
    if (!isMultiBlockType(doc.type))
        throw CaseReadError(file.string(), "", _("VTKFile type '%s' is not a multiblock dataset", doc.type));
    return readVtkXmlCase(file, options);
}

namespace {

void layoutOf(const std::filesystem::path& file, const std::string& name, const std::string& path, int depth,
              CaseLayout& out) {
    // Only the files that list others are opened here: the datasets are read by their own process.
    const std::filesystem::path ext = file.extension();
    if (ext != ".vtm" && ext != ".pvtu" && ext != ".pvtp") {
        out.blocks.push_back({name, path, {file}});
        return;
    }
    const FileBytes bytes = readFileBytes(file);
    if (bytes.view().rfind("# vtk", 0) == 0 || bytes.view().rfind("# VTK", 0) == 0) {
        out.blocks.push_back({name, path, {file}});
        return;
    }
    const XmlDocument doc = parseDocument(bytes, file.string());
    if (isParallelType(doc.type)) {
        PieceBlock b{name, path, {}};
        for (const std::string& source : doc.pieceSources) {
            if (source.empty()) throw CaseReadError(file.string(), "", "a Piece has no Source");
            b.pieces.push_back(file.parent_path() / source);
        }
        if (b.pieces.empty()) throw CaseReadError(file.string(), "", _("the %s has no Piece", doc.type));
        out.decomposed = true;
        out.blocks.push_back(std::move(b));
        return;
    }
    if (!isMultiBlockType(doc.type)) {
        out.blocks.push_back({name, path, {file}});
        return;
    }
    const std::string prefix = depth == 0 ? std::string() : path + "/";
    for (std::size_t i = 0; i < doc.entries.size(); ++i) {
        const XmlEntry& e = doc.entries[i];
        if (e.file.empty()) continue;
        const std::filesystem::path ref = file.parent_path() / e.file;
        std::error_code ec;
        const std::string entryName = e.name.empty() ? ref.stem().string() : e.name;
        if (e.inPiece) {
            // A multipiece group: its datasets are the pieces of one block named after the group.
            PieceBlock b{e.group, prefix + e.groupPath.substr(0, e.groupPath.size() - 1), {}};
            std::size_t j = i;
            for (; j < doc.entries.size() && doc.entries[j].inPiece && doc.entries[j].groupPath == e.groupPath; ++j)
                if (!doc.entries[j].file.empty()) b.pieces.push_back(file.parent_path() / doc.entries[j].file);
            i = j - 1;
            if (b.pieces.size() > 1) out.decomposed = true;
            if (b.pieces.size() == 1) b.name = entryName, b.path = prefix + e.groupPath + entryName;
            out.blocks.push_back(std::move(b));
            continue;
        }
        if (!std::filesystem::is_regular_file(ref, ec))
            throw CaseReadError(file.string(), _("line %zu", e.line),
                                _("DataSet '%s' refers to '%s', which does not exist", entryName, ref.string()));
        if (depth >= kMaxMultiBlockDepth)
            throw CaseReadError(file.string(), _("line %zu", e.line),
                                "multiblock files nest too deep (a reference cycle?)");
        layoutOf(ref, entryName, prefix + e.groupPath + entryName, depth + 1, out);
    }
}

} // namespace

CaseLayout readCaseLayout(const std::filesystem::path& file) {
    CaseLayout out;
    out.sourceFile = file.string();
    layoutOf(file, file.stem().string(), file.stem().string(), 0, out);
    return out;
}

} // namespace zel::host
