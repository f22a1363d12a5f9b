#include "framework/okl/ActionExecutor.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/ParamDefinition.h"

#include <algorithm>

namespace zel {

ActionDispatcher* ActionDispatcher::m_instance = nullptr;

namespace {

const char* const kClass = "ActionDispatcher";
const char* const kDelete = "delete";

// "> delete a, b": every name must be found before anything is deleted. A name listed
// twice, or an object listed together with one of its ancestors, is deleted once.
void runDelete(const std::vector<std::string>& action) {
    OKLCoreAPI* api = OKLCoreAPI::instance();
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < action.size(); ++i) {
        if (action[i].empty()) continue;
        if (!api->hasObject(action[i]))
            throw okl::error(kClass, "delete", _("Cannot delete '%s': no such object.", action[i]));
        paths.push_back(api->toValidatedPath(action[i]));
    }
    // An object already deleted with its parent (or listed twice) is skipped.
    ObjectDB* db = ObjectDB::instance();
    for (const std::string& path : paths)
        if (OKLObject* o = db->getObjectByPath(path)) db->deleteObject(o);
}

} // namespace

ActionDispatcher* ActionDispatcher::instance() {
    if (!m_instance) m_instance = new ActionDispatcher(); // lives until the process ends
    return m_instance;
}

void ActionDispatcher::registerExecutor(const std::string& action, std::shared_ptr<ActionExecutor> executor) {
    if (action.empty() || !executor || action == kDelete)
        throw internal::badParam(kClass, "registerExecutor", _("Cannot register an executor for action '%s'.", action));
    m_executors[action] = std::move(executor);
}

void ActionDispatcher::unregisterExecutor(const std::string& action) { m_executors.erase(action); }

bool ActionDispatcher::hasAction(const std::string& action) const {
    return action == kDelete || m_executors.count(action) != 0;
}

std::vector<std::string> ActionDispatcher::getActionNames() const {
    std::vector<std::string> names{kDelete};
    for (const auto& [name, executor] : m_executors) names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

void ActionDispatcher::dispatch(const std::vector<std::string>& action) const {
    if (action.empty() || action.front().empty()) throw okl::error(kClass, "dispatch", "No action given.");
    if (action.front() == kDelete) {
        runDelete(action);
        return;
    }
    auto it = m_executors.find(action.front());
    if (it == m_executors.end()) throw okl::error(kClass, "dispatch", _("Unknown action '%s'.", action.front()));
    // Keep the executor alive even if it unregisters itself while running.
    const std::shared_ptr<ActionExecutor> executor = it->second;
    executor->invoke(action);
}

void ActionDispatcher::dispatch(const std::string& name, const std::string& args) const {
    std::vector<std::string> action{name};
    for (std::string& item : ParamDefinition::splitValue(args)) action.push_back(std::move(item));
    dispatch(action);
}

} // namespace zel
