#pragma once
// Sums the force stored at the vertices of a surface and, with a moment point, its moment
// about that point (force and torque).
//
// The force of a fluid (see FluidRule.h) is the vector variable "<prefix>Force" when an
// object of that name exists and the geometry provides it. In a multiphase domain without
// per-fluid forces the fluid-independent "Force" is used instead, once. Vertices whose force
// has an undefined component add nothing. A geometry without an interpolant is reported
// (internal::nullPointer) and skipped; the other failures are raised.
#include "framework/ZelExport.h"
#include "framework/geometry/Containers.h"
#include "framework/geometry/Visitor.h"

#include <string>

namespace zel {

// The calculator's projection of a sum on an axis: the axis normalised in single precision
// (a zero axis stays zero; an undefined one is divided by the undefined value), the sums
// rounded to float, and fy·ay + fx·ax + fz·az added in that order in single precision.
ZEL_API double projectOnAxis(const TripletBase<double>& sums, TripletBase<float> axis);

class ZEL_API ForceVisitor : public GeometryVisitor {
public:
    // Force only (no moment point).
    explicit ForceVisitor(const std::string& fluid);
    // Force and its moment about `origin`.
    ForceVisitor(const TripletBase<float>& origin, const std::string& fluid);
    ForceVisitor(const ForceVisitor&) = default;
    ForceVisitor& operator=(const ForceVisitor&) = default;
    ~ForceVisitor() override;

    using GeometryVisitor::visitGeometry;
    void visitGeometry(Geometry& geometry) override;

    // The sums (x, y, z), each rounded to float.
    TripletBase<float> getForce() const;
    TripletBase<float> getTorque() const;
    // The sums in double as accumulated, for adding the partial sums of several visits.
    const TripletBase<double>& getForceSums() const { return m_force; }
    const TripletBase<double>& getTorqueSums() const { return m_torque; }
    // The sums projected on an axis (see projectOnAxis).
    double getForceProjection(TripletBase<float> axis) const;
    double getTorqueProjection(TripletBase<float> axis) const;

    const std::string& getFluid() const { return m_fluid; }
    bool hasOrigin() const { return m_hasOrigin; }
    const TripletBase<float>& getOrigin() const { return m_origin; }

private:
    std::string m_fluid;
    bool m_hasOrigin = false;
    TripletBase<double> m_force;
    TripletBase<double> m_torque;
    TripletBase<float> m_origin;
};

// Sums the normalised force stored on a line location (forceNorm): per fluid the vector
// variable "<prefix>Normalized Force on <geometry name>" held by the geometry, which the
// line's calc function computes. The domain of the fluid rule is the geometry's parent
// domain.
class ZEL_API ForceNormVisitor : public GeometryVisitor {
public:
    explicit ForceNormVisitor(const std::string& fluid);
    ForceNormVisitor(const ForceNormVisitor&) = default;
    ForceNormVisitor& operator=(const ForceNormVisitor&) = default;
    ~ForceNormVisitor() override;

    using GeometryVisitor::visitGeometry;
    // data::error for a geometry without line elements, data::notFound for a fluid whose
    // normalised force the geometry does not hold (or holds as a scalar).
    void visitGeometry(Geometry& geometry) override;

    TripletBase<float> getForce() const;
    const TripletBase<double>& getForceSums() const { return m_force; }
    double getForceProjection(TripletBase<float> axis) const;

    const std::string& getFluid() const { return m_fluid; }

private:
    std::string m_fluid;
    TripletBase<double> m_force;
};

} // namespace zel
