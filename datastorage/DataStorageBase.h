#pragma once
// The registry of loaded results: the geometry of every domain, keyed by name, and every field
// variable that has been loaded or computed, keyed by (variable name, domain name). The host
// derives its concrete storage from DataStorageBase (the derived class reads the solver
// results), creates one object and registers it; the rest of the system reaches it through
// DataStorageBase::instance().
//
// Variable resolution (getVariable and its helpers) decides what a name that is not stored
// stands for: an expression text, the domain's volume, a variable of the registered provider,
// a user variable defined by expressions, a component of a vector variable, or a solver
// variable read by the concrete storage; what it makes is stored for the next call.
//
// Ownership: the registry owns the geometries of its map (freed through
// GeometryAPI::deleteGeometry), the variables of its map while they are in it (deleteVariable
// and replaceVariable free them; removeVariable only forgets them; variables still stored when
// the registry is destroyed are the concrete storage's to free, see deleteAllVariables), and
// the registered provider.
//
// Threads: none. Every call comes on the host's command thread; nothing is locked.
#include "datastorage/DIVarKey.h"
#include "datastorage/DomainVariableProviderIF.h"
#include "framework/ZelExport.h"
#include "framework/expressions/ExpressionInterfaces.h"
#include "framework/geometry/Containers.h"
#include "framework/geometry/Geometry.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zel {

class Interpolant;
class OKLObject;
class Variable;

class ZEL_API DataStorageBase : public ExpressionFluidsInterface {
public:
    using VariableMap = std::map<kvodi::DIVarKey, Variable*, kvodi::DIVarKey>;
    using VariableIter = VariableMap::iterator;

    // Nesting of variable requests (a user variable whose expression needs another, and so
    // on) is followed by plain recursion up to this depth; deeper chains are resolved by an
    // explicit walk of their dependencies (VariableResolution.cpp), so the depth of the call
    // stack stays bounded whatever the length of the chain.
    static constexpr std::size_t kRecursionStep = 16;
    // Hard limit of nested requests that the dependency walk could not foresee (variables of
    // the provider or of the concrete storage that ask for others); beyond it getVariable
    // fails instead of exhausting the stack (each level takes a few hundred bytes of stack;
    // 256 of them stay well inside the 1 MB default stack of a Windows thread).
    static constexpr std::size_t kMaxNesting = 256;

    DataStorageBase();
    // Slot order of the virtual operations is part of the host interface:
    //   1 destructor, 2 getFluidNames (of ExpressionFluidsInterface), 3 clearVariables,
    //   4 getVectorVariableAllowed, 5-6 getMassFlow, 7 getBoundaryFlow, 8 getAllPhases,
    //   9 getPhases, 10 createAdditionalTurboVariables, 11 makeExternalVariable,
    //   12 makeHybridVariable.
    // Frees the geometries, then the provider, then forgets both maps; stored variables are
    // not freed here (the concrete storage's destructor can call deleteAllVariables).
    ~DataStorageBase() override;
    DataStorageBase(const DataStorageBase&) = delete;
    DataStorageBase& operator=(const DataStorageBase&) = delete;

    // Slot 3. Base: does nothing.
    virtual void clearVariables();
    // Slot 4. Base: true. User vector variables are built only while it is true.
    virtual bool getVectorVariableAllowed();
    // Slot 5. Base: fails (data::error).
    virtual const FloatZELVector* getMassFlow(const std::string& name, const std::string& domain);
    // Slot 6. Fills `values` (sized by the caller: one entry per vertex of the interpolant)
    // with the mass flow of `phase` at each vertex. Base: fails (data::error).
    virtual void getMassFlow(FloatZELVectorConcrete& values, const Interpolant* interpolant, const std::string& phase);
    // Slot 7. Base: null.
    virtual Variable* getBoundaryFlow(const std::string& name, Geometry* geometry);
    // Slot 8. The names of all phases of the results.
    virtual std::vector<std::string> getAllPhases() = 0;
    // Slot 9. Base: an empty list.
    virtual std::vector<std::string> getPhases(int selector, const std::string& name);
    // Slot 10. Base: does nothing.
    virtual void createAdditionalTurboVariables(const std::string& name);

