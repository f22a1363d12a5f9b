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
//
// Per face (in the order of the geometry's global element ids, Geometry::getElementOffsets)
// it keeps the domain cell that owns the face, and for a boundary read from a patch the
// patch's cell arrays: the solver's face values.
// "Area", "Normal", "X", "Y", "Z" are the plain geometry's; every other variable is the
// geometry's own (values that came with the patch file) or interpolated from the domain.
#include "framework/geometry/Geometry.h"
#include "host/CaseStorage.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace zel::host {

// The cell face of the domain that a boundary face is: the cell's global element id in the
// domain geometry and the face's local index (CellTopology.h); cell -1 for a patch face that
// is no cell face of the domain.
struct BoundaryFaceOwner {
    std::int64_t cell = -1;
    int face = -1;
};

class BoundaryGeometry : public Geometry {
public:
    Variable* getVariable(const std::string& name, bool mustExist = false) override;

    // One owner per face.
    std::span<const BoundaryFaceOwner> getFaceOwners() const { return m_faceOwners; }
    void setFaceOwners(std::vector<BoundaryFaceOwner> owners) { m_faceOwners = std::move(owners); }
    // The patch's cell arrays by variable name (mapped and scaled as the point arrays are),
    // one tuple per face; empty for a boundary of free faces.
    const std::map<std::string, DomainField>& getFaceFields() const { return m_faceFields; }
    void setFaceFields(std::map<std::string, DomainField> fields) { m_faceFields = std::move(fields); }

protected:
    Geometry* newGeometry() const override { return new BoundaryGeometry(); }
    // A copy of the mesh keeps the owners and face values.
    void copyKindData(Geometry& copy, bool copyMesh, bool copyData) const override;

private:
    // A field variable on this geometry, or null when there is none (no error).
    Variable* field(const std::string& name);
    // The derived quantities above, or null for any other name.
    std::unique_ptr<Variable> makeDerived(const std::string& name);

    std::vector<BoundaryFaceOwner> m_faceOwners;
    std::map<std::string, DomainField> m_faceFields;
};

} // namespace zel::host
