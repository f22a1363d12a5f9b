#include "calculator/ForceVisitor.h"

#include "calculator/FluidRule.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/OKLCoreAPI.h"

#include <algorithm>

namespace zel {

namespace {

TripletBase<float> toFloat(const TripletBase<double>& v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

// Adds the defined vectors of `values` (bounded by the vertex count, as a variable may be
// short) to `sums`, and their moments about `origin` to `moments` when it is given.
// Only the vertices `keep` takes count (all when it is empty).
void sumVectors(const TripletZELVector& values, const Geometry& geometry, const GeometryVisitor::VertexFilter& keep,
                TripletBase<double>& sums, const TripletBase<float>* origin, TripletBase<double>* moments) {
    const TripletZELVector& vertices = geometry.getVertices();
    const std::size_t n = std::min(values.size(), vertices.size());
    for (std::size_t i = 0; i < n; ++i) {
        const TripletBase<float>& f = values[i];
        if (f.isUndefined()) continue;
        if (keep && !keep(geometry, i)) continue;
        sums.x += f.x;
        sums.y += f.y;
        sums.z += f.z;
        if (origin != nullptr) {
            const TripletBase<float> r = vertices[i] - *origin;
            moments->x += double(r.y) * f.z - double(r.z) * f.y;
            moments->y += double(r.z) * f.x - double(r.x) * f.z;
            moments->z += double(r.x) * f.y - double(r.y) * f.x;
        }
    }
}

} // namespace

double projectOnAxis(const TripletBase<double>& sums, TripletBase<float> axis) {
    axis.normalise();
    const TripletBase<float> f = toFloat(sums);
    float p = f.y * axis.y;
    p += f.x * axis.x;
    p += f.z * axis.z;
    return static_cast<double>(p);
}

// ---------------------------------------------------------------- ForceVisitor

ForceVisitor::ForceVisitor(const std::string& fluid) : m_fluid(fluid) {}

ForceVisitor::ForceVisitor(const TripletBase<float>& origin, const std::string& fluid)
    : m_fluid(fluid), m_hasOrigin(true), m_origin(origin) {}

ForceVisitor::~ForceVisitor() = default;

void ForceVisitor::visitGeometry(Geometry& geometry) {
    const Interpolant* interpolant = geometry.getInterpolant();
    if (interpolant == nullptr) {
        ErrorProgressReporter::instance()->reportError(internal::nullPointer(
            "ForceVisitor", "visitGeometry", _("No Interpolant on object %s.", geometry.getName()), ErrError));
        return;
    }
    const FluidSelection fluids = FluidSelection::resolve(m_fluid, interpolant->getDomains());
    for (const std::string& fluid : fluids.fluids) {
        const std::string name = fluids.fluidPrefix(fluid) + "Force";
        Variable* variable = nullptr;
        if (OKLCoreAPI::instance()->getTopObjectByName(name) != nullptr) variable = geometry.getVariable(name, false);
        bool fluidIndependent = false;
        if (variable == nullptr && fluids.phases.size() > 1) {
            variable = geometry.getVariable("Force", false);
            fluidIndependent = variable != nullptr;
        }
        if (variable == nullptr)
            throw internal::error("ForceVisitor", "visitGeometry",
                                  _("Force of fluid '%s' is not available in the file\nand cannot be calculated on "
                                    "geometry '%s'.",
                                    fluid, geometry.getName()),
                                  ErrError);
        const auto* vector = dynamic_cast<const VectorVariable*>(variable);
        if (vector == nullptr)
            throw internal::bad_cast("ForceVisitor", "visitGeometry",
                                     _("Bad cast of %s '%s' to %s.", "variable", "forceVector", "VectorVariable"),
                                     ErrError);
        if (const TripletZELVector* values = vector->getTripletValues(VarTypeVertex))
            sumVectors(*values, geometry, m_keep, m_force, m_hasOrigin ? &m_origin : nullptr, &m_torque);
        if (fluidIndependent) break; // the mixture's force is summed once, not per phase
    }
}

TripletBase<float> ForceVisitor::getForce() const { return toFloat(m_force); }
TripletBase<float> ForceVisitor::getTorque() const { return toFloat(m_torque); }
double ForceVisitor::getForceProjection(TripletBase<float> axis) const { return projectOnAxis(m_force, axis); }
double ForceVisitor::getTorqueProjection(TripletBase<float> axis) const { return projectOnAxis(m_torque, axis); }

// ---------------------------------------------------------------- ForceNormVisitor

ForceNormVisitor::ForceNormVisitor(const std::string& fluid) : m_fluid(fluid) {}

ForceNormVisitor::~ForceNormVisitor() = default;

void ForceNormVisitor::visitGeometry(Geometry& geometry) {
    if (geometry.getNumLines() == 0)
        throw data::error("ForceNormVisitor", "visitGeometry",
                          _("No lines present in Geometry within %s", geometry.getDomain()), ErrError);
    const FluidSelection fluids = FluidSelection::resolve(m_fluid, geometry.getParentDomains());
    for (const std::string& fluid : fluids.fluids) {
        const std::string name = fluids.fluidPrefix(fluid) + "Normalized Force on " + geometry.getName();
        const auto* vector = dynamic_cast<const VectorVariable*>(geometry.findVariable(name));
        if (vector == nullptr)
            throw data::notFound("ForceNormVisitor", "visitGeometry", _("%s '%s' does not exist.", "Variable", name),
                                 ErrError);
        if (const TripletZELVector* values = vector->getTripletValues(VarTypeVertex))
            sumVectors(*values, geometry, m_keep, m_force, nullptr, nullptr);
    }
}

TripletBase<float> ForceNormVisitor::getForce() const { return toFloat(m_force); }
double ForceNormVisitor::getForceProjection(TripletBase<float> axis) const { return projectOnAxis(m_force, axis); }

} // namespace zel
