#include "framework/geometry/UserGeometryReader.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"
#include "framework/core/ZELStream.h"
#include "framework/units/UnitsConverter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace zel {

namespace {

const char* const kClass = "UserGeometryReader";

UserGeometryReader::ObjectGenerator s_generator = nullptr;

// A number that fills the whole field ("+" allowed in front); nothing for anything else.
std::optional<double> parseNumber(std::string_view field) {
    const bool plus = !field.empty() && field.front() == '+';
    if (plus) field.remove_prefix(1);
    if (field.empty() || (plus && (field.front() == '+' || field.front() == '-'))) return std::nullopt;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (ec != std::errc() || end != field.data() + field.size()) return std::nullopt;
    return value;
}

// How a column's values become base SI values: value * scale + offset.
struct Column {
    std::string name;
    double scale = 1.0;
    double offset = 0.0;
    std::string baseUnits;
    int coordinate = -1; // 0, 1, 2 for X, Y, Z; -1 for a variable
};

// Reads one file's header and point list; every failure names the file and the line.
class PointListParser {
public:
    explicit PointListParser(const std::string& file) : m_file(file) {}

    [[noreturn]] void fail(std::size_t index, const std::string& what) const {
        throw data::invalid(kClass, "readPUSTop", _("File '%s', line %u: %s", m_file, index + 1, what), ErrError);
    }

    // The column line (or the default columns when `line` is empty).
    std::vector<Column> parseColumns(std::size_t index, const std::string& line) const {
        std::vector<Column> columns;
        if (line.empty()) {
            for (int c = 0; c < 3; ++c) columns.push_back({std::string(1, char('X' + c)), 1.0, 0.0, "m", c});
            return columns;
        }
        const bool commas = line.find(',') != std::string::npos;
        const std::vector<std::string> fields =
            commas ? StringUtilities::stringToVector(line, ",", true) : StringUtilities::stringToVector(line, " \t");
        const UnitsConverter& converter = *UnitsConverter::instance();
        const UnitDimensions length = converter.getDimsFromQuant("Length");
        for (std::size_t f = 0; f < fields.size(); ++f) {
            const std::string& field = fields[f];
            Column column;
            std::string units;
            const std::size_t open = field.find('[');
            if (open == std::string::npos) {
                column.name = field;
            } else {
                const std::size_t close = field.find(']', open);
                if (close == std::string::npos || !StringUtilities::trim(field.substr(close + 1)).empty())
                    fail(index, _("column '%s': the unit must be one text in square brackets after the name.", field));
                column.name = StringUtilities::trim(field.substr(0, open));
                units = StringUtilities::trim(field.substr(open + 1, close - open - 1));
            }
            if (column.name.empty()) fail(index, _("column %u has no name.", f + 1));
            for (const Column& other : columns)
                if (StringUtilities::equalsIgnoreCase(other.name, column.name))
                    fail(index, _("column '%s' appears twice.", column.name));
            for (int c = 0; c < 3; ++c)
                if (StringUtilities::equalsIgnoreCase(column.name, std::string(1, char('X' + c))))
                    column.coordinate = c;

            UnitInfo info;
            if (!units.empty()) {
                try {
                    info = converter.parse(units);
                } catch (const data::invalid&) {
                    fail(index, _("column '%s': '%s' is not a unit.", column.name, units));
                }
            } else if (column.coordinate >= 0) {
                info.dims = length;
            }
            if (column.coordinate >= 0 && info.dims != length)
                fail(index, _("column '%s': '%s' is not a unit of length.", column.name, units));
            column.scale = info.scale;
            column.offset = info.offset;
            column.baseUnits =
                units.empty() && column.coordinate < 0 ? std::string() : converter.getBaseUnitName(info.dims);
            columns.push_back(std::move(column));
        }
        for (int c = 0; c < 3; ++c)
            if (std::none_of(columns.begin(), columns.end(), [c](const Column& k) { return k.coordinate == c; }))
                fail(index, "the columns must include X, Y and Z.");
        return columns;
    }

    // One row of values, in base units.
    void parseRow(std::size_t index, const std::string& line, const std::vector<Column>& columns,
                  std::vector<double>& row) const {
        const std::vector<std::string> fields = StringUtilities::stringToVector(line, ", \t");
        if (fields.size() != columns.size())
            fail(index, _("expected %u values, found %u.", columns.size(), fields.size()));
        row.resize(fields.size());
        for (std::size_t f = 0; f < fields.size(); ++f) {
            const std::optional<double> value = parseNumber(fields[f]);
            if (!value || !std::isfinite(*value))
                fail(index, _("'%s' is not a finite number (column '%s').", fields[f], columns[f].name));
            row[f] = *value * columns[f].scale + columns[f].offset;
        }
    }

private:
    std::string m_file;
};

bool isConnectivityMarker(const std::string& section) {
    return section == "lines" || section == "faces" || section == "connectivity";
}

} // namespace

void UserGeometryReader::setObjectGenerator(ObjectGenerator generator) { s_generator = generator; }

UserGeometryReader::ObjectGenerator UserGeometryReader::getObjectGenerator() { return s_generator; }

