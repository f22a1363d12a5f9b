#include "feloads/NorvaGeometryReader.h"

#include "feloads/LoadExportSettings.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/core/StringUtilities.h"
#include "framework/core/ZELStream.h"
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/NorvaDataFormat.h"
#include "framework/geometry/Projection.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/ObjectDB.h"
#include "framework/units/UnitsConverter.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <set>
#include <string_view>
#include <system_error>

namespace zel {

namespace {

const char* const kClass = "NorvaGeometryReader";
const char* const kRead = "readNorvaFile";

// Fixed-format element fields.
constexpr std::size_t kTypeField = 1;
constexpr std::size_t kNumberField = 10;
constexpr std::size_t kFirstCorner = 11;
constexpr std::size_t kFirstMidSide = 15;
constexpr std::size_t kNodesPerGroup = 4;
constexpr std::size_t kMinElementFields = 14;
// Fixed-format node fields.
constexpr std::size_t kNodeNumberField = 0;
constexpr std::size_t kFirstCoordinate = 3;

// The load variables that generateOKLObjects publishes.
struct LoadVariable {
    const char* shortName;
    const char* units;
    const char* quantity;
    bool scalar;
};
constexpr std::array<LoadVariable, 6> kLoadVariables = {{
    {"Stress", "Pa", "Pressure", false},
    {"Normal Stress", "Pa", "Pressure", false},
    {"Shear Stress", "Pa", "Pressure", false},
    {"Wall Heat Transfer Coefficient", "W m^-2 K^-1", "Heat Transfer Coefficient", true},
    {"Wall Adjacent Temperature", "K", "Temperature", true},
    {"Heat Flux", "W m^-2", "Heat Flux in", true},
}};

std::string_view trimBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

// A Fortran integer field: blanks alone read as 0. False for anything but an optionally
// signed run of digits that fits an int.
// Decoded in place: the element block is mostly such fields, and a general parser costs
// more than the rest of the line's handling.
bool parseInteger(std::string_view field, int& out) {
    field = trimBlanks(field);
    out = 0;
    if (field.empty()) return true;
    bool negative = false;
    if (field.front() == '+' || field.front() == '-') {
        negative = field.front() == '-';
        field.remove_prefix(1);
        if (field.empty()) return false;
    }
    if (field.size() > 10) return false; // beyond any int
    std::int64_t value = 0;
    for (const char c : field) {
        const unsigned digit = static_cast<unsigned>(c) - unsigned('0');
        if (digit > 9) return false;
        value = 10 * value + std::int64_t(digit);
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return false;
    out = static_cast<int>(value);
    return true;
}

// A Fortran real field: blanks alone read as 0; "1.5E+001", "1.5D+01", "+1.5", and the
// exponent without its letter ("1.5+001") as Fortran writes it for wide exponents. False
// for anything else and for non-finite values.
bool parseReal(std::string_view field, double& out) {
    field = trimBlanks(field);
    if (field.empty()) {
        out = 0.0;
        return true;
    }
    if (field.front() == '+') field.remove_prefix(1);
    auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), out);
    if (ec == std::errc() && end == field.data() + field.size()) return std::isfinite(out);
    // The rare forms: rewrite into a local buffer and try again.
    char buffer[96];
    std::size_t n = 0;
    bool hasExponent = false;
    for (std::size_t i = 0; i < field.size(); ++i) {
        char c = field[i];
        if (c == 'D' || c == 'd') c = 'E';
        if (c == 'E' || c == 'e') hasExponent = true;
        if ((c == '+' || c == '-') && i > 0 && !hasExponent &&
            (std::isdigit(static_cast<unsigned char>(field[i - 1])) || field[i - 1] == '.')) {
            if (n + 1 >= sizeof buffer) return false;
            buffer[n++] = 'E';
            hasExponent = true;
        }
        if (n + 1 >= sizeof buffer) return false;
        buffer[n++] = c;
    }
    const auto [end2, ec2] = std::from_chars(buffer, buffer + n, out);
    return ec2 == std::errc() && end2 == buffer + n && std::isfinite(out);
}

// The first non-blank characters of a line are "N," (the collapsed line begins with it).
bool isNodeTerminator(std::string_view line) {
    const std::string_view t = trimBlanks(line);
    return t.size() >= 2 && t[0] == 'N' && t[1] == ',';
}

// Node number -> row of the node table. Node numbers are usually dense (1 .. N), so a flat
// table indexed by number serves them; numbers spread much wider than the node count switch
// it to a hash map.
class NodeIndex {
public:
    // Room for `rows` nodes: address space only, as long as the numbers do not come.
    void reserve(std::size_t rows) {
        if (m_useDense) m_dense.reserve(std::min(rows, kDenseCeiling) + 1);
    }
    // The row of `number`, or -1.
    int find(int number) const {
        const int* at = const_cast<NodeIndex*>(this)->slot(number);
        return at == nullptr ? -1 : *at;
    }
    // The stored value of `number`, which a caller may overwrite; null when it is not there.
    int* slot(int number) {
        if (m_useDense) {
            if (number < 0 || std::size_t(number) >= m_dense.size() || m_dense[std::size_t(number)] == kNone)
                return nullptr;
            return &m_dense[std::size_t(number)];
        }
        const auto it = m_sparse.find(number);
        return it == m_sparse.end() ? nullptr : &it->second;
    }
    // False when the number is already there.
    bool insert(int number, int row) {
        if (number < 0) return insertSparse(number, row);
        if (m_useDense) {
            const std::size_t at = std::size_t(number);
            if (at >= m_dense.size()) {
                if (at > kDenseFloor && at > 16 * (std::size_t(row) + 1)) {
                    toSparse();
                    return insertSparse(number, row);
                }
                if (at >= m_dense.capacity()) m_dense.reserve(std::max(at + 1, m_dense.capacity() * 3 / 2));
                m_dense.resize(at + 1, kNone);
            }
            if (m_dense[at] != kNone) return false;
            m_dense[at] = row;
            return true;
        }
        return insertSparse(number, row);
    }

private:
    static constexpr std::size_t kDenseFloor = std::size_t(1) << 22;
    static constexpr std::size_t kDenseCeiling = std::size_t(1) << 28;
    static constexpr int kNone = std::numeric_limits<int>::min();

