#pragma once
// A concrete storage for the tests (as a host derives its own from DataStorageBase), a
// variables interface for the expression language that knows every variable object of the
// database, and small domain meshes.
#include "datastorage/DataStorageBase.h"
#include "domain/DomainGeometryBase.h"
#include "framework/core/Reporter.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/expressions/ExpressionInterfaces.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/OKLObject.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zel::test {

// A storage whose "solver" holds the variables given to addSolverScalar/addSolverVector, as
// functions of the vertex position. Counts what the resolution asks of it.
class TestStorage : public DataStorageBase {
public:
    using ScalarField = std::function<float(const TripletF&)>;
    using VectorField = std::function<TripletF(const TripletF&)>;

    ~TestStorage() override { deleteAllVariables(); }

    std::vector<std::string> getFluidNames() override { return {"Water"}; }
    std::vector<std::string> getAllPhases() override { return {"Water"}; }

    void addSolverScalar(const std::string& name, ScalarField f) { m_scalars[name] = std::move(f); }
    void addSolverVector(const std::string& name, VectorField f) { m_vectors[name] = std::move(f); }

    // What the resolution asked for: makeExternalVariable and makeHybridVariable calls.
    std::vector<std::string> externalCalls;
    std::vector<std::pair<std::string, bool>> hybridCalls;
    // Names for which makeExternalVariable sets the hybrid flag.
    std::vector<std::string> setsHybridFlag;
    // Values are made with one entry too many for these names (a broken reader).
    std::vector<std::string> wrongSize;
    bool vectorsAllowed = true;

    bool getVectorVariableAllowed() override { return vectorsAllowed; }

    // Make the protected operations reachable from the tests.
    using DataStorageBase::evaluateExpression;
    using DataStorageBase::getFundamentalVariable;
    using DataStorageBase::getVariableIter;
    using DataStorageBase::isLastVariable;
    using DataStorageBase::makeFundamentalVariable;
    using DataStorageBase::removeVariable;

    // The entry type of (name, domain); -1 when absent.
    int entryType(const std::string& name, const std::string& domain) {
        auto it = getVariableIter(kvodi::DIVarKey(name, domain));
        return isLastVariable(it) ? -1 : static_cast<int>(it->first.type);
    }
    // Keys in map order.
    std::vector<std::pair<std::string, std::string>> keys() {
        std::vector<std::pair<std::string, std::string>> out;
        for (auto it = getVariableIter(); !isLastVariable(it); ++it) out.emplace_back(it->first.name, it->first.domain);
        return out;
    }

protected:
    Variable* makeExternalVariable(const std::string& name, const std::string& domain, bool& hybrid) override {
        externalCalls.push_back(name);
        const TripletZELVector& vertices = getGeometry(domain)->getVertices();
        const std::size_t n = vertices.size() + (contains(wrongSize, name) ? 1 : 0);
        std::unique_ptr<Variable> made;
        if (auto s = m_scalars.find(name); s != m_scalars.end()) {
            auto v = std::make_unique<ScalarVariable>(VarTypeConservative);
            FloatZELVector& values = v->values();
            values.resize(n);
            for (std::size_t i = 0; i < n; ++i) values[i] = s->second(vertices[std::min(i, vertices.size() - 1)]);
            made = std::move(v);
        } else if (auto w = m_vectors.find(name); w != m_vectors.end()) {
            auto v = std::make_unique<VectorVariable>(VarTypeConservative);
            TripletZELVector& values = v->values();
            values.resize(n);
            for (std::size_t i = 0; i < n; ++i) values[i] = w->second(vertices[std::min(i, vertices.size() - 1)]);
            made = std::move(v);
        } else {
            return nullptr;
        }
        made->setName(name);
        made->setDomain(domain);
        if (contains(setsHybridFlag, name)) hybrid = true;
        return made.release();
    }
    void makeHybridVariable(const std::string& name, const std::string&, Variable*, bool hybrid) override {
        hybridCalls.emplace_back(name, hybrid);
    }

private:
    static bool contains(const std::vector<std::string>& list, const std::string& name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    }
    std::map<std::string, ScalarField> m_scalars;
    std::map<std::string, VectorField> m_vectors;
};

// Names of the variable objects that the tests added (addObject keeps it): the database
// finds names by a linear search, which would dominate tests with thousands of objects.
inline std::set<std::string>& variableObjectNames() {
    static std::set<std::string> names;
    return names;
}

