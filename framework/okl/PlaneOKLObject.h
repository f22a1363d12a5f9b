#pragma once
// A "PLANE" object. Its plane definition ("Option") gives three points of the plane:
//
//   "Point and Normal"  "Point" (length) and "Normal" (a direction, any length): p1 is the
//                       point; p2 = p1 + s·u, p3 = p1 + s·v with u, v unit in-plane axes such
//                       that u × v is the unit normal, and s = max(1, largest |component|
//                       of p1), so that p2 − p1 and p3 − p1 keep their precision far from
//                       the origin;
//   "Three Points"      "Point 1", "Point 2", "Point 3" (length), as given;
//   "XY Plane"          "Z" (length): (0,0,Z), (1,0,Z), (0,1,Z), normal +Z;
//   "YZ Plane"          "X" (length): (X,0,0), (X,1,0), (X,0,1), normal +X;
//   "ZX Plane"          "Y" (length): (0,Y,0), (0,Y,1), (1,Y,0), normal +Y.
//
// In every case (p2 − p1) × (p3 − p1) points along the plane's normal. Lengths are read in
// the base units of "Length" (a value with a unit, "0.5, 0.5, 0.5 [mm]", is converted).
#include "framework/okl/GeometricOKLObject.h"

namespace zel {

class PlaneOKLObject : public GeometricOKLObject {
public:
    PlaneOKLObject(const std::string& type, const std::string& name) : GeometricOKLObject(type, name) {}
    ~PlaneOKLObject() override;

    // The three points of the plane definition (see above). Errors, all of class
    // "PlaneOKLObject", operation "processParameters", naming the plane:
    //   data::notFound  a parameter the definition needs is missing;
    //   data::invalid   "Parameter '%s' of plane '%s' must be defined by 3 float values."
    //                   (a point or normal with another number of values, or a non-finite
    //                   value); "The normal of plane '%s' is zero."; "The points of plane
    //                   '%s' are collinear." (three points whose triangle has no area, to
    //                   1e-6 of the product of its two edge lengths, coincident points
    //                   included); "Unsupported plane definition '%s' of plane '%s'." for
    //                   any other "Option".
    // The points are not changed when it fails.
    void processParameters(TripletF& p1, TripletF& p2, TripletF& p3) const;

    // The point p1 and the normal (p2 − p1) × (p3 − p1) of the plane definition, not
    // normalised.
    void getPlane(TripletF& point, TripletF& normal) const;
};

} // namespace zel
