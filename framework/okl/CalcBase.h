#pragma once
// Base of the calc functions: one per object type, called with an object of that type
// and an action ("top" rebuilds the object's geometry; "colour", "render", "glyph",
// "symbol" as the type supports them; unknown actions are ignored by convention).
//
// The CalcRegistry maps an object type to one calc function. The database runs the
// registered function with "top" whenever an object of the type changed (ObjectDB::
// objectChanged, which the end of a command block reaches); the host runs the others.
#include <map>
#include <memory>
#include <string>

namespace zel {

class OKLObject;

class CalcBase {
public:
    CalcBase() = default;
    CalcBase(const CalcBase&) = default;
    CalcBase& operator=(const CalcBase&) = default;
    virtual ~CalcBase() = default;

    // object: borrowed for the call, never null when called by the database.
    virtual void operator()(OKLObject* object, const std::string& action) = 0;
    // A new heap copy with the same flags; the caller owns it.
    virtual CalcBase* clone() const = 0;
};

class CalcRegistry {
public:
    static CalcRegistry* instance();

    // The registry owns the calc function; a second registration for a type replaces
    // (and destroys) the first. A null function removes the registration.
    void registerCalcFunc(const std::string& type, std::unique_ptr<CalcBase> calcFunc);
    // Registers a clone of calcFunc.
    void registerCalcFunc(const std::string& type, const CalcBase& calcFunc);
    void unregisterCalcFunc(const std::string& type);
    // The calc function of a type, or null. Owned by the registry.
    CalcBase* find(const std::string& type) const;
    // Runs the calc function of the object's type with the action; false (and nothing
    // done) when the type has none. Failures of the calc function pass on.
    bool run(OKLObject& object, const std::string& action) const;
    // Removes every registration (tests).
    void clear() { m_funcs.clear(); }

private:
    CalcRegistry() = default;
    static CalcRegistry* m_instance;
    std::map<std::string, std::unique_ptr<CalcBase>> m_funcs;
};

} // namespace zel
