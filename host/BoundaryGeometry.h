#pragma once
// The geometry of one boundary patch of a domain: its faces on the domain's nodes (a
// VertexInterpolant maps each vertex to its domain node) and the boundary quantities made
// from the field variables on first request:
//
//   "Mass Flow"      ρ U·a per vertex (kg s^-1); a = ∫N n dA with n the outward normal of
//                    the domain, so flow leaving the domain is positive and an inlet's
//                    mass flow is negative (OpenFOAM's sign of phi). "<phase>.Mass Flow"
//                    is the phase's share α ρ U·a.
//   "Force"          p a + τ A per vertex (N), A = ∫N dA: the force of the fluid on the boundary,
//                    from "Pressure" (pushing along the outward normal, i.e. into the wall)
//                    and "Wall Shear" τ (the stress the fluid exerts on the wall, pointing
//                    along the flow next to it: OpenFOAM's wallShearStress negated). Either
//                    may be missing; with neither there is no force.
//   "Pressure Force", "Viscous Force"
//                    the two parts of "Force" alone (OpenFOAM's forces prints them so).
//   "momentum flow"  Force + (Mass Flow) U per vertex (N): the rate at which the fluid's
//                    momentum leaves through the boundary plus the force it exerts there;
//                    equal to "Force" on a wall.
//
// Their components are "<name> X", "<name> Y", "<name> Z".
//
// Flows from face values. A finite-volume solver's balances are sums over faces (phi_f =
// U_f·S_f), and the point values an export carries are interpolated from the cells, so their
// integral misses those sums by a fraction of a percent. Where the boundary has face values
// of what a flow is made of (FlowSource::Faces, the default), the flow of each face — ρ_f α_f
// U_f·S_f, p_f S_f, τ_f |S_f|, (ρ α U·S)_f U_f — is computed in double precision and split
// among the face's vertices by their area shares w_fi / A_f (w_fi = ∫_f N_i dA, A_f = Σ_i
// w_fi), so that the vertex values of a boundary add up to the sum over its faces. Each part
// takes faces or points on its own: the pressure part needs face "Pressure", the viscous part
// face "Wall Shear", the mass flow face "Velocity" (and face "Density" where the domain has a
// density field, face "<phase>.Volume Fraction" for a phase of several). FlowSource::Points
// makes every flow (and "Heat Flow") from the vertex values.
//
// Heat transfer, signed like OpenFOAM's wallHeatFlux: positive where heat flows from the
// wall into the fluid (into the domain), negative where the fluid gives heat to the wall.
// Face values (see below) are carried to the vertices with the weights w_fi = ∫_f N_i dA.
//   "Heat Flow"      W per vertex: Σ_f q_f w_fi over the faces around vertex i, q_f the
//                    solver's face heat flux (face values "Heat Flux"), so that the sum over
//                    the boundary is the solver's ∫q dA; without face values, the vertex
//                    "Heat Flux" times the vertex area.
//   "Heat Flux"      W m^-2: "Heat Flow" / vertex area when the boundary has face values
//                    (else the field of that name, if any).
//   "Wall Adjacent Temperature"
//                    K: the temperature of the cell next to each face (face values of that
//                    name), averaged over the faces around the vertex with the weights w_fi.
//   "Wall Heat Transfer Coefficient"
//                    W m^-2 K^-1, h with q = h (T_wall − T_fluid): a solver's coefficient
//                    (face values of that name, averaged so), its sign turned when over the
//                    boundary it opposes the heat flux (Σ_f h_f q_f (T_wall − T_adjacent)_f
//                    A_f < 0; OpenFOAM's heatTransferCoeff is q / (T_ref − T_wall), negative
//                    on a hot wall); else, at each vertex, "Heat Flux" / ("Temperature" −
//                    "Wall Adjacent Temperature"), 0 where the two temperatures agree to
//                    single precision, so that h (T_wall − T_adjacent) gives back the vertex
//                    heat flux.
// A vertex none of whose faces has a defined value is undefined.
//
// Per face (in the order of the geometry's global element ids, Geometry::getElementOffsets)
// it keeps the domain cell that owns the face, and face values: for a boundary read from a
// patch the patch's cell arrays (the solver's face values), and "Wall Adjacent Temperature"
// where the domain has cell temperatures.
// "Area", "Normal", "X", "Y", "Z" are the plain geometry's; every other variable is the
// geometry's own (values that came with the patch file) or interpolated from the domain.
#include "framework/geometry/Geometry.h"
#include "host/CaseStorage.h"

