#include "framework/okl/OKLCoreAPI.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/okl/OKLProcessor.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/ObjectTypes.h"

namespace zel {

OKLCoreAPI* OKLCoreAPI::m_instance = nullptr;

namespace {

OKLObject* resolve(const std::string& nameOrPath) {
    ObjectDB* db = ObjectDB::instance();
    if (nameOrPath.find_first_of("/:") != std::string::npos) return db->getObjectByPath(nameOrPath);
    return db->getObjectByName(nameOrPath);
}

} // namespace

OKLCoreAPI* OKLCoreAPI::instance() {
    if (!m_instance) m_instance = new OKLCoreAPI(); // lives until the process ends
    return m_instance;
}

bool OKLCoreAPI::hasObject(const std::string& nameOrPath) const { return resolve(nameOrPath) != nullptr; }

OKLObject* OKLCoreAPI::getObjectByPath(const std::string& path) const {
    return ObjectDB::instance()->getObjectByPath(path);
}

OKLObject* OKLCoreAPI::getTopObjectByName(const std::string& name) const {
    return ObjectDB::instance()->getTopObjectByName(name);
}

std::string OKLCoreAPI::toValidatedPath(const std::string& nameOrPath) const {
    const OKLObject* o = resolve(nameOrPath);
    if (!o) throw data::notFound("OKLCoreAPI", "toValidatedPath", _("Object '%s' does not exist.", nameOrPath));
    return o->getPath();
}

std::vector<std::pair<std::string, std::string>> OKLCoreAPI::getObjectParamsByPath(const std::string& nameOrPath,
                                                                                   int filter) const {
    const OKLObject* o = resolve(nameOrPath);
    if (!o) throw data::notFound("OKLCoreAPI", "getObjectParamsByPath", _("Object '%s' does not exist.", nameOrPath));
    return o->getParameters(filter);
}

std::vector<ParamDefinition> OKLCoreAPI::getParamsForObjectType(const std::string& type) const {
    return ObjectTypeRegistry::instance()->get(type).params;
}

void OKLCoreAPI::processOKL(const std::string& text, int mode, const StatementTimer& applied) {
    OKLProcessor::process(text, mode, applied);
}

} // namespace zel