// The expression language's view of variables: every variable object that the test added is
// a dimensionless variable of its own name, and so are the coordinates X, Y, Z (in metres).
class DatabaseVariables : public ExpressionVariablesInterface {
public:
    const ExpressionVariableInfo* getVariable(const std::string& name, bool) override {
        if (variableObjectNames().count(name) == 0) return nullptr;
        auto& info = m_infos[name];
        info = ExpressionVariableInfo(name, name, ExpressionEvaluator::isValidGeniVariable(name),
                                      isCoordinate(name) ? "m" : "", "");
        return &info;
    }
    std::string getBaseUnits(const std::string& name, bool) override { return isCoordinate(name) ? "m" : ""; }
    bool isVariablePrefix(const std::string&) override { return false; }
    bool isVariableSuffix(const std::string&, SuffixEffect&) override { return false; }

private:
    static bool isCoordinate(const std::string& name) { return name == "X" || name == "Y" || name == "Z"; }
    std::map<std::string, ExpressionVariableInfo> m_infos;
};

// A box [lo, hi] of nx × ny × nz hexahedra in one element set "hexes", as a domain geometry
// named `name`. Vertex (i, j, k) is i + (nx+1)·(j + (ny+1)·k); `shear` adds shear·y to x.
inline std::unique_ptr<DomainGeometryBase> makeBoxDomain(const std::string& name, int nx, int ny, int nz,
                                                        TripletF lo = {0, 0, 0}, TripletF hi = {1, 1, 1},
                                                        float shear = 0.0f) {
    auto domain = std::make_unique<DomainGeometryBase>();
    domain->setName(name);
    domain->setDomain(name);
    TripletZELVector vertices;
    vertices.reserve(std::size_t(nx + 1) * (ny + 1) * (nz + 1));
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i) {
                const float x = lo.x + (hi.x - lo.x) * float(i) / float(nx);
                const float y = lo.y + (hi.y - lo.y) * float(j) / float(ny);
                const float z = lo.z + (hi.z - lo.z) * float(k) / float(nz);
                vertices.push_back({x + shear * y, y, z});
            }
    domain->setVertices(std::move(vertices));
    ShapeSet* hexes = domain->addFaceSet("hexes", ShapeType::Hexahedron, nx * ny * nz);
    std::vector<int>& conn = hexes->editConnectivity();
    auto id = [&](int i, int j, int k) { return i + (nx + 1) * (j + (ny + 1) * k); };
    std::size_t c = 0;
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                const int n[8] = {id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                                  id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
                for (int m = 0; m < 8; ++m) conn[c++] = n[m];
            }
    return domain;
}

// Text joins built by appending (g++ 12 warns falsely on "literal" + std::string at -O3).
inline std::string cat(std::string a, const std::string& b) {
    a += b;
    return a;
}
inline std::string numbered(const char* prefix, long long i) { return cat(prefix, std::to_string(i)); }

// Adds a top-level object with parameters to the database.
inline OKLObject* addObject(const std::string& type, const std::string& name,
                            const std::vector<std::pair<std::string, std::string>>& params = {}) {
    std::unique_ptr<OKLObject> object = ObjectFactory::instance()->createObject(type, name);
    for (const auto& [param, value] : params) object->setParameter(param, value);
    if (object->getCategory() == "variable") variableObjectNames().insert(name);
    return ObjectDB::instance()->addObject(std::move(object));
}

// A solver variable object: a scalar (or vector) variable whose values the storage reads.
inline OKLObject* addSolverObject(const std::string& name, const std::string& type = "SCALAR VARIABLE",
                                  std::vector<std::pair<std::string, std::string>> params = {}) {
    params.insert(params.begin(), {"Boundary Values", "Conservative"});
    return addObject(type, name, params);
}

// A registered storage with domains "D1" (2×2×2 hexes of the unit cube, 27 vertices) and
// "D2" (3×1×1 hexes, 16 vertices), their "DOMAIN" objects, the coordinate variables X, Y, Z
// and a clean reporter. Everything is torn down after each test.
class StorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ObjectDB::instance()->clear();
        variableObjectNames().clear();
        ErrorProgressReporter::instance()->clear();
        storage = std::make_unique<TestStorage>();
        storage->registerInstance(storage.get());
        storage->setGeometry(makeBoxDomain("D1", 2, 2, 2).release());
        storage->setGeometry(makeBoxDomain("D2", 3, 1, 1).release());
        addObject("DOMAIN", "D1");
        addObject("DOMAIN", "D2");
        for (int k = 0; k < 3; ++k) {
            const std::string axis(1, char('X' + k));
            addSolverObject(axis);
            storage->addSolverScalar(axis, [k](const TripletF& p) { return p[k]; });
        }
    }
    void TearDown() override {
        storage.reset();
        ObjectDB::instance()->clear();
        ErrorProgressReporter::instance()->clear();
    }

    // The scalar values of a variable, checked to exist.
    static std::vector<float> valuesOf(const Variable* v) {
        EXPECT_NE(v, nullptr);
        if (v == nullptr || v->getFloatValues() == nullptr) return {};
        return v->getFloatValues()->vector();
    }
    const TripletZELVector& vertices(const std::string& domain) { return storage->getGeometry(domain)->getVertices(); }

    DatabaseVariables variables; // registered with the expression language while the test runs
    std::unique_ptr<TestStorage> storage;
};

} // namespace zel::test