    void toSparse() {
        if (!m_useDense) return;
        for (std::size_t n = 0; n < m_dense.size(); ++n)
            if (m_dense[n] != kNone) m_sparse.emplace(int(n), m_dense[n]);
        m_dense = std::vector<int>();
        m_useDense = false;
    }
    bool insertSparse(int number, int row) {
        toSparse();
        return m_sparse.emplace(number, row).second;
    }

    bool m_useDense = true;
    std::vector<int> m_dense;
    std::unordered_map<int, int> m_sparse;
};

// Multi-patch warnings already given, by file name, for the life of the process.
std::set<std::string>& warnedFiles() {
    static std::set<std::string> files;
    return files;
}

std::string printedLimit(float value, const std::string& baseUnits) {
    if (isUndefined(value)) return std::string();
    char text[64];
    std::snprintf(text, sizeof text, "%e", double(value));
    return baseUnits.empty() ? std::string(text) : std::string(text) + " [" + baseUnits + "]";
}

} // namespace

NorvaGeometryReader::NorvaGeometryReader(const std::string& fileUnits)
    : m_geometryVariables{"Area",
                          "Length",
                          "Normal",
                          "Normal X",
                          "Normal Y",
                          "Normal Z",
                          "Volume",
                          "X",
                          "Y",
                          "Z",
                          "Maximum Face Angle",
                          "Minimum Face Angle",
                          "Edge Length Ratio",
                          "Connectivity Number",
                          "Element Volume Ratio"},
      m_fileUnits(fileUnits) {}

NorvaGeometryReader::~NorvaGeometryReader() = default;

// ------------------------------------------------------------------------------ reading

