#pragma once
// A coordinate frame ("COORD FRAME") and the reading of axis texts (docs/coordinate-frames.md).
//
// A frame of "Option" "Point and Axes" is given by three points (length units): "Origin
// Point"; "Z Axis Point", a point on its positive Z axis; "X Axis Point", a point in its
// XZ plane on the side of its positive X axis. Z = normalised (Z point − origin);
// X = the part of (X point − origin) normal to Z, normalised; Y = Z × X (right-handed).
#include "framework/geometry/Containers.h"
#include "framework/okl/GeometricOKLObject.h"

#include <string>
#include <utility>

namespace zel {

struct CoordinateFrame {
    TripletF origin{0.0f, 0.0f, 0.0f};
    TripletF x{1.0f, 0.0f, 0.0f};
    TripletF y{0.0f, 1.0f, 0.0f};
    TripletF z{0.0f, 0.0f, 1.0f};
    // Axis 0, 1 or 2.
    const TripletF& axis(int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

class CoordinateFrameOKLObject : public GeometricOKLObject {
public:
    CoordinateFrameOKLObject(const std::string& type, const std::string& name) : GeometricOKLObject(type, name) {}
    ~CoordinateFrameOKLObject() override;

    // The frame of this object's parameters (see above); as frameOf.
    CoordinateFrame getFrame() const { return frameOf(*this); }
    // The frame of any object of type "COORD FRAME". data::invalid (class
    // "CoordinateFrameOKLObject", operation "getFrame") for an unsupported "Option", a
    // Z axis point on the origin, or an X axis point on the Z axis.
    static CoordinateFrame frameOf(const OKLObject& frame);

    // Reads an axis text into (origin, unit direction). Accepted, blanks around the parts
    // and the case of axis letters and of "Global" being free:
    //   "X", "Y", "Z", "Global X", "Global.X" ...    the global axes, origin (0, 0, 0);
    //   "<frame> X" or "<frame>.X" (Y, Z)            that axis of the "COORD FRAME" object
    //                                                named <frame> ("Coord 1 X",
    //                                                "Coord 1.X"), origin the frame's origin;
    //   "x, y, z" or "x y z"                         an explicit direction (normalised),
    //                                                origin (0, 0, 0).
    // Errors (class "CoordinateFrameOKLObject", operation "parseCFString"): data::notFound
    // "Coordinate frame '%s' does not exist." for a frame name that names no "COORD FRAME"
    // object; data::invalid for a zero direction, and "Cannot read '%s' as an axis." for
    // anything else (an empty text included).
    static std::pair<TripletF, TripletF> parseCFString(const std::string& text);
};

} // namespace zel
