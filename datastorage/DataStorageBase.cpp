// The storage registry: singleton, geometry map, variable map and the base behaviour of the
// operations that the concrete storage overrides. Variable resolution is in
// VariableResolution.cpp.
#include "datastorage/DataStorageBase.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/GenericOKLObject.h"
#include "framework/okl/OKLObject.h"
#include "framework/okl/ObjectDB.h"

#include <cassert>

namespace zel {

namespace {
const char* const kClass = "DataStorageBase";
} // namespace

DataStorageBase* DataStorageBase::m_instance = nullptr;

void DataStorageBase::GeometryDeleter::operator()(Geometry* geometry) const {
    GeometryAPI::instance()->deleteGeometry(geometry);
}

// ---------------------------------------------------------------- directory

std::vector<Geometry*> DataStorageBase::Directory::getGeometries(bool) const {
    std::vector<Geometry*> out;
    out.reserve(m_owner.m_geometries.size());
    for (const auto& [name, geometry] : m_owner.m_geometries) out.push_back(geometry.get());
    return out;
}

Geometry* DataStorageBase::Directory::findGeometry(const std::string& domain) const {
    auto it = m_owner.m_geometries.find(domain);
    if (it != m_owner.m_geometries.end()) return it->second.get();
    return GeometryInfo::findGeometry(domain);
}

// ---------------------------------------------------------------- lifecycle

DataStorageBase::DataStorageBase() : m_directory(*this) {}

DataStorageBase::~DataStorageBase() {
    clearAllGeometries();
    m_provider.reset();
    m_variables.clear();
    if (Geometry::getGeometryInfo() == &m_directory) Geometry::setGeometryInfo(nullptr);
    if (m_instance == this) m_instance = nullptr;
}

DataStorageBase* DataStorageBase::instance() {
    if (m_instance == nullptr)
        throw internal::error(kClass, "instance",
                              "DataStorageBase::instance called before instance has been registered.", ErrError);
    return m_instance;
}

void DataStorageBase::registerInstance(DataStorageBase* instance) {
    if (m_instance != nullptr)
        throw internal::error(kClass, "registerInstance", "DataStorageBase::registerInstance second time.", ErrError);
    if (instance == nullptr)
        throw internal::nullPointer(kClass, "registerInstance", _("Null pointer to %s.", "instance"), ErrError);
    m_instance = instance;
    Geometry::setGeometryInfo(&instance->m_directory);
}

void DataStorageBase::registerVariableProvider(DomainVariableProviderIF* provider) {
    // The earlier provider is not ours to free any more: whoever registered the new one
    // replaced it knowingly and keeps the old pointer.
    (void)m_provider.release();
    m_provider.reset(provider);
}

// ---------------------------------------------------------------- base virtual operations

void DataStorageBase::clearVariables() {}

bool DataStorageBase::getVectorVariableAllowed() { return true; }

const FloatZELVector* DataStorageBase::getMassFlow(const std::string&, const std::string&) {
    throw data::error(kClass, "getMassFlow", "Attempt to get mass flows - not supported.", ErrError);
}

void DataStorageBase::getMassFlow(FloatZELVectorConcrete&, const Interpolant*, const std::string&) {
    throw data::error(kClass, "getMassFlow", "Attempt to get mass flows - not supported.", ErrError);
}

Variable* DataStorageBase::getBoundaryFlow(const std::string&, Geometry*) { return nullptr; }

std::vector<std::string> DataStorageBase::getPhases(int, const std::string&) { return {}; }

void DataStorageBase::createAdditionalTurboVariables(const std::string&) {}

Variable* DataStorageBase::makeExternalVariable(const std::string&, const std::string&, bool&) { return nullptr; }

void DataStorageBase::makeHybridVariable(const std::string&, const std::string&, Variable*, bool) {}

// ---------------------------------------------------------------- geometries

void DataStorageBase::setGeometry(Geometry* geometry) {
    if (geometry == nullptr)
        throw internal::nullPointer(kClass, "setGeometry", _("Null pointer to %s.", "geometry"), ErrError);
    const std::string& name = geometry->getName();
    if (m_geometries.count(name) != 0)
        throw internal::badParam(kClass, "setGeometry", _("%s '%s' already exists.", "Geometry", name), ErrError);
    m_geometries.emplace(name, std::unique_ptr<Geometry, GeometryDeleter>(geometry));
}

Geometry* DataStorageBase::getGeometry(const std::string& name) const {
    auto it = m_geometries.find(name);
    if (it == m_geometries.end())
        throw data::error(kClass, "getGeometry", _("Cannot get geometry for '%s'. Geometry does not exist", name),
                          ErrError);
    return it->second.get();
}

void DataStorageBase::getGeometries(std::vector<std::pair<std::string, Geometry*>>& out) const {
    out.clear();
    out.reserve(m_geometries.size());
    for (const auto& [name, geometry] : m_geometries) out.emplace_back(name, geometry.get());
}

void DataStorageBase::clearGeometry(const std::string& name) { m_geometries.erase(name); }

void DataStorageBase::clearAllGeometries() { m_geometries.clear(); }

// ---------------------------------------------------------------- variables

void DataStorageBase::checkStorable(const Variable* variable, const char* operation) const {
    if (variable == nullptr)
        throw internal::nullPointer(kClass, operation, _("Null pointer to %s.", "variable"), ErrError);
    if (!ObjectDB::instance()->hasObject(variable->getName()))
        throw internal::badParam(
            kClass, operation,
            _("Cannot store variable data for '%s'. The object does not exist.", variable->getName()), ErrError);
}

void DataStorageBase::setVariable(Variable* variable, kvodi::DIVarKey::VarType type) {
    checkStorable(variable, "setVariable");
    kvodi::DIVarKey key(variable->getName(), variable->getDomain(), type);
    if (m_variables.count(key) != 0)
        throw internal::badParam(kClass, "setVariable",
                                 _("Variable '%s' in domain '%s' is already loaded.", key.name, key.domain), ErrError);
    m_variables.emplace(std::move(key), variable);
}

void DataStorageBase::replaceVariable(Variable* variable) {
    checkStorable(variable, "replaceVariable");
    kvodi::DIVarKey key(variable->getName(), variable->getDomain(), kvodi::DIVarKey::Regular);
    auto it = m_variables.find(key);
    if (it == m_variables.end()) {
        m_variables.emplace(std::move(key), variable);
        return;
    }
    if (it->second != variable) {
        delete it->second;
        it->second = variable;
    }
}

void DataStorageBase::deleteVariable(const std::string& name) {
    // Entries of one name are adjacent in key order, starting at (name, "").
    bool removed = false;
    for (auto it = m_variables.lower_bound(kvodi::DIVarKey(name, std::string()));
         it != m_variables.end() && it->first.name == name;) {
        if (it->first.type == kvodi::DIVarKey::Protected) {
            ++it;
            continue;
        }
        delete it->second;
        it = m_variables.erase(it);
        removed = true;
    }
    if (!removed) return;

    // Deleting a vector variable also deletes the component variables made from it, which
    // the variable definitions keep as children of the vector's object.
    const auto* object = dynamic_cast<const GenericOKLObject*>(ObjectDB::instance()->getObjectByName(name));
    if (object == nullptr) return;
    std::vector<std::string> components;
    for (const OKLObject* child : object->getChildren()) {
        if (child->getObjectType() != "SCALAR VARIABLE" || !child->hasParam("Recipe")) continue;
        if (child->getValue("Recipe") == "Vector Component") components.push_back(child->getName());
    }
    for (const std::string& component : components) deleteVariable(component);
}

void DataStorageBase::cloneVariable(const std::string& name, const std::string& newName) {
    const std::vector<std::string> domains = ObjectDB::instance()->getNamesByType("DOMAIN");
    for (const std::string& domain : domains) {
        Variable* variable = getVariable(name, domain);
        if (variable == nullptr) continue;
        std::unique_ptr<Variable> copy = variable->clone(newName);
        if (!copy) continue;
        copy->setDomain(domain);
        setVariable(copy.get(), kvodi::DIVarKey::Cloned);
        (void)copy.release(); // stored: the registry owns it now
    }
}

DataStorageBase::VariableMap::iterator DataStorageBase::findCloned(const std::string& name) {
    for (auto it = m_variables.lower_bound(kvodi::DIVarKey(name, std::string()));
         it != m_variables.end() && it->first.name == name; ++it)
        if (it->first.type == kvodi::DIVarKey::Cloned) return it;
    return m_variables.end();
}

DataStorageBase::VariableMap::const_iterator DataStorageBase::findCloned(const std::string& name) const {
    for (auto it = m_variables.lower_bound(kvodi::DIVarKey(name, std::string()));
         it != m_variables.end() && it->first.name == name; ++it)
        if (it->first.type == kvodi::DIVarKey::Cloned) return it;
    return m_variables.end();
}

bool DataStorageBase::hasVariable(const std::string& name, const std::string& domain) const {
    return isLoaded(name, domain) || findCloned(name) != m_variables.end();
}

bool DataStorageBase::isLoaded(const std::string& name, const std::string& domain) const {
    return m_variables.count(kvodi::DIVarKey(name, domain)) != 0;
}

void DataStorageBase::deleteAllVariables() {
    for (auto& [key, variable] : m_variables) delete variable;
    m_variables.clear();
}

} // namespace zel
