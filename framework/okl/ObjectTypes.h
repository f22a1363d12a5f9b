#pragma once
// The registry of object types: for each type its category, its kinds (what isA answers
// true for), its parameters with their default values, and an optional factory that
// builds objects of the type as a subclass of OKLObject.
//
// The built-in types are registered when the registry is first used (see ObjectTypes.cpp
// for the full table). A type that is not registered behaves as the generic fallback: no
// category, no kinds, no parameters with defaults, built as a plain OKLObject.
//
// Categories used: "variable" (VARIABLE, SCALAR VARIABLE, VECTOR VARIABLE, USER SCALAR
// VARIABLE, USER VECTOR VARIABLE) and "geometry" (every location type and DOMAIN, BOUNDARY).
// Kinds used: "variable", "geometry", "point" (any geometric location), "line", "surface",
// "volume", "region2d" (a boundary or region), "mesh-density" (a location whose faces lie
// on the mesh: boundaries, slice planes), "edge-based" (geometry cut through the mesh
// edges: slice planes, cut lines).
//
// "Domain List" defaults to "All Domains" on every location type; that value stands for
// every object of type "DOMAIN" in the database, in database order
// (OKLObject::getDomainNameList expands it).
#include "framework/okl/ParamDefinition.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zel {

class OKLObject;

// Builds a new object of the given type and name (not yet in the database).
using ObjectFactoryFn = std::function<std::unique_ptr<OKLObject>(const std::string& type, const std::string& name)>;

struct ObjectTypeInfo {
    std::string type;                    // "PLANE"
    std::string category;                // "geometry", "variable" or empty
    std::vector<std::string> kinds;      // what OKLObject::isA answers true for
    std::vector<ParamDefinition> params; // parameters with defaults, in display order
    ObjectFactoryFn factory;             // empty: objects are plain OKLObjects

    bool hasKind(const std::string& kind) const;
    // The definition of a parameter, or null.
    const ParamDefinition* findParam(const std::string& name) const;
};

class ObjectTypeRegistry {
public:
    // The single registry, created (with the built-in types) on first use.
    static ObjectTypeRegistry* instance();

    // Adds a type or replaces the registration of a type of that name (a replacing
    // registration that has no factory keeps the factory registered before).
    void registerType(ObjectTypeInfo info);
    // Sets the factory of a type; a type not yet registered is registered with no
    // category, kinds or parameters. An empty function restores plain OKLObjects.
    void setFactory(const std::string& type, ObjectFactoryFn factory);
    // Adds parameters (or replaces the defaults of those already defined) of a type.
    void addParams(const std::string& type, const std::vector<ParamDefinition>& params);

    bool isRegistered(const std::string& type) const;
    // The registration of a type, or null when the type is not registered.
    const ObjectTypeInfo* find(const std::string& type) const;
    // The registration of a type, or the generic fallback (empty type name) when the type
    // is not registered. Registrations are changed in place, so the reference stays valid
    // for the life of the process (its content changes with later registrations).
    const ObjectTypeInfo& get(const std::string& type) const;
    std::vector<std::string> getTypeNames() const;

    // Forgets every registration, factory and parameter added since start-up and registers
    // the built-in types again (tests). Types added since keep an empty record (no
    // category, kinds, parameters or factory), which behaves as the generic fallback.
    void reset();

    ObjectTypeRegistry(const ObjectTypeRegistry&) = delete;
    ObjectTypeRegistry& operator=(const ObjectTypeRegistry&) = delete;

private:
    ObjectTypeRegistry();
    void registerBuiltins();

    static ObjectTypeRegistry* m_instance;
    std::map<std::string, std::unique_ptr<ObjectTypeInfo>> m_types;
    ObjectTypeInfo m_generic;
};

} // namespace zel
