#pragma once
// zelpost's concrete storage: the solver values of every domain, kept as flat per-vertex
// arrays when a case is loaded and turned into the library's variables when the registry
// first asks for them (makeExternalVariable).
//
// Besides the solver's arrays it makes, per domain:
//   "X", "Y", "Z"   the vertex coordinates (m);
//   "Density"       the "rho" array when the case has one, else the constant density of the
//                   command line (1 kg m^-3 unless --density is given).
// Boundaries (BoundaryGeometry) make their own "Mass Flow", "momentum flow" and "Force".
//
// Mass flow through any location built on the mesh (slice planes, boundaries): getMassFlow
// computes ρ U·a at each vertex of the geometry that owns the interpolant, a being the
// vertex's area vector (∫N n dA, n by the right-hand rule of the faces; outward on
// boundaries). With several phases (alpha.<phase> arrays), a phase's mass flow is
// α ρ U·a with the mixture density.
#include "calculator/MassFlowSource.h"
#include "datastorage/DataStorageBase.h"

#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zel {
class Geometry;
class Interpolant;
} // namespace zel

namespace zel::host {

// One solver array at the vertices of a domain: #vertices by components, vertex-major.
struct DomainField {
    int components = 1;
    std::vector<float> values;
};

class CaseStorage : public DataStorageBase, public MassFlowSource {
public:
    // The single phase of a case without volume fractions.
    static constexpr const char* kDefaultPhase = "Fluid";

    CaseStorage();
    ~CaseStorage() override;

    // --- what the loader fills
    // The solver arrays of a domain, by variable name; replaces earlier ones of that domain.
    void setDomainFields(const std::string& domain, std::map<std::string, DomainField> fields);
    // Forgets the arrays of a domain and the variables made from them.
    void removeDomain(const std::string& domain);
    const std::map<std::string, DomainField>* findDomainFields(const std::string& domain) const;
    // The phases of the results (from volume fractions); empty means the one default phase.
    void setPhases(std::vector<std::string> phases) { m_phases = std::move(phases); }
    // The density used where the case has no "rho" (kg m^-3).
    void setDensity(double density) { m_density = density; }
    double getDensity() const { return m_density; }

    // --- DataStorageBase
    std::vector<std::string> getFluidNames() override { return getAllPhases(); }
    std::vector<std::string> getAllPhases() override;
    std::vector<std::string> getPhases(int selector, const std::string& name) override;
    void getMassFlow(FloatZELVectorConcrete& values, const Interpolant* interpolant, const std::string& phase) override;
    // The boundary's variable `name` ("momentum flow", a field); null when the case has none.
    Variable* getBoundaryFlow(const std::string& name, Geometry* geometry) override;
    void clearVariables() override { deleteAllVariables(); }

    // The geometry (of a location object or a boundary) that owns `interpolant`, or null.
    static Geometry* findGeometryOf(const Interpolant* interpolant);
    // ρ U·a at every vertex of `geometry` for `phase` (empty or the single phase: the
    // mixture), a the vertex area vectors. Vertices without a defined velocity get 0.
    std::vector<float> massFlowAt(Geometry& geometry, const std::string& phase);
    // The same before the rounding to float.
    // `areaVectors`: the vertex area vectors to take instead of the geometry's (#vertices).
    std::vector<double> massFlowAtD(Geometry& geometry, const std::string& phase,
                                    std::span<const TripletBase<double>> areaVectors = {});
    bool getMassFlowD(std::vector<double>& values, Geometry& geometry, const std::string& phase) override;

protected:
    Variable* makeExternalVariable(const std::string& name, const std::string& domain, bool& hybrid) override;

private:
    std::map<std::string, std::map<std::string, DomainField>> m_fields; // domain -> name -> values
    std::vector<std::string> m_phases;
    double m_density = 1.0;
};

} // namespace zel::host
