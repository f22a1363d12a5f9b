#pragma once
// Shared fixture of the object database tests: every test starts from an empty database
// with the built-in types and no calc functions, executors or observers.
#include "framework/core/Error.h"
#include "framework/okl/ActionExecutor.h"
#include "framework/okl/CalcBase.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/ObjectTypes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zel::test {

class OklTest : public ::testing::Test {
protected:
    void SetUp() override { resetAll(); }
    void TearDown() override { resetAll(); }

    static void resetAll()
    {
        ObjectDB::instance()->clear();
        ObjectTypeRegistry::instance()->reset();
        CalcRegistry::instance()->clear();
        ActionDispatcher::instance()->clear();
    }

    static ObjectDB* db() { return ObjectDB::instance(); }
    static void run(const std::string& text, int mode = OKLCoreAPI::ModeUpdate)
    {
        OKLCoreAPI::instance()->processOKL(text, mode);
    }
};

// Records every call; used as the executor of one or more actions.
class RecordingExecutor : public ActionExecutor {
public:
    void invoke(const std::vector<std::string>& action) override { calls.push_back(action); }
    std::vector<std::vector<std::string>> calls;
};

// Runs fn, expects an exception of family E whose message contains every fragment.
template <typename E, typename Fn>
void expectError(Fn&& fn, const std::vector<std::string>& fragments)
{
    try {
        fn();
        ADD_FAILURE() << "no exception";
    } catch (const E& e) {
        const std::string what = e.what();
        for (const auto& f : fragments)
            EXPECT_NE(what.find(f), std::string::npos) << "'" << f << "' not in: " << what;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "other exception: " << e.what();
    }
}

} // namespace zel::test
