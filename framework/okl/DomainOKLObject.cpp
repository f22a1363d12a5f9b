#include "framework/okl/DomainOKLObject.h"

#include "framework/geometry/Geometry.h"

#include <algorithm>

namespace zel {

Geometry* DomainOKLObject::getGeometry(const std::string& name) const {
    if (Geometry* g = GeometricOKLObject::getGeometry(name)) return g;
    if (name != getName()) return nullptr;
    GeometryInfo* info = Geometry::getGeometryInfo();
    return info ? info->findGeometry(name) : nullptr;
}

std::vector<std::string> DomainOKLObject::getGeometryNames() const {
    std::vector<std::string> names = GeometricOKLObject::getGeometryNames();
    if (std::find(names.begin(), names.end(), getName()) == names.end() && getGeometry(getName()))
        names.push_back(getName());
    return names;
}

} // namespace zel