#include <cstdint>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace zel::host {

// The vector a component's name names ("Force X" -> "Force"); other names as they are.
std::string vectorOfComponent(std::string name);

// The cell face of the domain that a boundary face is: the cell's global element id in the
// domain geometry and the face's local index (CellTopology.h); cell -1 for a patch face that
// is no cell face of the domain.
struct BoundaryFaceOwner {
    std::int64_t cell = -1;
    int face = -1;
};

// Where the boundary flows come from (see above).
enum class FlowSource { Faces, Points };

class BoundaryGeometry : public Geometry {
public:
    Variable* getVariable(const std::string& name, bool mustExist = false) override;

    // Set before the face values (setFaceFields); flows made already are not remade.
    void setFlowSource(FlowSource source) { m_flowSource = source; }
    FlowSource getFlowSource() const { return m_flowSource; }

    // One owner per face.
    std::span<const BoundaryFaceOwner> getFaceOwners() const { return m_faceOwners; }
    void setFaceOwners(std::vector<BoundaryFaceOwner> owners) { m_faceOwners = std::move(owners); }
    // Face values by variable name, one tuple per face: the patch's cell arrays (mapped and
    // scaled as the point arrays are) and "Wall Adjacent Temperature". Setting them drops
    // the heat variables held (a patch's point values of "Heat Flux", say): those are made
    // from the face values from then on.
    const std::map<std::string, DomainField>& getFaceFields() const { return m_faceFields; }
    void setFaceFields(std::map<std::string, DomainField> fields);
    // Each vertex's mass flow of `phase` ("Mass Flow": from the face values, else ρ U·a of the
    // point values) before its rounding to float; empty where the boundary has no velocity.
    // `withSeams`: with the seam faces' shares (the vertex values); without them (the default)
    // the sum over this geometry's vertices is the flow through its own faces.
    std::vector<double> vertexMassFlowsD(const std::string& phase, bool withSeams = false);