void NorvaGeometryReader::readNorvaFile(TripletZELVector& vertices, ShapeSet* const* faceSets, std::string& elementType,
                                        std::string& keyOption, bool useMidSideNodes) {
    elementType.clear();
    keyOption = std::string(1, '\xFF');
    m_hostFaces.assign(vertices.size(), HostFace{});
    const std::string& file = getFilename();
    ZELStream stream(file, ZELStream::Read);
    std::string line;
    auto fail = [&](const std::string& message) {
        stream.close();
        throw data::invalid(kClass, kRead, message, ErrError);
    };
    auto failAtLine = [&](const std::string& what) {
        fail(_("File '%s', line %u: %s", file, stream.getLineNumber(), what));
    };
    std::uintmax_t consumed = 0; // bytes of the lines read so far (line ends counted as one)
    auto next = [&]() {
        if (!stream.getNextLine(line)) return false;
        consumed += line.size() + 1;
        return true;
    };

    // ---- commands up to NBLOCK
    int validTypes = 0;
    int patchType = 0;
    std::size_t nodeHint = 0;
    bool foundNodeBlock = false;
    while (next()) {
        const std::string command = StringUtilities::toUpperCase(StringUtilities::simplifyWhitespace(line));
        if (command.empty()) continue;
        if (StringUtilities::startsWith(command, "NBLOCK")) {
            foundNodeBlock = true;
            break;
        }
        const std::vector<std::string> f = StringUtilities::stringToVector(command, ",", true);
        if (f[0] == "NUMOFF" && f.size() > 2 && f[1] == "NODE") {
            int n = 0;
            if (parseInteger(f[2], n) && n > 0) nodeHint = std::size_t(n) + 1;
        } else if (f[0] == "ET" && f.size() > 2 && (f[2] == "152" || f[2] == "154")) {
            if (++validTypes == 1) {
                patchType = std::atoi(f[1].c_str());
                elementType = f[2];
            }
        } else if (f[0] == "KEYOPT" && validTypes > 0 && f.size() > 3) {
            const int key = std::atoi(f[2].c_str());
            if (std::atoi(f[1].c_str()) == patchType &&
                ((elementType == "152" && key == 8) || (elementType == "154" && key == 11)))
                keyOption = f[3];
        }
    }
    if (validTypes == 0) fail("File does not define any valid element types (152 or 154). File cannot be loaded.");
    if (validTypes > 1 && warnedFiles().insert(file).second)
        ErrorProgressReporter::instance()->reportError(ErrorMsg(
            kClass, kRead,
            _("More than one patch with valid element types are defined in this file.\nOnly the first valid patch "
              "will be used (Type No.: %d  Element Type: SURF%s).",
              patchType, elementType),
            ErrWarning));
    if (!foundNodeBlock || !next()) fail("Unexpected end of file...");

    auto readFormat = [&]() {
        try {
            return NorvaDataFormat(line);
        } catch (const Error& e) {
            failAtLine(e.getMessage());
        }
        return NorvaDataFormat("(1I1)"); // not reached
    };

    // ---- node block
    const NorvaDataFormat nodeFormat = readFormat();
    double scale = 1.0;
    UnitsConverter::instance()->convertUnits(m_fileUnits, UnitsConverter::instance()->getBaseUnitsFromQuant("Length"),
                                             1.0, scale);
    std::vector<TripletF> nodeCoordinates;
    // Node number -> its row of the node table while unused (>= 0), then -2 - its vertex.
    NodeIndex nodeIndex;
    std::error_code sizeError;
    const std::uintmax_t fileSize = std::filesystem::file_size(file, sizeError);
    // Reserved room is address space until it is used: reserving from an upper bound (the
    // header's node count, or the rest of the file at the first node line's length) costs no
    // memory and spares the copies of growing the tables, whose peak is what a large deck
    // cannot afford.
    auto reserveNodes = [&](std::size_t rows) {
        rows = std::min<std::size_t>(rows, std::size_t(1) << 28);
        nodeCoordinates.reserve(rows);
        nodeIndex.reserve(rows);
    };
    if (nodeHint > 0) reserveNodes(nodeHint);
    std::vector<std::string_view> fields;
    bool terminated = false;
    while (next()) {
        if (nodeCoordinates.capacity() == 0 && !sizeError && fileSize > consumed)
            reserveNodes(std::size_t((fileSize - consumed) / (line.size() + 1) + 2));
        if (isNodeTerminator(line)) {
            const std::vector<std::string> f =
                StringUtilities::stringToVector(StringUtilities::simplifyWhitespace(line), ",", true);
            const std::string received = f.size() > 3 ? f[3] : std::string();
            if (received != "-1")
                fail(_("Invalid termination of NBLOCK command. Expecting -1 in N command, Received: %s", received));
            terminated = true;
            break;
        }
        if (trimBlanks(line).empty()) continue;
        int number = 0;
        if (nodeFormat.splitDataLine(std::string_view(line), fields) == 0)
            failAtLine("the line holds no node number in the columns of the node format.");
        if (!parseInteger(fields[kNodeNumberField], number) || number <= 0)
            failAtLine(_("'%s' is not a node number.", std::string(trimBlanks(fields[kNodeNumberField]))));
        double xyz[3] = {0.0, 0.0, 0.0};
        for (std::size_t c = 0; c < 3; ++c) {
            const std::size_t k = kFirstCoordinate + c;
            if (k < fields.size() && !parseReal(fields[k], xyz[c]))
                failAtLine(_("node %d: '%s' is not a number.", number, std::string(trimBlanks(fields[k]))));
        }
        if (!nodeIndex.insert(number, int(nodeCoordinates.size()))) failAtLine(_("node %d is defined twice.", number));
        nodeCoordinates.emplace_back(float(xyz[0] * scale), float(xyz[1] * scale), float(xyz[2] * scale));
    }
    if (!terminated) fail(_("File '%s' ends inside its node block (no 'N,' line ends it).", file));

    // ---- element block
    bool foundElementBlock = false;
    while (next())
        if (StringUtilities::startsWith(line, "EBLOCK")) {
            foundElementBlock = true;
            break;
        }
    if (!foundElementBlock || !next()) fail("Unexpected end of file.");
    const NorvaDataFormat elementFormat = readFormat();

    // The sets are filled in order; the quadrilaterals (the usual patch) get room for every
    // remaining line at the first element line's length, the triangles grow as needed.
    for (int s = 0; s < 4; ++s) faceSets[s]->resize(0);
    bool reserved = false;
    std::vector<std::int32_t> nodeNumbers;
    int minNumber = 0, maxNumber = 0;
    std::array<int, 8> nodes{};
    std::array<int, 4> face{};
    while (next()) {
        const std::string_view trimmed = trimBlanks(line);
        if (trimmed == "-1") break;
        if (elementFormat.splitDataLine(std::string_view(line), fields) < kMinElementFields) continue;
        if (!reserved) {
            reserved = true;
            if (!sizeError && fileSize > consumed) {
                const std::uintmax_t estimate = (fileSize - consumed) / (line.size() + 1) + 1;
                faceSets[1]->reserve(int(std::min<std::uintmax_t>(estimate, 1u << 30)));
                const std::size_t perElement = useMidSideNodes ? 3 : 1; // new vertices per face, about
                const std::size_t room = std::min(nodeCoordinates.size(), std::size_t(estimate) * perElement);
                vertices.reserve(vertices.size() + room);
                nodeNumbers.reserve(room);
                m_hostFaces.reserve(vertices.size() + room);
            }
        }
        int type = 0, number = 0;
        if (!parseInteger(fields[kTypeField], type) || !parseInteger(fields[kNumberField], number))
            failAtLine("the element type or number is not a whole number.");
        if (type != patchType) continue;

        // Corner nodes, then mid-side nodes; a 0 ends a group, a node met before is dropped.
        std::size_t count = 0;
        auto collect = [&](std::size_t first) {
            for (std::size_t k = first; k < first + kNodesPerGroup && k < fields.size(); ++k) {
                int node = 0;
                if (!parseInteger(fields[k], node))
                    failAtLine(_("element %d: '%s' is not a node number.", number, std::string(trimBlanks(fields[k]))));
                if (node == 0) break;
                if (std::find(nodes.begin(), nodes.begin() + count, node) == nodes.begin() + count)
                    nodes[count++] = node;
            }
        };
        collect(kFirstCorner);
        const std::size_t corners = count;
        if (corners < 3) continue;
        if (useMidSideNodes) collect(kFirstMidSide);

        const int faceIndex = faceSets[corners - 3]->size();
        if (faceIndex > kMaxHostFace) failAtLine(_("more than %d faces of one kind.", kMaxHostFace));
        for (std::size_t k = 0; k < count; ++k) {
            int* const slot = nodeIndex.slot(nodes[k]);
            if (slot == nullptr)
                fail(_("File '%s', line %u: element %d uses node %d, which the node block does not define.", file,
                       stream.getLineNumber(), number, nodes[k]));
            int vertex = -2 - *slot;
            if (*slot >= 0) {
                vertex = int(vertices.size());
                vertices.push_back(nodeCoordinates[std::size_t(*slot)]);
                *slot = -2 - vertex;
                if (nodeNumbers.empty()) minNumber = maxNumber = nodes[k];
                minNumber = std::min(minNumber, nodes[k]);
                maxNumber = std::max(maxNumber, nodes[k]);
                nodeNumbers.push_back(nodes[k]);
                // A mid-side node is no face corner: it keeps the face it lies on.
                m_hostFaces.resize(vertices.size(), HostFace{});
                if (k >= corners) m_hostFaces.back() = HostFace{std::int32_t(corners - 3), faceIndex};
            }
            if (k < corners) face[k] = vertex;
        }
        faceSets[corners - 3]->addElement(std::span<const int>(face.data(), corners), number);
    }
    stream.close();
    for (int s = 0; s < 2; ++s) faceSets[s]->shrinkToFit();

    VariableRecord record;
    record.shortName = "Node Number";
    record.longName = longName(record.shortName);
    record.fieldIndex = 0;
    record.minimum = float(minNumber);
    record.maximum = float(maxNumber);
    record.nodeNumbers = std::move(nodeNumbers);
    if (record.nodeNumbers.empty()) record.minimum = record.maximum = UNDEFINED_VALUE;
    addRecord(std::move(record));
}

