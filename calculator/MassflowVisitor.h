#pragma once
// Integrates over a surface with the mass flow through each vertex as the weight: the
// total weight is the mass flow (massFlow), the integral Σ value·mass flow (massFlowInt),
// their quotient the mass-flow-weighted average (massFlowAve, and massFlowAveAbs with the
// absolute mass flows as weights).
//
// The weights of a fluid (see FluidRule.h for which fluids and how their variables are
// named) are the values of the variable "<prefix>Mass Flow" when an object of that name
// exists and the geometry provides it; otherwise the data storage computes them from the
// mesh (DataStorageBase::getMassFlow), which needs an interpolant that can calculate flows
// (data::error otherwise; a geometry without interpolant has no domain and cannot have its
// flows calculated). With no fluid given the sums run over all phases of the domain, so the
// mass flow is that of the mixture.
#include "framework/ZelExport.h"
#include "framework/geometry/Visitor.h"

#include <string>

namespace zel {

class ZEL_API MassflowVisitor : public IntegrationVisitor {
public:
    // fluid: empty for every phase of the domain. variableName: the variable to weight
    // (empty: only the mass flow is summed). absolute: weight by |mass flow| (massFlowAveAbs).
    MassflowVisitor(const std::string& fluid, const std::string& variableName, bool absolute);
    MassflowVisitor(const MassflowVisitor&) = default;
    MassflowVisitor& operator=(const MassflowVisitor&) = default;
    ~MassflowVisitor() override;

    // visitGeometry(geometry, nullptr).
    void visitGeometry(Geometry& geometry) override;
    // values: the values to weight, one per vertex; null to fetch the visitor's variable from
    // the geometry (data::notFound when the geometry cannot provide it).
    void visitGeometry(Geometry& geometry, const FloatZELVector* values) override;

    const std::string& getFluid() const { return m_fluid; }
    bool isAbsolute() const { return m_absolute; }

private:
    std::string m_fluid;
    bool m_absolute = false;
};

} // namespace zel
