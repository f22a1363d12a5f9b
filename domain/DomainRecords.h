#pragma once
// Small records of the domain geometry: the key of one face of one element, a volume patch,
// and the solver's description of a face set.
#include "framework/ZelExport.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace zel {

// One face of one element: element number within its element set and local face number
// (the cell's face numbering of CellTopology.h). Its own ordering function object: by
// element, then by face, both as signed numbers.
struct ZEL_API elemFaceIndex {
    elemFaceIndex() = default;
    elemFaceIndex(std::int32_t element_, std::int8_t face_) : element(element_), face(face_) {}

    bool operator()(const elemFaceIndex& a, const elemFaceIndex& b) const { return a < b; }
    friend bool operator<(const elemFaceIndex& a, const elemFaceIndex& b) {
        return a.element != b.element ? a.element < b.element : a.face < b.face;
    }
    friend bool operator==(const elemFaceIndex& a, const elemFaceIndex& b) {
        return a.element == b.element && a.face == b.face;
    }

    std::int32_t element = -1;
    std::int8_t face = -1;
};

// A volume patch of a domain as the solver describes it; the library keeps it for the host
// and does not interpret its fields.
struct ZEL_API VolumePatch {
    std::int32_t id = 0;
    std::string name;
    std::string type;
    std::set<std::int32_t> elements;
};

namespace kvodi {

// A face set of the solver's results (a boundary or an internal surface): its name, the
// solver's kind of it, and its faces as (element set, element, local face).
struct DIFaceSet {
    struct Face {
        std::int32_t elementSet = -1;
        elemFaceIndex face;
    };
    std::string name;
    std::string type;
    std::vector<Face> faces;
};

} // namespace kvodi
} // namespace zel