bool NorvaGeometryReader::getVariableData(const std::string& name, FloatZELVectorConcrete& values) {
    const VariableRecord* record = findUsableRecord(name);
    if (record == nullptr) return false;
    ZELStream stream(getFilename(), ZELStream::Read);
    std::string line;
    bool found = false;
    while (stream.getNextLine(line))
        if (StringUtilities::startsWith(StringUtilities::toUpperCase(StringUtilities::simplifyWhitespace(line)),
                                        "NBLOCK")) {
            found = true;
            break;
        }
    if (!found || !stream.getNextLine(line)) return false;
    const NorvaDataFormat format(line);

    // Positions by node number, built once for the whole block (a node used by the surface
    // has exactly one position).
    NodeIndex position;
    for (std::size_t i = 0; i < record->nodeNumbers.size(); ++i) position.insert(record->nodeNumbers[i], int(i));
    values.clear();
    values.resize(record->nodeNumbers.size(), 0.0f);
    std::vector<std::string_view> fields;
    while (stream.getNextLine(line)) {
        const std::string_view trimmed = trimBlanks(line);
        if (trimmed.empty() || !std::isdigit(static_cast<unsigned char>(trimmed.front()))) {
            // The node block ends at its terminator; what follows holds no nodes.
            if (isNodeTerminator(line)) break;
            continue;
        }
        int number = 0;
        if (format.splitDataLine(std::string_view(line), fields) == 0 ||
            !parseInteger(fields[kNodeNumberField], number))
            continue;
        const int at = position.find(number);
        if (at >= 0) values[std::size_t(at)] = float(number);
    }
    return true;
}

