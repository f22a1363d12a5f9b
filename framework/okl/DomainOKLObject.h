#pragma once
// A "DOMAIN" object: it shows the registry's geometry of its domain, which the registry owns.
//
// Its geometry is found under the domain's name (the object's name): a geometry attached
// to it (setGeometry or setExternalGeometry) comes first; failing that, the domain geometry
// of that name in the geometry directory (Geometry::getGeometryInfo), looked up at each
// call, so that the object never holds a pointer the registry may free.
#include "framework/okl/GeometricOKLObject.h"

namespace zel {

class DomainOKLObject : public GeometricOKLObject {
public:
    DomainOKLObject(const std::string& type, const std::string& name) : GeometricOKLObject(type, name) {}

    Geometry* getGeometry(const std::string& name) const override;
    std::vector<std::string> getGeometryNames() const override;
};

} // namespace zel
