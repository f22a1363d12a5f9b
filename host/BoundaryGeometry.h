#pragma once
// The geometry of one boundary patch of a domain: its faces on the domain's nodes (a
// VertexInterpolant maps each vertex to its domain node) and the boundary quantities made
// from the field variables on first request:
//
//   "Mass Flow"      ρ U·a per vertex (kg s^-1); a = ∫N n dA with n the outward normal of
//                    the domain, so flow leaving the domain is positive and an inlet's
//                    mass flow is negative (OpenFOAM's sign of phi). "<phase>.Mass Flow"
//                    is the phase's share α ρ U·a.
//   "Force"          p a + τ |a| per vertex (N): the force of the fluid on the boundary,
//                    from "Pressure" (pushing along the outward normal, i.e. into the wall)
//                    and "Wall Shear" τ (the stress the fluid exerts on the wall, pointing
//                    along the flow next to it: OpenFOAM's wallShearStress negated). Either
//                    may be missing; with neither there is no force.
//   "momentum flow"  Force + (Mass Flow) U per vertex (N): the rate at which the fluid's
//                    momentum leaves through the boundary plus the force it exerts there;
//                    equal to "Force" on a wall.
//
// Their components are "<name> X", "<name> Y", "<name> Z".
// "Area", "Normal", "X", "Y", "Z" are the plain geometry's; every other variable is the
// geometry's own (values that came with the patch file) or interpolated from the domain.
#include "framework/geometry/Geometry.h"

#include <string>

namespace zel::host {

class BoundaryGeometry : public Geometry {
public:
    Variable* getVariable(const std::string& name, bool mustExist = false) override;

protected:
    Geometry* newGeometry() const override { return new BoundaryGeometry(); }

private:
    // A field variable on this geometry, or null when there is none (no error).
    Variable* field(const std::string& name);
    // The derived quantities above, or null for any other name.
    std::unique_ptr<Variable> makeDerived(const std::string& name);
};

} // namespace zel::host