// ------------------------------------------------------------------------- variable table

std::string NorvaGeometryReader::longName(const std::string& shortName) const {
    return shortName + " on " + getObjectName();
}

void NorvaGeometryReader::addRecord(VariableRecord record) {
    const auto found = m_index.find(record.longName);
    if (found != m_index.end()) {
        // A second read of the same surface replaces its record.
        m_records[found->second] = std::move(record);
        return;
    }
    m_index.emplace(record.longName, m_records.size());
    m_records.push_back(std::move(record));
}

const NorvaGeometryReader::VariableRecord* NorvaGeometryReader::findRecord(const std::string& name) const {
    const auto found = m_index.find(name);
    return found == m_index.end() ? nullptr : &m_records[found->second];
}

const NorvaGeometryReader::VariableRecord* NorvaGeometryReader::findUsableRecord(const std::string& name) const {
    const VariableRecord* record = findRecord(name);
    return record != nullptr && record->fieldIndex >= 0 ? record : nullptr;
}

bool NorvaGeometryReader::hasVariable(const std::string& name) const { return findUsableRecord(name) != nullptr; }

std::pair<float, float> NorvaGeometryReader::getRange(const std::string& name) {
    const VariableRecord* record = findRecord(name);
    if (record == nullptr) return {UNDEFINED_VALUE, UNDEFINED_VALUE};
    return {record->minimum, record->maximum};
}

