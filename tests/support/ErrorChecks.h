#pragma once
// The one check of raised errors, shared by the test folders:
//
//   expectError<data::notFound>([&] { store.find("x"); },
//                               {.className = "DataStorageBase", .operation = "find", .message = "..."});
//   expectError<std::invalid_argument>([&] { parse(args); }, {.fragments = {"--density", "a number"}});
//
// Empty fields are not checked. For an Error family the class name, operation and whole
// message are compared exactly and the report type must be `type`; `fragments` are looked
// for in what() for any exception type.
#include "framework/core/Error.h"
#include "framework/core/Reporter.h"

#include <gtest/gtest.h>

#include <exception>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace zel::test {

struct ExpectedError {
    std::string className{};
    std::string operation{};
    std::string message{};
    std::vector<std::string> fragments{};
    int type = ErrError;
};

template <typename E, typename F> void expectError(F&& call, const ExpectedError& expected) {
    const std::string what = !expected.message.empty()    ? expected.message
                             : expected.fragments.empty() ? std::string("an error")
                                                          : expected.fragments.front();
    try {
        call();
        ADD_FAILURE() << "no exception; expected: " << what;
    } catch (const E& e) {
        if constexpr (std::is_base_of_v<Error, E>) {
            if (!expected.className.empty()) {
                EXPECT_EQ(e.getClassName(), expected.className);
            }
            if (!expected.operation.empty()) {
                EXPECT_EQ(e.getOperation(), expected.operation);
            }
            if (!expected.message.empty()) {
                EXPECT_EQ(e.getMessage(), expected.message);
            }
            EXPECT_EQ(e.getErrorType(), expected.type);
        }
        const std::string text = e.what();
        for (const auto& f : expected.fragments)
            EXPECT_NE(text.find(f), std::string::npos) << "'" << f << "' not in: " << text;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "other exception than the one expected (" << what << "): " << e.what();
    }
}

// A report in the fields that are given (a field not given is not checked):
//   expectReport(reporter->last(), {.message = "...", .type = ErrWarning});
struct ExpectedReport {
    std::optional<std::string> message{}, className{}, operation{}, family{};
    std::optional<int> type{};
};

inline void expectReport(const ErrorProgressReporter::Report& report, const ExpectedReport& expected) {
    EXPECT_EQ(report.getMessage(), expected.message.value_or(report.getMessage()));
    EXPECT_EQ(report.getClassName(), expected.className.value_or(report.getClassName()));
    EXPECT_EQ(report.getOperation(), expected.operation.value_or(report.getOperation()));
    EXPECT_EQ(report.family, expected.family.value_or(report.family));
    EXPECT_EQ(report.getErrorType(), expected.type.value_or(report.getErrorType()));
}

} // namespace zel::test
