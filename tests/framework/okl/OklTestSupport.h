#pragma once
// Shared fixture of the object database tests (every test starts from an empty database,
// see DatabaseTest) and an executor that records its calls.
#include "framework/core/Error.h"
#include "framework/okl/ActionExecutor.h"
#include "tests/support/DatabaseSupport.h"
#include "tests/support/ErrorChecks.h"

#include <string>
#include <vector>

namespace zel::test {

class OklTest : public DatabaseTest {};

// Records every call; used as the executor of one or more actions.
class RecordingExecutor : public ActionExecutor {
public:
    void invoke(const std::vector<std::string>& action) override { calls.push_back(action); }
    std::vector<std::vector<std::string>> calls;
};

} // namespace zel::test