std::string NorvaGeometryReader::getVariableUnits(const std::string& name) const {
    const VariableRecord* record = findRecord(name);
    return record == nullptr ? std::string() : record->baseUnits;
}

float NorvaGeometryReader::getMinValue(const std::string& name) const {
    const VariableRecord* record = findRecord(name);
    return record == nullptr ? UNDEFINED_VALUE : record->minimum;
}

float NorvaGeometryReader::getMaxValue(const std::string& name) const {
    const VariableRecord* record = findRecord(name);
    return record == nullptr ? UNDEFINED_VALUE : record->maximum;
}

std::vector<std::string> NorvaGeometryReader::getVariableNames() {
    std::vector<std::string> names;
    names.reserve(m_records.size());
    for (const VariableRecord& r : m_records) names.push_back(r.longName);
    return names;
}

TripletD NorvaGeometryReader::midSideNormal(const Geometry& surface, std::size_t vertex) const {
    static const char* const kSets[2] = {"TRIANGLE", "QUAD"};
    if (vertex >= m_hostFaces.size() || m_hostFaces[vertex].set < 0) return TripletD(0, 0, 0);
    const HostFace& host = m_hostFaces[vertex];
    const ShapeSet* set = surface.getFaceSet(kSets[host.set]);
    if (set == nullptr || host.face >= set->size()) return TripletD(0, 0, 0);
    const std::span<const int> face = set->getElement(host.face);
    const TripletZELVector& v = surface.getVertices();
    auto at = [&](std::size_t k) { return TripletD(v[std::size_t(face[k])]); };
    TripletD n = face.size() == 3 ? (at(1) - at(0)).cross(at(2) - at(0)) : (at(2) - at(0)).cross(at(3) - at(1));
    const double length = std::sqrt(n.lengthSquared());
    return length > 0.0 ? n / length : n;
}

const std::vector<int>& NorvaGeometryReader::getNodeNumbers() const {
    static const std::vector<int> none;
    const VariableRecord* record = findRecord(longName("Node Number"));
    return record == nullptr ? none : record->nodeNumbers;
}

// ---------------------------------------------------------------------------- projection

namespace {
NorvaGeometryReader::BoundaryLookup& boundaryLookup() {
    static NorvaGeometryReader::BoundaryLookup lookup;
    return lookup;
}
} // namespace

void NorvaGeometryReader::setBoundaryLookup(BoundaryLookup lookup) { boundaryLookup() = std::move(lookup); }

OKLObject* NorvaGeometryReader::findBoundary(const std::string& name) {
    if (const BoundaryLookup& lookup = boundaryLookup())
        if (GeometricOKLObject* whole = lookup(name)) return whole;
    return ObjectDB::instance()->getObjectByName(name);
}

std::unique_ptr<HybridInterpolant>
NorvaGeometryReader::makeHybridInterpolant(const TripletZELVector& vertices,
                                           Geometry::ProjectionStatistics& statistics) {
    if (m_object == nullptr)
        throw internal::error(kClass, "getObjValue", "The OKLObject in the NorvaGeometryReader has not been set!",
                              ErrError);
    const std::string name = m_object->getValue("Associated Boundary");
    OKLObject* object = findBoundary(name);
    if (object == nullptr)
        throw data::invalid(kClass, "makeHybridInterpolant", _("Object not found: %s.", name), ErrError);
    auto* boundary = dynamic_cast<GeometricOKLObject*>(object);
    if (boundary == nullptr)
        throw data::invalid(kClass, "makeHybridInterpolant",
                            "Specified associated Boundary is not a Boundary or Region.", ErrError);

    auto interpolant = std::make_unique<HybridInterpolant>("");
    for (const std::string& domain : boundary->getDomainNameList()) {
        Geometry* geometry = boundary->getGeometry(domain);
        if (geometry == nullptr) continue;
        geometry->projectOnGeometry(vertices, interpolant.get(), statistics);
        // The load variables look the boundary's variables up by the interpolant's domains.
        const std::vector<std::string>& known = interpolant->getDomains();
        if (std::find(known.begin(), known.end(), domain) == known.end()) interpolant->addDomainName(domain);
    }
    return interpolant;
}

