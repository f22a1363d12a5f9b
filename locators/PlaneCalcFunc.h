#pragma once
// The calc function of "PLANE" objects: sample planes and slice planes.
//
//   Sample plane ("Plane Type" other than "Slice"): a grid of "Direction 1 Points" by
//   "Direction 2 Points" vertices over a rectangle ("Plane Bound" = "Rectangular"), or a
//   disc of rings ("Circular": "Direction 1 Points" rings counting the centre, "Direction 2
//   Points" vertices per ring), one geometry under the empty name with an interpolant over
//   the object's domains.
//   Slice plane ("Slice"): the cut of the plane through the cells of each domain, one
//   geometry per cut domain under the domain's name, each with the edge interpolant of the
//   cut. With a bound, only the faces whose centroid lies inside the circle or rectangle are
//   kept ("Invert Plane Bound": outside).
//
// Error policy (CalcFuncExecutive.h): with propagate errors set, failures pass on to the
// caller; otherwise they are reported to ErrorProgressReporter and swallowed. Either way a
// failed "top", "colour" or "render" leaves the object without geometry. Problems with the
// bound settings are always reported, and the plane is then left empty (a sample plane) or
// not built (a slice plane). "render" leaves the change flags to the host.
#include "framework/ZelExport.h"
#include "framework/geometry/Containers.h"
#include "locators/CalcFuncExecutive.h"

#include <string>

namespace zel {

class Geometry;
class PlaneOKLObject;

class ZEL_API PlaneCalcFunc : public CalcFuncExecutive {
public:
    enum BoundType : int { BoundNone = 1, BoundCircular = 2, BoundRectangular = 3 };

    // propagateErrors: failures pass on (true) or are reported and swallowed (false);
    // interpolantFlag: the last flag of the external interpolant of a sample plane.
    // The object must be a PlaneOKLObject.
    explicit PlaneCalcFunc(bool propagateErrors = true, bool interpolantFlag = true);
    CalcBase* clone() const override { return new PlaneCalcFunc(*this); }

    // The parameter step: works out the plane, its bound and in-plane axes from the object.
    // False, after reporting why (class "PlaneCalcFunc", operation "processParameters"), when
    // the bound settings cannot be used. Failures of the object's plane definition pass on.
    bool processParameters(const PlaneOKLObject& object);

    // The plane of the last parameter step.
    const TripletF& getNormal() const { return m_normal; } // not normalised
    const TripletF& getPoint() const { return m_point; }   // the centre of any bound
    int getBoundType() const { return m_boundType; }
    float getBoundRadius() const { return m_boundRadius; }
    float getDirection1Bound() const { return m_direction1Bound; } // full widths
    float getDirection2Bound() const { return m_direction2Bound; }
    const TripletF& getDirection1() const { return m_direction1; } // unit in-plane axes
    const TripletF& getDirection2() const { return m_direction2; }
    bool getInvertBound() const { return m_invertBound; }
    bool getInterpolantFlag() const { return m_interpolantFlag; }

    // The culling step of a bounded slice: copies into `target` (empty) the faces of `source`
    // whose centroid lies inside the bound (outside when inverted), with the vertices they use
    // renumbered in ascending source order and their edge-interpolation records. `source`
    // must carry an EdgeInterpolant (internal::error otherwise).
    void cullVertices(const Geometry& source, Geometry& target) const;

private:
    static Policy policy(bool propagateErrors);
    void build(GeometricOKLObject& object) override;
    void draw(GeometricOKLObject& object) override;
    void calcSamplePlane(PlaneOKLObject& object);
    void calcVertices(Geometry& geometry, const PlaneOKLObject& object) const;
    void calcSlicePlane(PlaneOKLObject& object);
    // The in-plane axes from the normal; false (reported) when they cannot be made.
    bool calcAxes();

    TripletF m_normal{0.0f, 0.0f, 1.0f};
    TripletF m_point{0.0f, 0.0f, 0.0f};
    int m_boundType = BoundNone;
    float m_boundRadius = 0.0f;
    float m_direction1Bound = 0.0f;
    float m_direction2Bound = 0.0f;
    TripletF m_direction1{1.0f, 0.0f, 0.0f};
    TripletF m_direction2{0.0f, 1.0f, 0.0f};
    bool m_invertBound = false;
    bool m_interpolantFlag = true;
};

} // namespace zel
