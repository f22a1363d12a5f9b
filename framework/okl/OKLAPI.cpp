#include "framework/okl/OKLAPI.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/okl/ObjectDB.h"

namespace zel {

OKLAPI* OKLAPI::m_instance = nullptr;

namespace {

OKLObject* resolve(const std::string& nameOrPath, const char* operation) {
    ObjectDB* db = ObjectDB::instance();
    OKLObject* o = nameOrPath.find_first_of("/:") != std::string::npos ? db->getObjectByPath(nameOrPath)
                                                                       : db->getObjectByName(nameOrPath);
    if (!o) throw okl::error("OKLAPI", operation, _("Object '%s' does not exist.", nameOrPath));
    return o;
}

void describe(const OKLObject& o, std::vector<OKLAPI::ObjectInfo>& out) {
    const std::string path = o.getPath();
    out.push_back({o.getName(), "Object", o.getType(), path, std::string()});
    for (auto& [name, value] : o.getParameters()) out.push_back({name, "Param", o.getType(), path, value});
    for (const OKLObject* child : o.getChildren()) describe(*child, out);
}

} // namespace

OKLAPI* OKLAPI::instance() {
    if (!m_instance) m_instance = new OKLAPI(); // lives until the process ends
    return m_instance;
}

std::vector<OKLAPI::ObjectInfo> OKLAPI::getObjectInfo(const std::string& path) const {
    std::vector<ObjectInfo> out;
    describe(*resolve(path, "getObjectInfo"), out);
    return out;
}

void OKLAPI::deleteObj(const std::string& path) { ObjectDB::instance()->deleteObject(resolve(path, "deleteObj")); }

} // namespace zel
