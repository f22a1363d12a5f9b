#include "locators/PolylineGeometryReader.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"
#include "framework/core/ZELStream.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace zel {

namespace {

const char* const kClass = "PolylineGeometryReader";

// An index as atoi reads it: leading blanks skipped, an optional sign, the digits up to the
// first other character; no digits give 0. Values beyond the int range saturate (atoi's are
// undefined), which the range check then refuses.
int readIndex(const std::string& field) {
    std::size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || field[i] == '\t')) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    std::int64_t value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i)
        value = std::min<std::int64_t>(value * 10 + (field[i] - '0'), std::int64_t(1) << 32);
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

} // namespace

PolylineGeometryReader::PolylineGeometryReader() = default;
PolylineGeometryReader::PolylineGeometryReader(const PolylineGeometryReader& other) = default;
PolylineGeometryReader& PolylineGeometryReader::operator=(const PolylineGeometryReader& other) = default;
PolylineGeometryReader::~PolylineGeometryReader() = default;

void PolylineGeometryReader::readPolylineFile(TripletZELVector& points, std::vector<int>& lines) {
    int lastLine = 0;
    if (!readPUSTop(points, lines, lastLine)) return;
    readPolylineConnectivity(lastLine, static_cast<int>(points.size()), lines);
}

void PolylineGeometryReader::readPolylineConnectivity(int lastLine, int numPoints, std::vector<int>& lines) {
    std::vector<std::string> text;
    {
        ZELStream in(getFilename(), ZELStream::Read);
        text = in.getFileAsVector();
    }
    lines.clear();
    auto index = [&](const std::string& field, int lineNumber) {
        const int i = readIndex(field);
        if (i < 0 || i >= numPoints)
            throw data::invalid(kClass, "readPolylineConnectivity",
                                _("Line connectivity index out of range on line %d, should be within: 0..%d",
                                  lineNumber, numPoints - 1),
                                ErrError);
        return i;
    };
    auto fieldCount = [&](std::size_t count, int lineNumber) {
        if (count != 2)
            throw data::invalid(
                kClass, "readPolylineConnectivity",
                _("Line connectivity list must contain 2 indices per line, received %d on line %d.", count, lineNumber),
                ErrError);
    };

    for (std::size_t k = std::size_t(lastLine) + 1; k < text.size(); ++k) {
        const int lineNumber = static_cast<int>(k) + 1;
        if (StringUtilities::removeWhitespace(text[k]).empty()) continue;
        if (StringUtilities::startsWith(text[k], "##")) continue;
        const std::string line = StringUtilities::simplifyWhitespace(text[k]);
        if (line.find('-') == std::string::npos) {
            const std::vector<std::string> fields = StringUtilities::stringToVector(
                StringUtilities::simplifyWhitespace(StringUtilities::replaceSubstring(line, ",", " ")), " ");
            fieldCount(fields.size(), lineNumber);
            const int a = index(fields[0], lineNumber), b = index(fields[1], lineNumber);
            lines.push_back(a);
            lines.push_back(b);
        } else {
            const std::vector<std::string> fields = StringUtilities::stringToVector(line, "-");
            fieldCount(fields.size(), lineNumber);
            const int a = index(fields[0], lineNumber), b = index(fields[1], lineNumber);
            // A range whose ends are equal ("4-4") has no segment: it adds nothing rather than
            // a lone index that would pair with the next line's.
            for (int i = a; i < b; ++i) {
                lines.push_back(i);
                lines.push_back(i + 1);
            }
        }
    }
}

} // namespace zel
