#include "framework/okl/PlaneOKLObject.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/units/UnitsConverter.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {

constexpr const char* ClassName = "PlaneOKLObject";
constexpr const char* Operation = "processParameters";

std::string lengthUnits() { return UnitsConverter::instance()->getBaseUnitsFromQuant("Length"); }

void requireParam(const PlaneOKLObject& plane, const std::string& name) {
    if (!plane.hasParam(name))
        throw data::notFound(ClassName, Operation,
                             _("Plane '%s' has no parameter '%s', which its definition '%s' needs.", plane.getName(),
                               name, plane.getValue("Option")));
}

TripletF readTriplet(const PlaneOKLObject& plane, const std::string& name, const std::string& units) {
    requireParam(plane, name);
    const std::vector<float> v = plane.getFloatArray(name, units);
    const bool finite = std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x) && !isUndefined(x); });
    if (v.size() != 3 || !finite)
        throw data::invalid(
            ClassName, Operation,
            _("Parameter '%s' of plane '%s' must be defined by 3 float values.", name, plane.getName()));
    return {v[0], v[1], v[2]};
}

float readLength(const PlaneOKLObject& plane, const std::string& name, const std::string& units) {
    requireParam(plane, name);
    const float value = plane.getFloatValue(name, units);
    if (!std::isfinite(value) || isUndefined(value))
        throw data::invalid(ClassName, Operation,
                            _("Parameter '%s' of plane '%s' must be a finite value.", name, plane.getName()));
    return value;
}

} // namespace

PlaneOKLObject::~PlaneOKLObject() = default;

void PlaneOKLObject::processParameters(TripletF& p1, TripletF& p2, TripletF& p3) const {
    if (!hasParam("Option"))
        throw data::notFound(ClassName, Operation, _("Plane '%s' has no parameter 'Option'.", getName()));
    const std::string option = getValue("Option");
    const std::string units = lengthUnits();

    if (option == "XY Plane") {
        const float z = readLength(*this, "Z", units);
        p1 = {0, 0, z}, p2 = {1, 0, z}, p3 = {0, 1, z};
    } else if (option == "YZ Plane") {
        const float x = readLength(*this, "X", units);
        p1 = {x, 0, 0}, p2 = {x, 1, 0}, p3 = {x, 0, 1};
    } else if (option == "ZX Plane") {
        const float y = readLength(*this, "Y", units);
        p1 = {0, y, 0}, p2 = {0, y, 1}, p3 = {1, y, 0};
    } else if (option == "Point and Normal") {
        const TripletF point = readTriplet(*this, "Point", units);
        const TripletF normal = readTriplet(*this, "Normal", std::string());
        const TripletD n = TripletD(normal);
        const double length = std::sqrt(n.lengthSquared());
        if (!(length > 0.0))
            throw data::invalid(ClassName, Operation, _("The normal of plane '%s' is zero.", getName()));
        const TripletD unit = n / length;
        // u: the coordinate axis least aligned with the normal, made normal to it.
        const double ax = std::fabs(unit.x), ay = std::fabs(unit.y), az = std::fabs(unit.z);
        const TripletD axis =
            (ax <= ay && ax <= az) ? TripletD(1, 0, 0) : (ay <= az ? TripletD(0, 1, 0) : TripletD(0, 0, 1));
        TripletD u = axis - unit * axis.dot(unit);
        u = u / std::sqrt(u.lengthSquared());
        const TripletD v = unit.cross(u); // u × v = unit
        const double scale =
            std::max({1.0, std::fabs(double(point.x)), std::fabs(double(point.y)), std::fabs(double(point.z))});
        const TripletD p(point);
        p1 = point;
        p2 = TripletF(p + u * scale);
        p3 = TripletF(p + v * scale);
    } else if (option == "Three Points") {
        const TripletF a = readTriplet(*this, "Point 1", units);
        const TripletF b = readTriplet(*this, "Point 2", units);
        const TripletF c = readTriplet(*this, "Point 3", units);
        const TripletD e1 = TripletD(b) - TripletD(a), e2 = TripletD(c) - TripletD(a);
        const double area2 = std::sqrt(e1.cross(e2).lengthSquared());
        const double scale = std::sqrt(e1.lengthSquared() * e2.lengthSquared());
        if (!(area2 > 1e-6 * scale))
            throw data::invalid(ClassName, Operation, _("The points of plane '%s' are collinear.", getName()));
        p1 = a, p2 = b, p3 = c;
    } else {
        throw data::invalid(ClassName, Operation,
                            _("Unsupported plane definition '%s' of plane '%s'.", option, getName()));
    }
}

void PlaneOKLObject::getPlane(TripletF& point, TripletF& normal) const {
    TripletF p1, p2, p3;
    processParameters(p1, p2, p3);
    point = p1;
    normal = (p2 - p1).cross(p3 - p1);
}

} // namespace zel