UserGeometryReader::UserGeometryReader() = default;
UserGeometryReader::UserGeometryReader(const UserGeometryReader&) = default;
UserGeometryReader& UserGeometryReader::operator=(const UserGeometryReader&) = default;
UserGeometryReader::~UserGeometryReader() = default;

bool UserGeometryReader::readPUSTop(TripletZELVector& points, int& lastLine) {
    const std::string& file = getFilename();
    std::vector<std::string> text;
    {
        ZELStream in(file, ZELStream::Read);
        text = in.getFileAsVector();
    }
    const PointListParser parser(file);

    std::string title;
    bool expectTitle = false, sawName = false, sawData = false;
    std::size_t nameLine = 0;
    std::optional<std::vector<Column>> columns;
    std::vector<FileVariable> variables;
    TripletZELVector read;
    std::vector<double> row;
    bool connectivity = false;
    std::size_t last = text.empty() ? 0 : text.size() - 1;

    for (std::size_t i = 0; i < text.size(); ++i) {
        // '#' starts a comment that runs to the end of the line.
        const std::string line = StringUtilities::trim(std::string_view(text[i]).substr(0, text[i].find('#')));
        if (line.empty()) continue;
        if (expectTitle) {
            title = line;
            expectTitle = false;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') parser.fail(i, _("the section marker '%s' has no closing ']'.", line));
            const std::string section =
                StringUtilities::toLowerCase(StringUtilities::trim(line.substr(1, line.size() - 2)));
            const bool started = columns.has_value();
            if (section == "name") {
                if (sawName || sawData || started) parser.fail(i, "[Name] must come first, and only once.");
                sawName = expectTitle = true;
                nameLine = i;
                continue;
            }
            if (section == "data") {
                if (sawData || started) parser.fail(i, "[Data] must come before the points, and only once.");
                sawData = true;
                continue;
            }
            if (isConnectivityMarker(section)) {
                if (read.empty()) parser.fail(i, _("no points before the section '%s'.", line));
                connectivity = true;
                last = i;
                break;
            }
            parser.fail(i, _("unknown section '%s'.", line));
        }
        if (!columns) {
            const std::string first = StringUtilities::stringToVector(line, ", \t").front();
            const bool header = !parseNumber(first).has_value();
            columns = parser.parseColumns(i, header ? line : std::string());
            for (const Column& c : *columns)
                if (c.coordinate < 0) variables.push_back({c.name, c.baseUnits, {}});
            if (header) continue;
        }
        parser.parseRow(i, line, *columns, row);
        TripletF p;
        std::size_t v = 0;
        for (std::size_t c = 0; c < columns->size(); ++c) {
            const Column& column = (*columns)[c];
            if (column.coordinate >= 0)
                p[column.coordinate] = static_cast<float>(row[c]);
            else
                variables[v++].values.push_back(static_cast<float>(row[c]));
        }
        read.push_back(p);
    }
    if (expectTitle) parser.fail(nameLine, "[Name] is not followed by a title.");
    if (read.empty()) throw data::invalid(kClass, "readPUSTop", _("File '%s' holds no points.", file), ErrError);

    points.reserve(points.size() + read.size());
    for (const TripletF& p : read) points.push_back(p);
    m_title = std::move(title);
    m_variables = std::move(variables);
    lastLine = static_cast<int>(last);
    return connectivity;
}

bool UserGeometryReader::readPUSTop(TripletZELVector& points, std::vector<int>& lines, int& lastLine) {
    const std::size_t before = points.size();
    const bool more = readPUSTop(points, lastLine);
    lines.clear();
    lines.reserve(2 * (points.size() - before - 1));
    for (std::size_t i = before + 1; i < points.size(); ++i) {
        lines.push_back(static_cast<int>(i - 1));
        lines.push_back(static_cast<int>(i));
    }
    return more;
}

void UserGeometryReader::generateOKLObjects() {
    if (s_generator != nullptr) s_generator(*this);
}

std::vector<std::string> UserGeometryReader::getFileVariableNames() const {
    std::vector<std::string> names;
    names.reserve(m_variables.size());
    for (const FileVariable& v : m_variables) names.push_back(v.name);
    return names;
}

const UserGeometryReader::FileVariable& UserGeometryReader::findVariable(const std::string& name,
                                                                         const char* operation) const {
    for (const FileVariable& v : m_variables)
        if (v.name == name) return v;
    throw data::notFound(kClass, operation, _("File '%s' holds no variable '%s'.", getFilename(), name), ErrError);
}

std::pair<float, float> UserGeometryReader::getRange(const std::string& name) {
    const FileVariable& v = findVariable(name, "getRange");
    return {v.values.getMin(), v.values.getMax()};
}

bool UserGeometryReader::getVariableData(const std::string& name, FloatZELVectorConcrete& values) {
    for (const FileVariable& v : m_variables) {
        if (v.name != name) continue;
        values = v.values;
        return true;
    }
    return false;
}

std::string UserGeometryReader::getVariableUnits(const std::string& name) const {
    return findVariable(name, "getVariableUnits").baseUnits;
}

} // namespace zel