    // --- singleton
    // The registered storage; internal::error before registration.
    static DataStorageBase* instance();
    // Records `instance` as the registered storage (the object it is called on plays no
    // part); internal::error when one is registered already. Also makes the registered
    // storage the geometry library's directory of domain geometries
    // (Geometry::s_geometryInfo). Destroying the registered storage withdraws both.
    void registerInstance(DataStorageBase* instance);
    // Takes ownership of `provider`. A second call replaces the pointer; the earlier provider
    // is not freed (it goes back to whoever registered it).
    void registerVariableProvider(DomainVariableProviderIF* provider);

    // --- geometries
    // Stores `geometry` under its own name and takes ownership. internal::badParam when the
    // name is present (the caller keeps the geometry), internal::nullPointer for null.
    void setGeometry(Geometry* geometry);
    // The geometry of that name (never null); data::error when absent.
    Geometry* getGeometry(const std::string& name) const;
    // Replaces `out` with every (name, geometry), in name order. The geometries stay owned
    // by the registry.
    void getGeometries(std::vector<std::pair<std::string, Geometry*>>& out) const;
    // Frees the geometry of that name, if present. The variables of that domain stay.
    void clearGeometry(const std::string& name);
    void clearAllGeometries();
    int getNumGeoms() const { return static_cast<int>(m_geometries.size()); }

    // --- variables (registry)
    // Stores `variable` under (its name, its domain, `type`) and takes ownership. The object
    // database must hold an object of the variable's name. internal::badParam when it does
    // not or when (name, domain) is stored already; the caller then keeps the variable.
    void setVariable(Variable* variable, kvodi::DIVarKey::VarType type = kvodi::DIVarKey::Regular);
    // As setVariable, but an existing entry for (name, domain) has its variable freed and
    // takes the new one (its type is kept); otherwise a Regular entry is made.
    void replaceVariable(Variable* variable);
    // Frees and removes every entry of that name in every domain except Protected ones.
    // When something was removed and the name is a generic object, its child variables of
    // recipe "Vector Component" are deleted the same way.
    void deleteVariable(const std::string& name);
    // Stores a copy named `newName` of the variable `name` of every domain as a Cloned entry.
    void cloneVariable(const std::string& name, const std::string& newName);
    // True when (name, domain) is stored, or any entry of that name is Cloned.
    bool hasVariable(const std::string& name, const std::string& domain) const;
    // True exactly when (name, domain) is stored.
    bool isLoaded(const std::string& name, const std::string& domain) const;
    int getNumVars() const { return static_cast<int>(m_variables.size()); }

    // --- variable resolution
    // The variable `name` of `domain`: stored, or made and stored. Owned by the registry,
    // except "Volume", which belongs to the domain geometry. Null for a turbo variable or
    // when the concrete storage has nothing. A variable whose definition needs itself,
    // directly or through others, fails with expressions::eval naming the cycle, and
    // nothing of it is stored.
    Variable* getVariable(const std::string& name, const std::string& domain);
    // A new scalar variable of the expression's values at the domain's vertices, named after
    // the text, not stored: the caller owns it.
    Variable* getExpression(const std::string& expression, const std::string& domain);
    // A new vector variable of three expressions, named after the X text, not stored: the
    // caller owns it.
    Variable* getExpression(const std::string& x, const std::string& y, const std::string& z,
                            const std::string& domain);

protected:
    // Slot 11. A new variable of the solver's results for (name, domain), owned by the
    // caller, or null. May set `hybrid` to ask for makeHybridVariable. Base: null.
    virtual Variable* makeExternalVariable(const std::string& name, const std::string& domain, bool& hybrid);
    // Slot 12. Adds the hybrid values to a variable just made. Base: does nothing.
    virtual void makeHybridVariable(const std::string& name, const std::string& domain, Variable* variable,
                                    bool hybrid);

