#pragma once
// Test doubles of the host for the loader, the expression server and the variable library:
// a concrete definition store and a concrete storage as a host derives them, a one-hex
// domain whose solver variables are functions of the vertex position, and a fixture that
// registers them and leaves the object database and the reporter clean.
#include "datastorage/DataStorageBase.h"
#include "domain/DomainGeometryBase.h"
#include "expressions/VariableDefStoreBase.h"
#include "framework/core/Error.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/OKLObject.h"
#include "framework/okl/ObjectDB.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zel::exprtest {

// The store a host makes: the built-in operator words are its suffixes, unless a test
// switches them off.
class HostDefStore : public VariableDefStoreBase {
public:
    const std::vector<std::pair<std::string, std::string>>& getVariableSuffixes() override {
        return withOperators ? getOperatorTable() : VariableDefStoreBase::getVariableSuffixes();
    }
    // What a concrete store does once it brought its own lists up to date.
    void markUpToDate() { setUpdateFlag(false); }
    bool withOperators = true;
};

// The storage a host makes: its phases are settable, and its "solver" holds scalar fields
// given as functions of the vertex position.
class HostStorage : public DataStorageBase {
public:
    using Field = std::function<float(const TripletF&)>;

    ~HostStorage() override { deleteAllVariables(); }

    std::vector<std::string> getFluidNames() override { return phases; }
    std::vector<std::string> getAllPhases() override { return phases; }
    void addSolverScalar(const std::string& name, Field f) { m_fields[name] = std::move(f); }

    std::vector<std::string> phases;

protected:
    Variable* makeExternalVariable(const std::string& name, const std::string& domain, bool&) override {
        auto field = m_fields.find(name);
        if (field == m_fields.end()) return nullptr;
        const TripletZELVector& vertices = getGeometry(domain)->getVertices();
        auto variable = std::make_unique<ScalarVariable>(VarTypeConservative);
        FloatZELVector& values = variable->values();
        values.resize(vertices.size());
        for (std::size_t i = 0; i < vertices.size(); ++i) values[i] = field->second(vertices[i]);
        variable->setName(name);
        variable->setDomain(domain);
        return variable.release();
    }

private:
    std::map<std::string, Field> m_fields;
};

// One hexahedron [0,1]x[0,2]x[0,3] as the domain geometry `name` (8 vertices).
inline std::unique_ptr<DomainGeometryBase> makeHexDomain(const std::string& name) {
    auto domain = std::make_unique<DomainGeometryBase>();
    domain->setName(name);
    domain->setDomain(name);
    TripletZELVector vertices;
    for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i) vertices.push_back({float(i), 2.0f * float(j), 3.0f * float(k)});
    domain->setVertices(std::move(vertices));
    ShapeSet* hexes = domain->addFaceSet("hexes", ShapeType::Hexahedron, 1);
    std::vector<int>& conn = hexes->editConnectivity();
    const int nodes[8] = {0, 1, 3, 2, 4, 5, 7, 6};
    for (int m = 0; m < 8; ++m) conn[std::size_t(m)] = nodes[m];
    return domain;
}

// Adds a top-level object with parameters to the database.
inline OKLObject* addObject(const std::string& type, const std::string& name,
                            const std::vector<std::pair<std::string, std::string>>& params = {}) {
    std::unique_ptr<OKLObject> object = ObjectFactory::instance()->createObject(type, name);
    for (const auto& [param, value] : params) object->setParameter(param, value);
    return ObjectDB::instance()->addObject(std::move(object));
}

// A solver scalar variable object with its dimensions ("0, 1, -1, 0, ..." for a velocity).
inline OKLObject* addScalarVariable(const std::string& name, const std::string& dimensions) {
    return addObject("SCALAR VARIABLE", name, {{"Boundary Values", "Conservative"}, {"Variable Dimensions", dimensions}});
}

inline const char* const kDimsVelocity = "0, 1, -1, 0, 0, 0, 0, 0, 0, 0";
inline const char* const kDimsTemperature = "0, 0, 0, 1, 0, 0, 0, 0, 0, 0";
inline const char* const kDimsPressure = "1, -1, -2, 0, 0, 0, 0, 0, 0, 0";

// Checks the four parts of a raised error.
template <typename E, typename F>
void expectError(F&& call, const std::string& className, const std::string& operation, const std::string& message) {
    try {
        call();
        ADD_FAILURE() << "no exception; expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(e.getClassName(), className);
        EXPECT_EQ(e.getOperation(), operation);
        EXPECT_EQ(e.getMessage(), message);
        EXPECT_EQ(e.getErrorType(), ErrError);
    }
}

// The registered storage and definition store of a host, a clean database and reporter.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ObjectDB::instance()->clear();
        ErrorProgressReporter::instance()->clear();
        storage.registerInstance(&storage);
        VariableDefStoreBase::registerInstance(&store);
    }
    void TearDown() override {
        ObjectDB::instance()->clear();
        ErrorProgressReporter::instance()->clear();
    }

    static const std::vector<ErrorProgressReporter::Report>& reports() {
        return ErrorProgressReporter::instance()->getReports();
    }

    HostStorage storage;  // destroyed after the store: each withdraws its own registration
    HostDefStore store;
};

} // namespace zel::exprtest
