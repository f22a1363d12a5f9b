#include "locators/BoundaryIntersection.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/ParamDefinition.h"
#include "locators/LocatorCalcFunc.h"

#include <algorithm>

namespace zel {

namespace {

std::vector<std::string> splitNames(const std::string& value) {
    std::vector<std::string> names = ParamDefinition::splitValue(value);
    std::erase(names, std::string());
    return names;
}

} // namespace

void BoundaryIntersection::warn(const std::string& message) const {
    LocatorFrame::report(m_wording.className, m_wording.operation, message);
}

bool BoundaryIntersection::read(const GeometricOKLObject& object) {
    const char* const noun = m_wording.noun;
    m_name = object.getName();
    m_location = nullptr;
    m_domains = object.getDomainNameList();
    if (m_domains.empty()) {
        warn(_("Cannot create %s '%s'. Domain List is not provided.", noun, m_name));
        return false;
    }
    const std::vector<std::string> locations = splitNames(object.getValue("Location"));
    if (locations.empty()) {
        warn(_("Cannot create %s '%s'. Location is not provided.", noun, m_name));
        return false;
    }
    if (locations.size() > 1)
        warn(_("Cannot create %s '%s'.\nBoundary Intersection mode currently supports only one location.", noun,
               m_name));
    m_boundaryNames = splitNames(object.getValue("Boundary List"));
    if (m_boundaryNames.empty()) {
        warn(_("Cannot create %s '%s'. Boundary List is not provided.", noun, m_name));
        return false;
    }

    const std::string& locationName = locations.front();
    OKLObject* found = ObjectDB::instance()->getObjectByName(locationName);
    if (found == nullptr) {
        warn(_("Cannot create %s '%s'. Location '%s' is not found.", noun, m_name, locationName));
        return false;
    }
    auto* location = dynamic_cast<GeometricOKLObject*>(found);
    if (location == nullptr)
        throw internal::nullPointer(m_wording.className, m_wording.operation,
                                    _("Can't cast locator OKLObject for %s to GeometricOKLObject.", locationName),
                                    ErrError);
    if (location->getObjectType() == "PLANE" && location->getValue("Plane Type") == "Sample") {
        warn(_("%s Boundary Intersection requires Plane:%s to be a Slice Plane. Plane:%s is a Sample Plane.",
               m_wording.title, locationName, locationName));
        return false;
    }
    if (!location->isA(m_wording.locationKind)) {
        warn(_(m_wording.wrongLocation, m_wording.title, locationName, location->getObjectType()));
        return false;
    }
    m_location = location;
    return true;
}

void BoundaryIntersection::forEachDomain(
    const std::function<void(const std::string&, Geometry&, std::vector<Geometry*>&)>& make) const {
    for (const std::string& domain : m_domains) {
        Geometry* cut = m_location->getGeometry(domain);
        if (cut == nullptr) continue;
        std::vector<Geometry*> boundaries = boundariesIn(domain);
        if (!boundaries.empty()) make(domain, *cut, boundaries);
    }
}

std::vector<Geometry*> BoundaryIntersection::boundariesIn(const std::string& domain) const {
    std::vector<Geometry*> boundaries;
    for (const std::string& boundaryName : m_boundaryNames) {
        OKLObject* found = ObjectDB::instance()->getObjectByName(boundaryName);
        if (found == nullptr) {
            warn(_("Cannot create %s '%s'. Boundary '%s' is not found.", m_wording.noun, m_name, boundaryName));
            continue;
        }
        auto* boundary = dynamic_cast<GeometricOKLObject*>(found);
        if (boundary == nullptr)
            throw internal::nullPointer(m_wording.className, m_wording.operation,
                                        _("Can't cast boundary OKLObject for %s to GeometricOKLObject.", boundaryName),
                                        ErrError);
        if (!boundary->isA("region2d")) {
            warn(_("Cannot create %s '%s'. '%s' is not a boundary.", m_wording.noun, m_name, boundaryName));
            continue;
        }
        const std::vector<std::string> boundaryDomains = boundary->getDomainNameList();
        if (std::find(boundaryDomains.begin(), boundaryDomains.end(), domain) == boundaryDomains.end()) continue;
        Geometry* geometry = boundary->getGeometry(domain);
        if (geometry == nullptr)
            throw internal::nullPointer(
                m_wording.className, m_wording.operation,
                _("Boundary %s is listed in domain %s, but no geometry was found.", boundaryName, domain), ErrError);
        if (std::find(boundaries.begin(), boundaries.end(), geometry) == boundaries.end())
            boundaries.push_back(geometry);
    }
    return boundaries;
}

} // namespace zel