    // The stored variable for (name, domain), else makeFundamentalVariable.
    Variable* getFundamentalVariable(const std::string& name, const std::string& domain);
    // Makes and stores the variable of a variable object that is not a user variable (a
    // vector component, or a solver variable through makeExternalVariable). Null for a
    // turbo variable or when the concrete storage has nothing.
    Variable* makeFundamentalVariable(const std::string& name, const std::string& domain);
    // Fills values[0 .. count) with the expression's values at the domain's vertices,
    // supplying the variables it needs through getVariable.
    void evaluateExpression(const std::string& expression, const std::string& domain, float* values, int count);

    // --- iteration for the concrete storage
    VariableIter getVariableIter() { return m_variables.begin(); }
    bool isLastVariable(VariableIter position) const { return position == m_variables.end(); }
    // The entry for (key.name, key.domain), or the end position.
    VariableIter getVariableIter(const kvodi::DIVarKey& key) { return m_variables.find(key); }
    // Removes the entry without freeing its variable (the caller takes it over).
    void removeVariable(VariableIter position) { m_variables.erase(position); }
    // Frees every stored variable and empties the map (for the concrete storage's
    // clearVariables or destructor).
    void deleteAllVariables();

private:
    // The geometry library's directory of domain geometries, over this registry's map.
    class Directory : public GeometryInfo {
    public:
        explicit Directory(const DataStorageBase& owner) : m_owner(owner) {}
        // Every geometry of the registry, in name order; `listFlag` makes no difference.
        std::vector<Geometry*> getGeometries(bool listFlag) const override;
        Geometry* findGeometry(const std::string& domain) const override;
        // An expression on a location geometry (not a domain), from the location's variables.
        std::unique_ptr<Variable> evaluateOn(const std::string& name, Geometry& geometry) const override;

    private:
        const DataStorageBase& m_owner;
    };
    struct GeometryDeleter {
        void operator()(Geometry* geometry) const;
    };
    using GeometryMap = std::map<std::string, std::unique_ptr<Geometry, GeometryDeleter>>;
    class ResolutionGuard;

    // The object of the variable `name` checked for storing; fails as setVariable does.
    void checkStorable(const Variable* variable, const char* operation) const;
    // Stores a variable made by the resolution as a Regular entry under (name, domain);
    // internal::error when the pair is stored already (the made variable is then freed).
    Variable* storeMade(const std::string& name, const std::string& domain, std::unique_ptr<Variable> variable,
                        const char* operation);
    // The first Cloned entry of `name` in any domain, or the end position.
    VariableMap::iterator findCloned(const std::string& name);
    VariableMap::const_iterator findCloned(const std::string& name) const;
    // Moves a Cloned entry to `domain` and fits its size to the domain's vertex count.
    Variable* takeClone(VariableMap::iterator clone, const std::string& name, const std::string& domain);
    // Resizes a Cloned variable to `count` values, with a warning, when its size differs.
    void fitClonedSize(Variable* variable, const std::string& name, const std::string& domain, std::size_t count);
    // The part of getVariable after the map look-up.
    Variable* resolveVariable(const std::string& name, const std::string& domain);
    // The variables that resolving (name, domain) will ask for, as far as the object
    // database and the expression texts tell; a definition that is not valid has none (its
    // resolution reports the problem).
    std::vector<std::string> dependenciesOf(const std::string& name, const std::string& domain);
    // Resolves, leaves first, every variable that (name, domain) needs and that is not yet
    // available, with an explicit stack; fails on a cycle before anything is evaluated.
    void resolveDependencies(const std::string& name, const std::string& domain);
    [[noreturn]] void throwCycle(const std::vector<std::string>& path, const std::string& domain) const;
    int vertexCount(const std::string& domain) const;

    static DataStorageBase* m_instance;

    GeometryMap m_geometries;
    VariableMap m_variables; // owns the variables it holds (see the class comment)
    std::unique_ptr<DomainVariableProviderIF> m_provider;
    Directory m_directory;
    // The (name, domain) pairs being resolved, outermost first, and their positions.
    std::vector<kvodi::DIVarKey> m_resolving;
    std::map<kvodi::DIVarKey, std::size_t, kvodi::DIVarKey> m_resolvingIndex;
};

} // namespace zel
