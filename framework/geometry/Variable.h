#pragma once
// Field variables: named values of one domain at the vertices of a geometry.
//
// A variable holds one value set per value kind (VarType). Codes the system uses:
//   1 hybrid or boundary-only values, 2 values computed from expressions,
//   3 values that the locator and FE-load code create, 5 per-vertex values.
// Code 5 given to getSize, getFloatValues, getTripletValues or resize selects the
// variable's own global type (setGlobalType), so a variable whose values were stored under
// 3 and whose global type is 3 is read with 5. Other codes are the host's and are kept as
// given. Values are single precision; an undefined entry is UNDEFINED_VALUE.
#include "framework/geometry/Containers.h"

#include <map>
#include <memory>
#include <string>

namespace zel {

enum VarType : int {
    VarTypeUnknown = 0,
    VarTypeHybrid = 1,     // hybrid or boundary-only values
    VarTypeExpression = 2, // values computed from expressions
    VarTypeLocal = 3,      // values made by the locator and FE-load code
    VarTypeConservative = 4,
    VarTypeVertex = 5 // per-vertex values; selects the variable's own type
};

class Variable {
public:
    explicit Variable(VarType globalType = VarTypeVertex) : m_globalType(globalType) {}
    virtual ~Variable() = default;

    // A deep copy named `name` (domain, types, time step and values copied).
    virtual std::unique_ptr<Variable> clone(const std::string& name) const = 0;
    // 1 for scalars, 3 for vectors.
    virtual int getNumComponents() const = 0;
    // Number of entries (vertices) in the value set of `type`; 0 when there is none.
    virtual std::size_t getSize(VarType type = VarTypeVertex) const = 0;
    // Sizes the value set of `type` to n entries, creating it if needed; new entries are 0.
    virtual void resize(std::size_t n, VarType type = VarTypeVertex) = 0;
    virtual bool hasValues(VarType type) const = 0;
    // Drops the value set of `type`.
    virtual void clearValues(VarType type) = 0;
    // The scalar value set of `type`, or null (always null for a vector variable).
    virtual FloatZELVector* getFloatValues(VarType type = VarTypeVertex) {
        (void)type;
        return nullptr;
    }
    virtual const FloatZELVector* getFloatValues(VarType type = VarTypeVertex) const {
        (void)type;
        return nullptr;
    }
    // The vector value set of `type`, or null (always null for a scalar variable).
    virtual TripletZELVector* getTripletValues(VarType type = VarTypeVertex) {
        (void)type;
        return nullptr;
    }
    virtual const TripletZELVector* getTripletValues(VarType type = VarTypeVertex) const {
        (void)type;
        return nullptr;
    }

    const std::string& getName() const { return m_name; }
    void setName(const std::string& name) { m_name = name; }
    const std::string& getDomain() const { return m_domain; }
    void setDomain(const std::string& domain) { m_domain = domain; }
    VarType getGlobalType() const { return m_globalType; }
    void setGlobalType(VarType type) { m_globalType = type; }
    int getTimestep() const { return m_timestep; }
    void setTimestep(int step) { m_timestep = step; }

    // The value set that `type` selects: the global type for VarTypeVertex.
    VarType resolve(VarType type) const { return type == VarTypeVertex ? m_globalType : type; }

    // The host's value-type names: "Hybrid" 1, "Expression" 2, "Local" 3, "Conservative" 4,
    // "Vertex" 5 (exact match); any other name gives 5.
    static VarType getVarType(const std::string& name);

protected:
    Variable(const Variable&) = default;
    Variable& operator=(const Variable&) = default;

private:
    std::string m_name;
    std::string m_domain;
    VarType m_globalType = VarTypeVertex;
    int m_timestep = 0;
};

class VectorVariable;

class ScalarVariable : public Variable {
public:
    explicit ScalarVariable(VarType type = VarTypeVertex) : Variable(type) {}
    // `count` values copied into the set of `type`, which is also the global type.
    ScalarVariable(const float* values, std::size_t count, VarType type = VarTypeVertex);
    // Component `component` (0, 1, 2) of `vector`: a copy of that component of every value
    // set, taken now (later changes of the vector are not seen). Name: the vector's name
    // with " X", " Y" or " Z" appended; domain, global type and time step are the vector's.
    ScalarVariable(const VectorVariable& vector, int component);

    std::unique_ptr<Variable> clone(const std::string& name) const override;
    int getNumComponents() const override { return 1; }
    std::size_t getSize(VarType type = VarTypeVertex) const override;
    void resize(std::size_t n, VarType type = VarTypeVertex) override;
    bool hasValues(VarType type) const override;
    void clearValues(VarType type) override;

    // The value set of `type`, or null when the variable has none.
    FloatZELVector* getFloatValues(VarType type = VarTypeVertex) override;
    const FloatZELVector* getFloatValues(VarType type = VarTypeVertex) const override;
    // The value set of `type`, created empty when absent.
    FloatZELVector& values(VarType type = VarTypeVertex);
    void setFloatValues(FloatZELVector values, VarType type = VarTypeVertex);

private:
    std::map<int, FloatZELVector> m_values;
};

class VectorVariable : public Variable {
public:
    explicit VectorVariable(VarType type = VarTypeVertex) : Variable(type) {}

    std::unique_ptr<Variable> clone(const std::string& name) const override;
    int getNumComponents() const override { return 3; }
    std::size_t getSize(VarType type = VarTypeVertex) const override;
    void resize(std::size_t n, VarType type = VarTypeVertex) override;
    bool hasValues(VarType type) const override;
    void clearValues(VarType type) override;

    // The value set of `type`, or null when the variable has none. A vector variable has
    // no float values; its components are ScalarVariable(vector, component).
    TripletZELVector* getTripletValues(VarType type = VarTypeVertex) override;
    const TripletZELVector* getTripletValues(VarType type = VarTypeVertex) const override;
    TripletZELVector& values(VarType type = VarTypeVertex);
    void setTripletValues(TripletZELVector values, VarType type = VarTypeVertex);
    // Value set types present, for the component copy.
    std::vector<int> getValueTypes() const;

private:
    std::map<int, TripletZELVector> m_values;
};

} // namespace zel
