#pragma once
// What a concrete storage may offer besides DataStorageBase::getMassFlow: the mass flow at
// each vertex of a location in double, before its rounding to float. The calculator sums
// those when the registered storage derives from this too: a vertex on the face between two
// pieces of a decomposed case takes its flow in two parts, and float parts add up otherwise
// than the whole vertex's float.
#include "framework/ZelExport.h"

#include <string>
#include <vector>

namespace zel {

class Geometry;

class ZEL_API MassFlowSource {
public:
    virtual ~MassFlowSource() = default;
    // ρ U·a of `phase` at each vertex of `geometry` into `values` (resized), the same flows
    // as its stored "Mass Flow" variable or DataStorageBase::getMassFlow give, unrounded.
    // False when this source cannot give them for that geometry (the calculator then goes on
    // as without it).
    virtual bool getMassFlowD(std::vector<double>& values, Geometry& geometry, const std::string& phase) = 0;

protected:
    MassFlowSource() = default;
    MassFlowSource(const MassFlowSource&) = default;
    MassFlowSource& operator=(const MassFlowSource&) = default;
};

} // namespace zel
