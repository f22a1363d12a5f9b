#pragma once
// Checks of raised errors, shared by the test folders.
#include "framework/core/Error.h"

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

namespace zel::test {

// Runs `call`, which must raise an Error of family E from this class and operation, with
// exactly this message, as an error (not a warning).
template <typename E, typename F>
void expectErrorOf(F&& call, const std::string& className, const std::string& operation, const std::string& message)
{
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

// Runs `call`, which must raise an exception of family E whose text holds every fragment.
template <typename E, typename F>
void expectError(F&& call, const std::vector<std::string>& fragments)
{
    try {
        call();
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
