#pragma once
// The per-vertex weight cache of a geometry (private to the geometry library).
#include "framework/geometry/Geometry.h"

#include <cstdint>
#include <vector>

namespace zel {

struct Geometry::WeightCache {
    std::uint64_t version = ~std::uint64_t(0);
    bool haveAreas = false;
    bool haveLengths = false;
    bool haveVolumes = false;
    bool haveOffsets = false;
    FloatZELVector areas;
    TripletZELVector areaVectors;
    TripletZELVector normals;
    FloatZELVector lengths;
    FloatZELVector volumes;
    std::vector<double> areasD; // the weights above, unrounded
    std::vector<TripletBase<double>> areaVectorsD;
    std::vector<double> lengthsD;
    std::vector<double> volumesD;
    std::vector<std::int64_t> offsets;
};

} // namespace zel
