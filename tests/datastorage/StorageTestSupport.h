#pragma once
// A concrete storage for the tests (as a host derives its own from DataStorageBase), and a
// variables interface for the expression language that knows every variable object of the
// database.
#include "datastorage/DataStorageBase.h"
#include "domain/DomainGeometryBase.h"
#include "framework/core/Reporter.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/expressions/ExpressionInterfaces.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/OKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "tests/support/DatabaseSupport.h"
#include "tests/support/ErrorChecks.h"
#include "tests/support/StorageSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
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
        const std::size_t extra = contains(wrongSize, name) ? 1 : 0;
        std::unique_ptr<Variable> made;
        if (auto s = m_scalars.find(name); s != m_scalars.end())
            made = sampleAtVertices<ScalarVariable>(name, domain, vertices, s->second, extra);
        else if (auto w = m_vectors.find(name); w != m_vectors.end())
            made = sampleAtVertices<VectorVariable>(name, domain, vertices, w->second, extra);
        else
            return nullptr;
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

// The expression language's view of variables: every variable object of the database is a
// dimensionless variable of its own name, and so are the coordinates X, Y, Z (in metres).
class DatabaseVariables : public ExpressionVariablesInterface {
public:
    const ExpressionVariableInfo* getVariable(const std::string& name, bool) override {
        const OKLObject* object = ObjectDB::instance()->getObjectByName(name);
        if (object == nullptr || object->getCategory() != "variable") return nullptr;
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

// Text joins built by appending (g++ 12 warns falsely on "literal" + std::string at -O3).
inline std::string cat(std::string a, const std::string& b) {
    a += b;
    return a;
}
inline std::string numbered(const char* prefix, long long i) { return cat(prefix, std::to_string(i)); }

// An error the storage raises itself: its class, the operation and the whole message.
template <typename E, typename F>
void expectStorageError(F&& call, const std::string& operation, const std::string& message) {
    expectError<E>(call, {.className = "DataStorageBase", .operation = operation, .message = message});
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
        ErrorProgressReporter::instance()->clear();
        storage = std::make_unique<TestStorage>();
        storage->registerInstance(storage.get());
        storage->setGeometry(makeHexBox("D1", 2, 2, 2).release());
        storage->setGeometry(makeHexBox("D2", 3, 1, 1).release());
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
