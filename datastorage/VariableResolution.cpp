// Variable resolution of the storage registry: what a (name, domain) that is not stored stands
// for, how it is made, and how expressions pull in the variables they need.
//
// Requests nest: a user variable's expression needs other variables, which may be user
// variables again, and a vector component needs its vector. Two things keep that safe:
//   - every (name, domain) being resolved is recorded (m_resolving); asking for one of them
//     again is a cycle and fails at once, naming it, before the variable is stored;
//   - nesting is followed by plain recursion only for kRecursionStep levels. At every further
//     multiple of that depth the request first walks the dependencies that the object database
//     and the expression texts reveal, with an explicit stack, and resolves them leaves first;
//     each of them then finds what it needs stored and returns at once. The call stack thus
//     stays shallow for a chain of any length, and a cycle anywhere in the chain is found
//     before anything of it is evaluated. Requests that the walk cannot foresee (variables
//     that the provider or the concrete storage make from others) still recurse, up to
//     kMaxNesting.
#include "datastorage/DataStorageBase.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/expressions/ExpressionTypes.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/OKLObject.h"
#include "framework/okl/ObjectDB.h"

#include <cassert>
#include <set>

namespace zel {

namespace {

const char* const kClass = "DataStorageBase";

// The names of the cylindrical coordinates that expressions of domain variables may use.
ExpressionCoordTransData coordinateNames() { return ExpressionCoordTransData("r", "theta", "z"); }

std::string recipeOf(const OKLObject& object) {
    return object.hasParam("Recipe") ? object.getValue("Recipe") : std::string("Standard");
}

std::string textParam(const OKLObject& object, const char* name) {
    return object.hasParam(name) ? object.getValue(name) : std::string();
}

bool boolParam(const OKLObject& object, const char* name) { return object.hasParam(name) && object.getBoolValue(name); }

// "'a' -> 'b' -> 'a'", with the middle of a long cycle left out.
std::string describePath(const std::vector<std::string>& path) {
    constexpr std::size_t kShown = 4;
    std::string text;
    auto append = [&](const std::string& name) {
        if (!text.empty()) text += " -> ";
        text += "'" + name + "'";
    };
    if (path.size() <= 3 * kShown) {
        for (const std::string& name : path) append(name);
        return text;
    }
    for (std::size_t i = 0; i < kShown; ++i) append(path[i]);
    text += _(" -> ... (%d more) ...", path.size() - 2 * kShown);
    for (std::size_t i = path.size() - kShown; i < path.size(); ++i) append(path[i]);
    return text;
}

} // namespace

// Marks (name, domain) as being resolved for the lifetime of the guard.
class DataStorageBase::ResolutionGuard {
public:
    ResolutionGuard(DataStorageBase& storage, const std::string& name, const std::string& domain) : m_storage(storage) {
        kvodi::DIVarKey key(name, domain);
        [[maybe_unused]] const bool inserted = storage.m_resolvingIndex.emplace(key, storage.m_resolving.size()).second;
        assert(inserted);
        storage.m_resolving.push_back(std::move(key));
    }
    ~ResolutionGuard() {
        m_storage.m_resolvingIndex.erase(m_storage.m_resolving.back());
        m_storage.m_resolving.pop_back();
    }
    ResolutionGuard(const ResolutionGuard&) = delete;
    ResolutionGuard& operator=(const ResolutionGuard&) = delete;

private:
    DataStorageBase& m_storage;
};

int DataStorageBase::vertexCount(const std::string& domain) const { return getGeometry(domain)->getNumVertices(); }

Variable* DataStorageBase::storeMade(const std::string& name, const std::string& domain,
                                     std::unique_ptr<Variable> variable, const char* operation) {
    kvodi::DIVarKey key(name, domain);
    auto it = m_variables.find(key);
    if (it != m_variables.end()) {
        // The maker may have stored the very variable itself; then it is not ours to free.
        if (it->second == variable.get()) (void)variable.release();
        throw internal::error(kClass, operation, _("Variable '%s' in domain '%s' is already loaded.", name, domain),
                              ErrError);
    }
    Variable* stored = variable.get();
    m_variables.emplace(std::move(key), stored);
    (void)variable.release(); // the map owns it now
    return stored;
}

void DataStorageBase::fitClonedSize(Variable* variable, const std::string& name, const std::string& domain,
                                    std::size_t count) {
    if (variable->getSize(VarTypeVertex) == count) return;
    variable->resize(count, VarTypeVertex);
    ErrorProgressReporter::instance()->reportError(ErrorMsg(
        kClass, "getVariable",
        _("Size of variable '%s' in domain '%s'\nhas been adjusted to the current number of nodes.", name, domain),
        ErrWarning));
}

Variable* DataStorageBase::takeClone(VariableMap::iterator clone, const std::string& name, const std::string& domain) {
    // The domain's geometry first: a failure leaves the clone where it was.
    const std::size_t count = static_cast<std::size_t>(vertexCount(domain));
    Variable* variable = clone->second;
    const kvodi::DIVarKey oldKey = clone->first;
    const std::string oldDomain = variable->getDomain();
    m_variables.erase(clone);
    variable->setDomain(domain);
    try {
        setVariable(variable, kvodi::DIVarKey::Cloned);
    } catch (...) {
        variable->setDomain(oldDomain);
        m_variables.emplace(oldKey, variable);
        throw;
    }
    fitClonedSize(variable, name, domain, count);
    return variable;
}

Variable* DataStorageBase::getVariable(const std::string& name, const std::string& domain) {
    auto it = m_variables.find(kvodi::DIVarKey(name, domain));
    if (it != m_variables.end()) {
        if (it->first.type == kvodi::DIVarKey::Cloned)
            fitClonedSize(it->second, name, domain, static_cast<std::size_t>(vertexCount(domain)));
        return it->second;
    }
    auto clone = findCloned(name);
    if (clone != m_variables.end()) return takeClone(clone, name, domain);
    return resolveVariable(name, domain);
}

Variable* DataStorageBase::resolveVariable(const std::string& name, const std::string& domain) {
    auto again = m_resolvingIndex.find(kvodi::DIVarKey(name, domain));
    if (again != m_resolvingIndex.end()) {
        std::vector<std::string> path;
        for (std::size_t i = again->second; i < m_resolving.size(); ++i) path.push_back(m_resolving[i].name);
        path.push_back(name);
        throwCycle(path, domain);
    }
    if (m_resolving.size() >= kMaxNesting)
        throw expressions::eval(
            kClass, "getVariable",
            _("Variable '%s' in domain '%s' needs variables nested more than %d deep.", name, domain, kMaxNesting),
            ErrError);
    const bool walkFirst = !m_resolving.empty() && m_resolving.size() % kRecursionStep == 0;
    ResolutionGuard guard(*this, name, domain);
    if (walkFirst) resolveDependencies(name, domain);

    OKLObject* object = ObjectDB::instance()->getObjectByName(name);
    if (object == nullptr) {
        // No object bears the name: it is an expression text, evaluated on the vertices.
        const int count = vertexCount(domain);
        auto variable = std::make_unique<ScalarVariable>(VarTypeExpression);
        FloatZELVector& values = variable->values(VarTypeExpression);
        values.resize(static_cast<std::size_t>(count));
        evaluateExpression(name, domain, values.data(), count);
        variable->setName(name);
        variable->setDomain(domain);
        return storeMade(name, domain, std::move(variable), "getVariable");
    }
    if (!object->isA("variable"))
        throw data::notFound(kClass, "getVariable", _("%s is not a Variable object.", name), ErrError);
    const std::string recipe = recipeOf(*object);

    if (name == "Volume") return getGeometry(domain)->getVariable("Volume", false);

    if (m_provider) {
        std::unique_ptr<Variable> provided(m_provider->provideVariable(name, domain));
        if (provided) return storeMade(name, domain, std::move(provided), "getVariable");
    }

    if (recipe != "Expression") return getFundamentalVariable(name, domain);

    const std::string& type = object->getObjectType();
    std::unique_ptr<Variable> variable;
    if (type == "USER SCALAR VARIABLE") {
        const std::string expression = textParam(*object, "Expression");
        if (expression.empty())
            throw expressions::eval(kClass, "getVariable", "Attempt to evaluate user variable with empty expression.",
                                    ErrError);
        variable.reset(getExpression(expression, domain));
    } else if (type == "USER VECTOR VARIABLE" && getVectorVariableAllowed()) {
        const std::string x = textParam(*object, "X Expression");
        const std::string y = textParam(*object, "Y Expression");
        const std::string z = textParam(*object, "Z Expression");
        if (x.empty() || y.empty() || z.empty())
            throw expressions::eval(kClass, "getVariable", "Attempt to evaluate user variable with empty expression.",
                                    ErrError);
        variable.reset(getExpression(x, y, z, domain));
    } else {
        throw data::notFound(kClass, "getVariable", "Attempt to use unsupported variable type.", ErrError);
    }
    return storeMade(name, domain, std::move(variable), "getVariable");
}

Variable* DataStorageBase::getFundamentalVariable(const std::string& name, const std::string& domain) {
    auto it = m_variables.find(kvodi::DIVarKey(name, domain));
    if (it != m_variables.end()) return it->second;
    return makeFundamentalVariable(name, domain);
}

Variable* DataStorageBase::makeFundamentalVariable(const std::string& name, const std::string& domain) {
    const char* const op = "makeFundamentalVariable";
    OKLObject* object = ObjectDB::instance()->getObjectByName(name);
    if (object == nullptr) throw data::notFound(kClass, op, _("Variable '%s' does not exist.", name), ErrError);
    if (!object->isA("variable")) throw data::notFound(kClass, op, _("%s is not a Variable object.", name), ErrError);
    if (boolParam(*object, "Variable Is Turbo")) return nullptr;

    const std::string recipe = recipeOf(*object);
    const VarType valueType = Variable::getVarType(textParam(*object, "Boundary Values"));
    const bool hybridValues = textParam(*object, "Has Hybrid Values") == "Yes";
    if (valueType == VarTypeVertex)
        throw internal::error(kClass, op, _("Variable '%s' in domain '%s' has unknown type.", name, domain), ErrError);

    std::unique_ptr<Variable> variable;
    if (object->getObjectType() == "SCALAR VARIABLE" && recipe == "Vector Component") {
        const std::string vectorName = object->getValue("Variable");
        const int index = object->getIntValue("Component Index");
        auto* vector = dynamic_cast<VectorVariable*>(getVariable(vectorName, domain));
        if (vector == nullptr)
            throw internal::bad_cast(
                kClass, op, _("Bad cast of %s '%s' to %s.", "variable", vectorName, "VectorVariable"), ErrError);
        variable = std::make_unique<ScalarVariable>(*vector, index - 1);
    } else {
        bool hybrid = false;
        variable.reset(makeExternalVariable(name, domain, hybrid));
        if (!variable) return nullptr;
        if (hybridValues || hybrid) makeHybridVariable(name, domain, variable.get(), hybrid);
    }
    variable->setGlobalType(boolParam(*object, "Boundary Only") ? VarTypeHybrid : valueType);
    return storeMade(name, domain, std::move(variable), op);
}

Variable* DataStorageBase::getExpression(const std::string& expression, const std::string& domain) {
    const int count = vertexCount(domain);
    auto variable = std::make_unique<ScalarVariable>(VarTypeExpression);
    FloatZELVector& values = variable->values(VarTypeExpression);
    values.resize(static_cast<std::size_t>(count));
    evaluateExpression(expression, domain, values.data(), count);
    variable->setName(expression);
    variable->setDomain(domain);
    return variable.release(); // the caller owns it
}

Variable* DataStorageBase::getExpression(const std::string& x, const std::string& y, const std::string& z,
                                         const std::string& domain) {
    const int count = vertexCount(domain);
    const std::size_t n = static_cast<std::size_t>(count);
    std::vector<float> values[3];
    const std::string* texts[3] = {&x, &y, &z};
    for (int k = 0; k < 3; ++k) {
        values[k].resize(n);
        evaluateExpression(*texts[k], domain, values[k].data(), count);
    }
    auto variable = std::make_unique<VectorVariable>(VarTypeExpression);
    TripletZELVector& points = variable->values(VarTypeExpression);
    points.resize(n);
    for (std::size_t i = 0; i < n; ++i) points[i] = TripletF(values[0][i], values[1][i], values[2][i]);
    variable->setName(x);
    variable->setDomain(domain);
    return variable.release(); // the caller owns it
}

void DataStorageBase::evaluateExpression(const std::string& expression, const std::string& domain, float* values,
                                         int count) {
    assert(count >= 0 && (values != nullptr || count == 0));
    ExpressionEvaluator evaluator;
    std::string state; // kept by the evaluator between the calls
    std::string needed = evaluator.evaluateVariable(expression, values, count, state, std::string(), coordinateNames());
    while (!needed.empty()) {
        const Variable* variable = getVariable(needed, domain);
        const FloatZELVector* input = variable != nullptr ? variable->getFloatValues(VarTypeVertex) : nullptr;
        const std::size_t size = input != nullptr ? input->size() : 0;
        if (size != static_cast<std::size_t>(count))
            throw internal::error(kClass, "evaluateExpression",
                                  "Number of values in retrieved variable does not match number of vertices.",
                                  ErrError);
        // The evaluator copies the values before it returns, so the stored array is given
        // as it is.
        needed = evaluator.continueEvaluatingVariable(input != nullptr ? input->data() : nullptr, state);
    }
}

// ---------------------------------------------------------------- locations

std::unique_ptr<Variable> DataStorageBase::Directory::evaluateOn(const std::string& name, Geometry& geometry) const {
    // A variable's name, a domain (which asks the registry itself), or a name that stands
    // only for itself (a component "Velocity X" that has no object): no expression here.
    if (name.empty() || ObjectDB::instance()->hasObject(name)) return nullptr;
    const auto domain = m_owner.m_geometries.find(geometry.getName());
    if (domain != m_owner.m_geometries.end() && domain->second.get() == &geometry) return nullptr;
    std::vector<std::string> needed;
    try {
        needed = ExpressionEvaluator::getNeededVariables(name, coordinateNames());
    } catch (const Error&) {
        return nullptr; // not an expression the language reads: the domains may still know it
    }
    if (needed.size() == 1 && needed.front() == name) return nullptr;

    const int count = geometry.getNumVertices();
    auto variable = std::make_unique<ScalarVariable>(VarTypeExpression);
    FloatZELVector& values = variable->values(VarTypeExpression);
    values.resize(static_cast<std::size_t>(count));
    ExpressionEvaluator evaluator;
    std::string state; // kept by the evaluator between the calls
    std::string next = evaluator.evaluateVariable(name, values.data(), count, state, std::string(), coordinateNames());
    while (!next.empty()) {
        const Variable* input = geometry.getVariable(next, false);
        const FloatZELVector* inputs = input != nullptr ? input->getFloatValues(VarTypeVertex) : nullptr;
        if (inputs == nullptr || inputs->size() != static_cast<std::size_t>(count))
            throw expressions::eval(kClass, "evaluateExpression",
                                    _("The expression '%s' needs '%s', which '%s' does not have at its %d vertices.",
                                      name, next, geometry.getName(), count),
                                    ErrError);
        next = evaluator.continueEvaluatingVariable(inputs->data(), state);
    }
    return variable;
}

// ---------------------------------------------------------------- nesting

std::vector<std::string> DataStorageBase::dependenciesOf(const std::string& name, const std::string& domain) {
    (void)domain; // definitions do not depend on the domain; the parameter keeps the pair together
    std::vector<std::string> needed;
    auto addExpression = [&](const std::string& text) {
        if (text.empty()) return;
        std::vector<std::string> inputs = ExpressionEvaluator::getNeededVariables(text, coordinateNames());
        needed.insert(needed.end(), inputs.begin(), inputs.end());
    };
    try {
        const OKLObject* object = ObjectDB::instance()->getObjectByName(name);
        if (object == nullptr) {
            addExpression(name);
            return needed;
        }
        if (!object->isA("variable") || name == "Volume") return needed;
        // A provider may answer for any name; what it answers cannot be foreseen, so the
        // definition is followed as if it did not.
        if (recipeOf(*object) == "Expression") {
            const std::string& type = object->getObjectType();
            if (type == "USER SCALAR VARIABLE") {
                addExpression(textParam(*object, "Expression"));
            } else if (type == "USER VECTOR VARIABLE" && getVectorVariableAllowed()) {
                for (const char* param : {"X Expression", "Y Expression", "Z Expression"})
                    addExpression(textParam(*object, param));
            }
        } else if (object->getObjectType() == "SCALAR VARIABLE" && recipeOf(*object) == "Vector Component" &&
                   !boolParam(*object, "Variable Is Turbo") && object->hasParam("Variable")) {
            needed.push_back(object->getValue("Variable"));
        }
    } catch (const Error&) {
        // A definition that cannot be read or parsed: its own resolution reports it.
        needed.clear();
    }
    return needed;
}

void DataStorageBase::resolveDependencies(const std::string& name, const std::string& domain) {
    // (name, domain) is the last entry of m_resolving. Phase 1 finds, depth first with an
    // explicit stack, every variable it needs that is not available, in post-order, and
    // fails on a cycle; phase 2 resolves them in that order, so that each finds its own
    // needs stored.
    assert(!m_resolving.empty() && m_resolving.back().name == name && m_resolving.back().domain == domain);
    struct Frame {
        std::string name;
        std::vector<std::string> needs;
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    std::set<std::string> onStack;
    std::set<std::string> finished;
    std::vector<std::string> order;
    stack.push_back(Frame{name, dependenciesOf(name, domain), 0});
    onStack.insert(name);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.needs.size()) {
            if (stack.size() > 1) order.push_back(top.name);
            onStack.erase(top.name);
            finished.insert(std::move(top.name));
            stack.pop_back();
            continue;
        }
        const std::string need = top.needs[top.next++];
        if (finished.count(need) != 0 || hasVariable(need, domain)) continue;
        if (onStack.count(need) != 0) {
            std::vector<std::string> path;
            bool on = false;
            for (const Frame& frame : stack) {
                on = on || frame.name == need;
                if (on) path.push_back(frame.name);
            }
            path.push_back(need);
            throwCycle(path, domain);
        }
        auto outer = m_resolvingIndex.find(kvodi::DIVarKey(need, domain));
        if (outer != m_resolvingIndex.end()) {
            // A cycle back into a request further out: the stack continues m_resolving.
            std::vector<std::string> path;
            for (std::size_t i = outer->second; i + 1 < m_resolving.size(); ++i) path.push_back(m_resolving[i].name);
            for (const Frame& frame : stack) path.push_back(frame.name);
            path.push_back(need);
            throwCycle(path, domain);
        }
        stack.push_back(Frame{need, dependenciesOf(need, domain), 0}); // `top` is not used past here
        onStack.insert(need);
    }
    for (const std::string& need : order) getVariable(need, domain);
}

void DataStorageBase::throwCycle(const std::vector<std::string>& path, const std::string& domain) const {
    throw expressions::eval(
        kClass, "getVariable",
        _("Variable '%s' in domain '%s' depends on itself: %s.", path.front(), domain, describePath(path)), ErrError);
}

} // namespace zel
