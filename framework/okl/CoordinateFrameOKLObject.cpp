#include "framework/okl/CoordinateFrameOKLObject.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"
#include "framework/okl/ObjectDB.h"
#include "framework/units/UnitsConverter.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace zel {

namespace {

constexpr const char* ClassName = "CoordinateFrameOKLObject";

TripletD readPoint(const OKLObject& frame, const char* name, const std::string& units) {
    const std::vector<float> v = frame.getFloatArray(name, units);
    if (v.size() != 3)
        throw data::invalid(
            ClassName, "getFrame",
            _("Parameter '%s' of coordinate frame '%s' must be defined by 3 float values.", name, frame.getName()));
    return {v[0], v[1], v[2]};
}

// 0, 1, 2 for "X", "Y", "Z" (any case); -1 otherwise.
int axisIndex(const std::string& text) {
    if (text.size() != 1) return -1;
    switch (text[0]) {
    case 'X':
    case 'x': return 0;
    case 'Y':
    case 'y': return 1;
    case 'Z':
    case 'z': return 2;
    default: return -1;
    }
}

bool parseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    value = std::strtod(begin, &end);
    return end == begin + text.size() && errno != ERANGE && std::isfinite(value);
}

// Three numbers separated by commas and/or blanks.
std::optional<TripletD> parseDirection(const std::string& text) {
    std::vector<std::string> parts;
    for (std::string& item : StringUtilities::stringToVector(text, ", \t"))
        if (!item.empty()) parts.push_back(std::move(item));
    if (parts.size() != 3) return std::nullopt;
    double v[3];
    for (int i = 0; i < 3; ++i)
        if (!parseNumber(parts[std::size_t(i)], v[i])) return std::nullopt;
    return TripletD(v[0], v[1], v[2]);
}

} // namespace

CoordinateFrameOKLObject::~CoordinateFrameOKLObject() = default;

CoordinateFrame CoordinateFrameOKLObject::frameOf(const OKLObject& frame) {
    const std::string option = frame.hasParam("Option") ? frame.getValue("Option") : std::string("Point and Axes");
    if (option != "Point and Axes")
        throw data::invalid(ClassName, "getFrame",
                            _("Unsupported option '%s' of coordinate frame '%s'.", option, frame.getName()));
    const std::string units = UnitsConverter::instance()->getBaseUnitsFromQuant("Length");
    const TripletD origin = readPoint(frame, "Origin Point", units);
    TripletD z = readPoint(frame, "Z Axis Point", units) - origin;
    const TripletD xPoint = readPoint(frame, "X Axis Point", units) - origin;
    const double zLength = std::sqrt(z.lengthSquared());
    if (!(zLength > 0.0))
        throw data::invalid(ClassName, "getFrame",
                            _("The Z axis point of coordinate frame '%s' lies on its origin.", frame.getName()));
    z = z / zLength;
    TripletD x = xPoint - z * xPoint.dot(z);
    const double xLength = std::sqrt(x.lengthSquared());
    if (!(xLength > 1e-9 * std::sqrt(xPoint.lengthSquared())) || !(xLength > 0.0))
        throw data::invalid(ClassName, "getFrame",
                            _("The X axis point of coordinate frame '%s' lies on its Z axis.", frame.getName()));
    x = x / xLength;
    const TripletD y = z.cross(x);
    CoordinateFrame result;
    result.origin = TripletF(origin);
    result.x = TripletF(x);
    result.y = TripletF(y);
    result.z = TripletF(z);
    return result;
}

std::pair<TripletF, TripletF> CoordinateFrameOKLObject::parseCFString(const std::string& text) {
    const std::string trimmed = StringUtilities::trim(text);
    const TripletF origin(0.0f, 0.0f, 0.0f);
    const CoordinateFrame global;

    if (int i = axisIndex(trimmed); i >= 0) return {origin, global.axis(i)};

    if (std::optional<TripletD> direction = parseDirection(trimmed)) {
        const double length = std::sqrt(direction->lengthSquared());
        if (!(length > 0.0)) throw data::invalid(ClassName, "parseCFString", _("The direction '%s' is zero.", trimmed));
        return {origin, TripletF(*direction / length)};
    }

    // "<frame>.<axis>" or "<frame> <axis>": the axis letter last, after blanks and/or a '.'.
    const int axis = trimmed.empty() ? -1 : axisIndex(trimmed.substr(trimmed.size() - 1));
    if (axis >= 0 && trimmed.size() >= 3) {
        const char separator = trimmed[trimmed.size() - 2];
        if (separator == '.' || separator == ' ' || separator == '\t') {
            std::string frameName = StringUtilities::trim(trimmed.substr(0, trimmed.size() - 1));
            if (!frameName.empty() && frameName.back() == '.')
                frameName = StringUtilities::trim(frameName.substr(0, frameName.size() - 1));
            if (!frameName.empty()) {
                if (StringUtilities::equalsIgnoreCase(frameName, "Global")) return {origin, global.axis(axis)};
                const OKLObject* object = nullptr;
                for (const OKLObject* o : ObjectDB::instance()->getObjectsByType("COORD FRAME"))
                    if (o->getName() == frameName) {
                        object = o;
                        break;
                    }
                if (!object)
                    throw data::notFound(ClassName, "parseCFString",
                                         _("Coordinate frame '%s' does not exist.", frameName));
                const CoordinateFrame frame = frameOf(*object);
                return {frame.origin, frame.axis(axis)};
            }
        }
    }
    throw data::invalid(ClassName, "parseCFString", _("Cannot read '%s' as an axis.", trimmed));
}

} // namespace zel
