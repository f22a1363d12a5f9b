#pragma once
// The calc function of "POINT" objects: symbol geometries of one or more points.
//
//   "Option" = "XYZ"               one point at "Point", under the empty geometry name;
//   "Node Number"                  per domain of the object, that domain's vertex
//                                  "Node Number" (counted from 1), under the domain's name;
//   "Variable Minimum" / "Maximum" per domain of the object and for the empty name, every
//                                  vertex of the "Location" object's geometry of that name
//                                  where "Variable" takes its extreme value (ties give
//                                  several points).
// After a build, "Nearest Node Number" is set to the mesh node (counted from 1) that weighs
// most in the first geometry's first point, or -1.
//
// The error policy (CalcFuncExecutive.h): with propagate errors set, failures of "top" pass
// on; otherwise they are reported and swallowed. A failed "top" leaves the object without
// geometry; failures of the other actions always pass on. Missing locations and variables
// only remove the affected points (reported as warnings). "render" draws the symbols, or
// discards the geometries when there is nothing to draw, and leaves the change flags to the
// host; "symbol" updates the symbols.
#include "framework/ZelExport.h"
#include "framework/geometry/Containers.h"
#include "locators/CalcFuncExecutive.h"

#include <string>

namespace zel {

class Geometry;
class SymbolGeometricOKLObject;

class ZEL_API PointCalcFunc : public CalcFuncExecutive {
public:
    // propagateErrors: failures of "top" pass on (true) or are reported (false);
    // interpolantFlag: the last flag of every external interpolant of the points.
    // The object must be a SymbolGeometricOKLObject.
    explicit PointCalcFunc(bool propagateErrors = true, bool interpolantFlag = true);
    CalcBase* clone() const override { return new PointCalcFunc(*this); }

    bool getInterpolantFlag() const { return m_interpolantFlag; }

private:
    void build(GeometricOKLObject& object) override;
    void draw(GeometricOKLObject& object) override;
    void perform(GeometricOKLObject& object, const std::string& action) override;
    // False when the build stopped early (the nearest-node step is then skipped).
    bool calcPoints(SymbolGeometricOKLObject& object) const;
    // Appends the points of `name` for the extremum options to `points`.
    void findExtrema(SymbolGeometricOKLObject& object, const std::string& name, bool maximum,
                     TripletZELVector& points) const;
    static void updateNearestNode(SymbolGeometricOKLObject& object);

    bool m_interpolantFlag = true;
};

} // namespace zel
