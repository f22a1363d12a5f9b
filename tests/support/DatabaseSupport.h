#pragma once
// The object database in tests: adding objects with parameters, and a fixture that starts
// every test from an empty database.
#include "framework/geometry/Geometry.h"
#include "framework/okl/ActionExecutor.h"
#include "framework/okl/CalcBase.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/OKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/ObjectTypes.h"
#include "framework/viewer/ViewerInterface.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zel::test {

// Adds an object of `type` with parameters to the database, top-level or under `parent`.
// Setting parameters this way runs no calc function.
inline OKLObject* addObject(const std::string& type, const std::string& name,
                            const std::vector<std::pair<std::string, std::string>>& params = {},
                            OKLObject* parent = nullptr) {
    std::unique_ptr<OKLObject> object = ObjectFactory::instance()->createObject(type, name);
    for (const auto& [param, value] : params) object->setParameter(param, value);
    return ObjectDB::instance()->addObject(std::move(object), parent);
}

// Every test starts and ends with an empty database of the built-in types, and no calc
// functions, action executors, viewer objects or geometry directory.
class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override { resetAll(); }
    void TearDown() override { resetAll(); }

    static void resetAll() {
        ObjectDB::instance()->clear();
        ObjectTypeRegistry::instance()->reset();
        CalcRegistry::instance()->clear();
        ActionDispatcher::instance()->clear();
        ViewerInterface::instance()->clear();
        Geometry::setGeometryInfo(nullptr);
    }

    static ObjectDB* db() { return ObjectDB::instance(); }
    static void run(const std::string& text, int mode = OKLCoreAPI::ModeUpdate) {
        OKLCoreAPI::instance()->processOKL(text, mode);
    }
};

} // namespace zel::test