// ---------------------------------------------------------------------------- objects

void NorvaGeometryReader::generateOKLObjects() {
    for (const LoadVariable& v : kLoadVariables) {
        VariableRecord record;
        record.shortName = v.shortName;
        record.longName = longName(record.shortName);
        record.fieldIndex = -1;
        record.units = v.units;
        record.baseUnits = UnitsConverter::instance()->getBaseUnitsFromQuant(v.quantity);
        record.quantity = v.quantity;
        record.scalar = v.scalar;
        addRecord(std::move(record));
    }

    // Objects left by an earlier load of this surface whose variable it no longer has.
    ObjectDB& db = *ObjectDB::instance();
    const std::vector<std::string> current = getVariableNames();
    std::vector<std::string> stale;
    for (OKLObject* object : db.getObjectsWithParameter("Related Object")) {
        if (object->getValue("Related Object") != getObjectName()) continue;
        std::string name = object->getName();
        const std::size_t colon = name.rfind(':');
        if (colon != std::string::npos) name = name.substr(colon + 1);
        if (std::find(current.begin(), current.end(), name) == current.end() &&
            std::find(stale.begin(), stale.end(), name) == stale.end())
            stale.push_back(name);
    }
    if (!stale.empty())
        OKLCoreAPI::instance()->processOKL("> delete " + StringUtilities::vectorToString(stale, ","),
                                           OKLCoreAPI::ModeUpdate);

    const UnitsConverter& units = *UnitsConverter::instance();
    for (const VariableRecord& record : m_records) {
        if (record.longName == "X" || record.longName == "Y" || record.longName == "Z") continue;
        OKLObject* object = db.hasObject(record.longName) ? db.getObjectByName(record.longName) : nullptr;
        if (object != nullptr && !object->isA("variable")) {
            // A location or other object of that name is not turned into a variable.
            ErrorProgressReporter::instance()->reportError(
                ErrorMsg(kClass, "generateOKLObjects",
                         _("The load variable '%s' is not declared: an object '%s' of type %s exists.", record.longName,
                           record.longName, object->getType()),
                         ErrWarning));
            continue;
        }
        if (object == nullptr)
            object = db.addObject(ObjectFactory::instance()->createObject(
                record.scalar ? "SCALAR VARIABLE" : "VECTOR VARIABLE", record.longName));
        object->setParameter("Related Object", getObjectName());
        if (record.scalar) object->setParameter("Recipe", record.recipe);
        object->setParameter("Base Units", record.baseUnits);
        object->setParameter("Quantity Type", record.quantity);
        object->setParameter("Variable Dimensions", units.dimsFromUnits(record.baseUnits).commaString());
        const std::string low = printedLimit(record.minimum, record.baseUnits);
        const std::string high = printedLimit(record.maximum, record.baseUnits);
        object->setParameter("VarMin", low);
        object->setParameter("HybridMin", low);
        object->setParameter("VarMax", high);
        object->setParameter("HybridMax", high);
        object->setParameter("Has Hybrid Values", record.hasHybridValues ? "True" : "False");
        writeVariableDescription(record.longName);
        object->finishParameters();
    }
}

void NorvaGeometryReader::writeVariableDescription(const std::string& name) const {
    const bool htc = name == longName("Wall Heat Transfer Coefficient");
    if (!htc && name != longName("Wall Adjacent Temperature")) return;
    OKLObject* object = ObjectDB::instance()->getObjectByName(name);
    if (object == nullptr) return;
    object->setParameter("Variable Description", LoadExportSettings::variableDescription(htc));
}

} // namespace zel
