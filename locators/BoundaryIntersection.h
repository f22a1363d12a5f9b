#pragma once
// The settings of the "Boundary Intersection" option, which polylines and user surfaces
// share, read and checked in one order:
//
//   "Domain List"    at least one domain;
//   "Location"       one surface object (a second one is reported and ignored): it must exist
//                    and be a geometric object, not a sample plane, and of the caller's kind;
//   "Boundary List"  at least one name; per domain, the listed objects that exist, are
//                    boundaries and lie in the domain give their geometry of that domain, once
//                    each however often they are named (their flows would otherwise count
//                    double).
//
// Both lists are split as every list of object names is (ParamDefinition::splitValue, as
// "Domain List"), without empty items. Problems with the settings are warnings under the
// caller's class and operation, after which nothing is built; an unknown boundary, or an
// object that is no boundary, is reported and left out. Objects of the wrong class and
// boundaries without the geometry of a domain they list raise internal::nullPointer.

#include <functional>
#include <string>
#include <vector>

namespace zel {

class GeometricOKLObject;
class Geometry;

class BoundaryIntersection {
public:
    // How the caller's reports name it.
    struct Wording {
        const char* className;
        const char* operation;
        const char* noun;  // "Cannot create <noun> '<object>'. ..."
        const char* title; // "<title> Boundary Intersection requires ..."
        // The kind (OKLObject::isA) the location must be, and the message when it is not:
        // a format of the title, the location's name and its type.
        const char* locationKind;
        const char* wrongLocation;
    };

    explicit BoundaryIntersection(const Wording& wording) : m_wording(wording) {}

    // Reads and checks the settings of `object`; false, after a warning, when nothing can be
    // built.
    bool read(const GeometricOKLObject& object);

    // After a successful read: the location object.
    GeometricOKLObject& location() const { return *m_location; }

    // Calls make(domain, cut, boundaries) for each domain of the object in turn where the
    // location has a geometry (`cut`) and at least one listed boundary lies (the boundaries'
    // geometries of that domain; borrowed).
    void forEachDomain(const std::function<void(const std::string&, Geometry&, std::vector<Geometry*>&)>& make) const;

private:
    std::vector<Geometry*> boundariesIn(const std::string& domain) const;
    void warn(const std::string& message) const;

    Wording m_wording;
    std::string m_name;
    std::vector<std::string> m_domains;
    std::vector<std::string> m_boundaryNames;
    GeometricOKLObject* m_location = nullptr;
};

} // namespace zel
