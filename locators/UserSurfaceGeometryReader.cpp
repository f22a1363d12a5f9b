#include "locators/UserSurfaceGeometryReader.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"
#include "framework/core/ZELStream.h"
#include "framework/geometry/Geometry.h"

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

namespace zel {

namespace {

const char* const kClass = "UserSurfaceGeometryReader";
const char* const kConnectivity = "readUserSurfaceConnectivity";

constexpr int kSetCount = 4; // TRIANGLE, QUAD, PENTAGON, HEXAGON
constexpr int kMinNodes = 3;
constexpr int kMaxNodes = 6;

[[noreturn]] void fail(const std::string& message) { throw data::invalid(kClass, kConnectivity, message, ErrError); }

int readIndex(const std::string& field, int lineNumber, int vertexCount) {
    const int index = std::atoi(field.c_str());
    if (index < 0 || index >= vertexCount)
        fail(
            _("Face connectivity index out of range on line %d, should be within: 0..%d", lineNumber, vertexCount - 1));
    return index;
}

} // namespace

void UserSurfaceGeometryReader::readUserSurfaceFile(TripletZELVector& points, ShapeSet* const* faceSets) {
    int lastLine = 0;
    if (!readPUSTop(points, lastLine))
        throw data::invalid(kClass, "readUserSurfaceFile",
                            "Faces connectivity is not supplied.  Cannot create User Surface.", ErrError);
    readUserSurfaceConnectivity(lastLine, static_cast<int>(points.size()), faceSets);
}

void UserSurfaceGeometryReader::readUserSurfaceConnectivity(int lastLine, int vertexCount, ShapeSet* const* faceSets) {
    ZELStream stream(getFilename(), ZELStream::Read);
    const std::vector<std::string> lines = stream.getFileAsVector();
    stream.close();

    const int remaining = static_cast<int>(lines.size()) - lastLine;
    if (remaining < 1) return;
    // Every set is sized for the worst case (all faces of its kind) and cut to what was
    // read at the end, so that no set grows face by face.
    std::array<int, kSetCount> counters{};
    for (int s = 0; s < kSetCount; ++s) faceSets[s]->resize(remaining);

    std::array<int, kMaxNodes> face{};
    for (std::size_t index = std::size_t(lastLine) + 1; index < lines.size(); ++index) {
        const int lineNumber = static_cast<int>(index) + 1;
        const std::string& raw = lines[index];
        if (StringUtilities::removeWhitespace(raw).empty()) continue;
        if (raw.size() >= 2 && raw[0] == '#' && raw[1] == '#') continue;
        const std::string line = StringUtilities::simplifyWhitespace(raw);

        int count = 0;
        if (line.find('-') != std::string::npos) {
            const std::vector<std::string> ends = StringUtilities::stringToVector(line, "-");
            if (ends.size() != 2)
                fail(_("Face connectivity range must contain 2 indices per line, received %d on line %d.",
                       static_cast<int>(ends.size()), lineNumber));
            const int a = readIndex(ends[0], lineNumber, vertexCount);
            const int b = readIndex(ends[1], lineNumber, vertexCount);
            const int span = b > a ? b - a : a - b;
            if (span + 1 < kMinNodes || span + 1 > kMaxNodes)
                fail(_("Face connectivity range must span 3 to 6 indices per line, line %d only specifies range "
                       "of %d.",
                       lineNumber, a - b));
            const int step = b > a ? 1 : -1;
            count = span + 1;
            for (int k = 0; k < count; ++k) face[std::size_t(k)] = a + k * step;
        } else {
            const std::vector<std::string> fields = StringUtilities::stringToVector(
                StringUtilities::simplifyWhitespace(StringUtilities::replaceSubstring(line, ",", " ")), " ");
            count = static_cast<int>(fields.size());
            if (count < kMinNodes || count > kMaxNodes)
                fail(_("Face connectivity list must contain 3 to 6 indices per line, received %d on line %d.", count,
                       lineNumber));
            for (int k = 0; k < count; ++k)
                face[std::size_t(k)] = readIndex(fields[std::size_t(k)], lineNumber, vertexCount);
        }

        const int set = count - kMinNodes;
        faceSets[set]->setElement(counters[std::size_t(set)]++, std::span<const int>(face.data(), std::size_t(count)));
    }
    for (int s = 0; s < kSetCount; ++s) faceSets[s]->resize(counters[std::size_t(s)]);
}

} // namespace zel
