#include "calculator/MassflowVisitor.h"

#include "calculator/FluidRule.h"
#include "calculator/MassFlowSource.h"
#include "datastorage/DataStorageBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"
#include "framework/okl/OKLCoreAPI.h"

namespace zel {

namespace {
const char* const kClass = "MassflowVisitor";
const std::vector<std::string> kNoDomains;
} // namespace

MassflowVisitor::MassflowVisitor(const std::string& fluid, const std::string& variableName, bool absolute)
    : IntegrationVisitor(variableName), m_fluid(fluid), m_absolute(absolute) {}

MassflowVisitor::~MassflowVisitor() = default;

void MassflowVisitor::visitGeometry(Geometry& geometry) { visitGeometry(geometry, nullptr); }

void MassflowVisitor::visitGeometry(Geometry& geometry, const FloatZELVector* values) {
    m_visiting = &geometry;
    const Interpolant* interpolant = geometry.getInterpolant();
    const std::size_t n = static_cast<std::size_t>(geometry.getNumVertices());
    const FluidSelection fluids =
        FluidSelection::resolve(m_fluid, interpolant != nullptr ? interpolant->getDomains() : kNoDomains);

    const FloatZELVector* fetched = nullptr;
    if (values == nullptr && !m_variableName.empty()) {
        const Variable* variable = geometry.getVariable(m_variableName, false);
        if (variable == nullptr)
            throw data::notFound(
                kClass, "visitGeometry",
                _("No data exists for variable '%s' specified in object '%s'.", m_variableName, geometry.getName()),
                ErrError);
        fetched = variable->getFloatValues(VarTypeVertex);
        if (fetched == nullptr)
            throw data::invalid(kClass, "visitGeometry",
                                _("Variable '%s' on '%s' has no scalar values.", m_variableName, geometry.getName()),
                                ErrError);
    }

    FloatZELVectorConcrete scratch;
    std::vector<double> exactScratch;
    auto* exact = dynamic_cast<MassFlowSource*>(DataStorageBase::instance());
    for (const std::string& fluid : fluids.fluids) {
        if (exact != nullptr && exact->getMassFlowD(exactScratch, geometry, fluid) && exactScratch.size() == n) {
            const FloatZELVector* v = values != nullptr ? values : fetched;
            doWeightedCalculation(std::span<const double>(exactScratch), v ? v->data() : nullptr, v ? v->size() : 0,
                                  v != nullptr && m_absolute);
            continue;
        }
        const std::string name = fluids.fluidPrefix(fluid) + "Mass Flow";
        const FloatZELVector* weights = nullptr;
        if (OKLCoreAPI::instance()->getTopObjectByName(name) != nullptr)
            if (const Variable* stored = geometry.getVariable(name, false))
                weights = stored->getFloatValues(VarTypeVertex);
        if (weights == nullptr) {
            if (interpolant == nullptr || !interpolant->canCalculateFlows())
                throw data::error(kClass, "visitGeometry",
                                  _("Mass flow of fluid '%s' is not available in domain '%s'\nand cannot be "
                                    "calculated on geometry '%s'.",
                                    fluid, fluids.domain, geometry.getName()),
                                  ErrError);
            scratch.clear();
            scratch.resize(n);
            DataStorageBase::instance()->getMassFlow(scratch, interpolant, fluid);
            weights = &scratch;
        }
        if (values != nullptr)
            doWeightedCalculation(*weights, values, m_absolute);
        else if (fetched != nullptr)
            doWeightedCalculation(*weights, fetched, m_absolute);
        else
            doWeightedCalculation(*weights, nullptr, false);
    }
}

} // namespace zel
