#pragma once
// Actions of the command language ("> calculate massFlow, Slice 1") and their executors.
//
// An action line is the action name and its argument text; the dispatcher splits the
// argument text into items at the commas (ParamDefinition::splitValue) and hands the
// executor registered for the name the list {name, item1, item2, ...}:
//   "> calculate"                  -> {"calculate"}
//   "> calculate massFlow, Slice 1" -> {"calculate", "massFlow", "Slice 1"}
// The action "delete" is built in (it deletes the named objects and their children).
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zel {

class ActionExecutor {
public:
    virtual ~ActionExecutor() = default;
    // action[0] is the action name, the rest its arguments. Failures pass on to the
    // caller of the dispatcher unchanged.
    virtual void invoke(const std::vector<std::string>& action) = 0;
};

class ActionDispatcher {
public:
    static ActionDispatcher* instance();

    // Registers the executor of an action name, replacing an earlier one. Ownership is
    // shared: the host may keep its own reference and register one executor for several
    // names. internal::badParam for an empty name or a null executor, or for "delete".
    void registerExecutor(const std::string& action, std::shared_ptr<ActionExecutor> executor);
    void unregisterExecutor(const std::string& action);
    bool hasAction(const std::string& action) const;
    // Registered names, the built-in "delete" included.
    std::vector<std::string> getActionNames() const;

    // Runs an action: {name, args...}. okl::error for an unknown name or an empty list.
    void dispatch(const std::vector<std::string>& action) const;
    // Runs an action given its name and its argument text ("massFlow, Slice 1").
    void dispatch(const std::string& name, const std::string& args) const;

    // Removes every registered executor (tests).
    void clear() { m_executors.clear(); }

private:
    ActionDispatcher() = default;
    static ActionDispatcher* m_instance;
    std::map<std::string, std::shared_ptr<ActionExecutor>> m_executors;
};

} // namespace zel
