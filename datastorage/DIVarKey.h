#pragma once
// The key of a stored variable in the data registry: (variable name, domain name, entry type).
#include <cstdint>
#include <string>

namespace zel::kvodi {

// Keys compare by name, then by domain (plain byte-wise order); the entry type takes no part
// in the order, so the registry holds at most one entry per (name, domain) whatever its type,
// and a lookup finds that entry whatever type the lookup key carries. The key type is also
// the ordering function object of the registry's map.
struct DIVarKey {
    // How the registry treats an entry.
    enum VarType : std::int32_t {
        Regular = 0,   // an ordinary entry
        Protected = 1, // survives deleteVariable
        Cloned = 2     // made by cloneVariable: counts in every domain, follows the domain asked for
    };

    DIVarKey() = default;
    DIVarKey(std::string name_, std::string domain_, VarType type_ = Regular)
        : name(std::move(name_)), domain(std::move(domain_)), type(type_) {}

    // Strict weak order of the map: name first, then domain.
    bool operator()(const DIVarKey& a, const DIVarKey& b) const {
        const int byName = a.name.compare(b.name);
        if (byName != 0) return byName < 0;
        return a.domain.compare(b.domain) < 0;
    }
    // Same (name, domain); the type is ignored as in the order.
    bool samePair(const DIVarKey& o) const { return name == o.name && domain == o.domain; }

    std::string name;   // the variable's object name (for an expression text: the text)
    std::string domain; // the domain (= the name of its geometry)
    VarType type = Regular;
};

} // namespace zel::kvodi