    // A boundary held in parts by several processes (a case in pieces): the faces of the other
    // parts that meet this part's vertices. They add their shares to those vertices' flows,
    // areas and face averages, so that a vertex where parts meet has the whole boundary's
    // values rather than its own faces' part of them; they are no faces of this geometry (its
    // integrals and drawings take none of them). Set once, before any of those is made.
    struct SeamFaces {
        std::vector<std::size_t> offsets{0};       // #faces + 1, into corners and shares
        std::vector<int> corners;                  // per face corner, the vertex here or -1
        std::vector<double> shares;                // per face corner, ∫_f N_j dA
        std::vector<double> shareVectors;          // per face corner, ∫_f N_j n dA (3 each)
        std::vector<double> areaVectors;           // S_f, #faces by 3
        std::map<std::string, DomainField> fields; // face values, as getFaceFields
        std::size_t size() const { return offsets.size() - 1; }
    };
    void setSeamFaces(SeamFaces seam);
    const SeamFaces& getSeamFaces() const { return m_seam; }
    // Whether the vertex values of the flow or area `name` ("Force", "Force X", "Mass Flow",
    // "Area", ...) made here are the whole boundary's at every vertex: after setSeamFaces, when
    // no other part meets this one or they were made from face values the seam faces have too.
    // False for a geometry that was never given its seams (it may be the whole boundary, or not).
    bool isWholeAtSeams(std::string name) const;
    // Σ_f h_f q_f (T_wall − T_adjacent)_f A_f over this geometry's faces (see "Wall Heat
    // Transfer Coefficient" above), NaN without those face values; and that sum over the
    // whole boundary, which then decides the coefficient's sign (set before it is made).
    double coefficientAgreement() const;
    void setWholeCoefficientAgreement(double agreement) { m_wholeAgreement = agreement; }

protected:
    Geometry* newGeometry() const override { return new BoundaryGeometry(); }
    // A copy of the mesh keeps the owners and face values.
    void copyKindData(Geometry& copy, bool copyMesh, bool copyData) const override;

private:
    // A field variable on this geometry, or null when there is none (no error).
    Variable* field(const std::string& name);
    // The derived quantities above, or null for any other name.
    std::unique_ptr<Variable> makeDerived(const std::string& name);
    // The heat variables above, or null where the boundary lacks what one needs.
    std::unique_ptr<Variable> makeHeat(const std::string& name);
    // The scalar face values of that name, or null (none, a vector, another count).
    const std::vector<float>* faceValues(const std::string& name) const;
    // Σ_f x_f w_fi / Σ_f w_fi over the faces around each vertex i with a defined x_f
    // (`integral`: without the division). perFace: one value per face; perSeam: one per seam
    // face, or null (then the seam faces add nothing).
    std::vector<float> fromFaces(std::span<const float> perFace, const std::vector<float>* perSeam,
                                 bool integral) const;
    // -1 when the face coefficients h oppose the face heat flux over the boundary (the whole
    // one where setWholeCoefficientAgreement gave its sum), else 1.
    double coefficientSign() const;
    // Face values used for flows: null in FlowSource::Points or where faceValues/faceVectors
    // have none.
    const std::vector<float>* flowFaceValues(const std::string& name) const;
    const std::vector<float>* flowFaceVectors(const std::string& name) const;
    // The three-component face values of that name, or null.
    const std::vector<float>* faceVectors(const std::string& name) const;
    // This geometry's faces or its seam faces: their face values and area vectors.
    struct FaceSide {
        const std::map<std::string, DomainField>* fields;
        std::vector<double> areaVectors; // #faces by 3
        std::size_t faces = 0;
        bool seam = false;
    };
    FaceSide ownFaces() const;
    FaceSide seamFaces() const;
    // The face values of `side` used for flows, as flowFaceValues / flowFaceVectors.
    const std::vector<float>* flowValuesOf(const FaceSide& side, const std::string& name, int components) const;
    // ρ_f α_f U_f·S_f of every face of `side` (NaN where the face velocity is undefined), or
    // empty when the mass flow of `phase` is not made from face values.
    std::vector<double> faceMassFlows(const std::string& phase, const FaceSide& side) const;
    std::vector<double> faceMassFlows(const std::string& phase) const { return faceMassFlows(phase, ownFaces()); }
    // Spreads per-face flows (`components` values per face of `side`, NaN: no value) onto the
    // vertices by their area shares, adding to `sums` (#vertices by components); `touched[i]`
    // is set where a face with a value meets vertex i.
    void spreadFaceFlows(std::span<const double> perFace, int components, std::vector<double>& sums,
                         std::vector<char>& touched, bool seam = false) const;
    // Whether seam faces must add to the vertex values (setSeamFaces gave some).
    bool hasSeamFaces() const { return m_seam.size() > 0; }
    // The vertex areas and area vectors with the seam faces' shares: #vertices each.
    struct SeamAreas {
        std::vector<double> areas;
        std::vector<TripletBase<double>> vectors;
    };
    SeamAreas seamAreas() const;
    void markWholeAtSeams(const std::string& name) { m_wholeAtSeams.push_back(name); }
    // "Force" (pressure, viscous), "Pressure Force" (pressure) or "Viscous Force" (viscous),
    // #vertices by 3; null when none of the parts asked for has its field. `whole`: cleared
    // when a part could not take the seam faces' shares (isWholeAtSeams).
    std::unique_ptr<Variable> makeForce(const std::string& name, bool pressure, bool viscous, bool& whole);
    // The vertex mass flows, and in `whole` whether the seam faces gave theirs.
    std::vector<double> massFlowSums(const std::string& phase, bool withSeams, bool& whole);

    std::vector<BoundaryFaceOwner> m_faceOwners;
    std::map<std::string, DomainField> m_faceFields;
    FlowSource m_flowSource = FlowSource::Faces;
    SeamFaces m_seam;
    bool m_seamsKnown = false;
    std::vector<std::string> m_wholeAtSeams; // the flows made whole at the seams
    double m_wholeAgreement = std::numeric_limits<double>::quiet_NaN();
};

} // namespace zel::host
