#pragma once
// Phase and bulk variables on a location. In a multiphase result each phase (fluid) has
// its own copy of a variable, named with the phase and "." in front ("Water.Pressure"), and
// its own volume fraction ("Water.Volume Fraction", or only "Water.Conservative Volume
// Fraction"). These helpers list the per-phase names of a variable and combine them into one
// bulk value per vertex of a location (the FE load export uses them). No state.
#include "framework/ZelExport.h"
#include "framework/geometry/Containers.h"
#include "framework/geometry/Variable.h"

#include <string>
#include <utility>
#include <vector>

namespace zel {

class GeometricOKLObject;

class ZEL_API GeomVariableUtils {
public:
    // The (phase, variable name) pairs to combine. With fewer than two phases: the single pair
    // (empty phase, variable), when mustExist is false or an object of that name exists.
    // With two or more: (p, "p.variable") per phase p, in phase order (only those whose
    // object exists when mustExist), then (empty phase, variable) when an object of that
    // name exists (whatever mustExist says).
    static std::vector<std::pair<std::string, std::string>> getVariableForAllPhases(const std::string& variable,
                                                                                    bool mustExist);

    // Replaces `values` with the phase's volume fraction (values of `type`) on the location:
    // that of the first geometry that provides "<phase>.Volume Fraction", else
    // "<phase>.Conservative Volume Fraction". False, with `values` unchanged, for an empty
    // phase or when the location has neither.
    static bool getVolumeFractionForPhase(const std::string& phase, FloatZELVectorConcrete& values,
                                          GeometricOKLObject* location, VarType type);

    // result[i] = Σ over the pairs of getVariableForAllPhases(variable, true) of
    // weight[i] × value[i], in single precision, where weight is the phase's volume fraction
    // when weightByVolumeFraction and the phase has one, else 1. Pairs whose variable the
    // location does not provide from exactly one geometry (one domain), or provides without
    // scalar values, are skipped; if all are, result stays empty.
    // data::invalid when the variable has no pair ("Required Variable '%s' does not
    // exist."), and when the sizes of a variable and its fraction or of two variables
    // differ; `result` is then partly filled and must not be used.
    static void calculateBulkVariable(const std::string& variable, bool weightByVolumeFraction,
                                      GeometricOKLObject* location, FloatZELVectorConcrete& result, VarType type);
};

} // namespace zel
