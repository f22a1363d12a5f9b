#pragma once
// Test doubles of the host for the loader, the expression server and the variable library:
// a concrete definition store and a concrete storage as a host derives them, and a fixture
// that registers them and leaves the object database and the reporter clean.
#include "datastorage/DataStorageBase.h"
#include "domain/DomainGeometryBase.h"
#include "expressions/VariableDefStoreBase.h"
#include "framework/core/Error.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/OKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "tests/support/DatabaseSupport.h"
#include "tests/support/ErrorChecks.h"
#include "tests/support/StorageSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zel::exprtest {

using test::addObject;
using test::expectError;
using test::HostDefStore;

// The storage a host makes: its phases are settable (none at first), and its "solver" holds
// scalar fields given as functions of the vertex position.
struct HostStorage : test::FieldStorage {
    HostStorage() : FieldStorage(std::vector<std::string>()) {}
};

// A solver scalar variable object with its dimensions ("0, 1, -1, 0, ..." for a velocity).
inline OKLObject* addScalarVariable(const std::string& name, const std::string& dimensions) {
    return addObject("SCALAR VARIABLE", name,
                     {{"Boundary Values", "Conservative"}, {"Variable Dimensions", dimensions}});
}

inline const char* const kDimsTemperature = "0, 0, 0, 1, 0, 0, 0, 0, 0, 0";
inline const char* const kDimsPressure = "1, -1, -2, 0, 0, 0, 0, 0, 0, 0";

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

    HostStorage storage; // destroyed after the store: each withdraws its own registration
    HostDefStore store;
};

} // namespace zel::exprtest
