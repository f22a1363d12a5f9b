#pragma once
// A source of domain variables that the registry asks before it makes a variable itself.
#include "framework/ZelExport.h"

#include <string>

namespace zel {

class Variable;

class ZEL_API DomainVariableProviderIF {
public:
    virtual ~DomainVariableProviderIF() = default;
    // A new variable for (name, domain), owned by the caller, or null when the provider has
    // nothing for that pair.
    virtual Variable* provideVariable(const std::string& name, const std::string& domain) = 0;

protected:
    DomainVariableProviderIF() = default;
    DomainVariableProviderIF(const DomainVariableProviderIF&) = default;
    DomainVariableProviderIF& operator=(const DomainVariableProviderIF&) = default;
};

} // namespace zel
