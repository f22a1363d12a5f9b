#include "framework/core/Reporter.h"

#include <gtest/gtest.h>

using namespace zel;

namespace {

struct ReporterFixture : ::testing::Test {
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    void reset() {
        rep->clear();
        rep->setEcho(false);
        rep->setShowPlaces(false);
        rep->setListener({});
    }
    ErrorProgressReporter* rep = ErrorProgressReporter::instance();
};

} // namespace

TEST_F(ReporterFixture, KeepsBothFormsInOrderAndClears) {
    rep->reportError(
        ErrorMsg("PlaneCalcFunc", "processParameters", "Bound Radius (-1.000000) must be non-negative.", 4));
    rep->reportError(data::notFound("Storage", "getVariable", "Variable 'P' not found.", 4));
    // An explicit type replaces the error's own; -1 keeps it.
    rep->reportError(internal::error("FunctionCalculator", "evaluate", "boom", 4), 32);
    rep->reportError(ErrorMsg("X", "y", "a notice", ErrNotice));

    const auto& r = rep->getReports();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].getClassName(), "PlaneCalcFunc");
    EXPECT_EQ(r[0].getOperation(), "processParameters");
    EXPECT_EQ(r[0].getErrorType(), 4);
    EXPECT_EQ(r[0].family, "");
    EXPECT_EQ(r[1].getMessage(), "Variable 'P' not found.");
    EXPECT_EQ(r[1].getErrorType(), 4);
    EXPECT_EQ(r[1].family, "data::notFound");
    EXPECT_EQ(r[2].getErrorType(), 32);
    EXPECT_EQ(r[2].family, "internal::error");
    EXPECT_EQ(rep->last().getMessage(), "a notice");
    EXPECT_EQ(rep->count(4), 2u);
    EXPECT_EQ(rep->count(ErrNotice), 1u);

    rep->clear();
    EXPECT_EQ(rep->count(), 0u);
    EXPECT_THROW(rep->last(), internal::error);
}

TEST_F(ReporterFixture, EchoWritesSeverityLinesOnlyWhenOn) {
    ::testing::internal::CaptureStderr();
    rep->reportError(ErrorMsg("A", "b", "quiet", ErrWarning));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    rep->setEcho(true);
    ::testing::internal::CaptureStderr();
    rep->reportError(ErrorMsg("UserSurfaceCalcFunc", "doIntersection", "No faces selected.", ErrWarning));
    rep->reportError(ErrorMsg("", "", "plain", ErrNotice));
    rep->reportError(data::error("C", "op", "failed"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "warning: UserSurfaceCalcFunc::doIntersection: No faces selected.\n"
              "notice: plain\n"
              "error: C::op: failed\n");
    EXPECT_STREQ(ErrorProgressReporter::severityWord(ErrInternal), "internal error");
    EXPECT_STREQ(ErrorProgressReporter::severityWord(1), "system error");
    EXPECT_STREQ(ErrorProgressReporter::severityWord(77), "error");
}

TEST_F(ReporterFixture, ListenerSeesEveryReportAndMayReportAgain) {
    std::vector<std::string> seen;
    rep->setListener([&](const ErrorProgressReporter::Report& r) {
        seen.push_back(r.getMessage());
        if (r.getMessage() == "first") rep->reportError(ErrorMsg("L", "l", "nested", 0));
    });
    rep->reportError(ErrorMsg("A", "b", "first"));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "first");
    EXPECT_EQ(seen[1], "nested");
    EXPECT_EQ(rep->count(), 2u);
}

TEST_F(ReporterFixture, ReportsKeepTheirSourcePlaceAndShowItOnRequest) {
    const int line = __LINE__ + 1;
    const data::invalid raised("C", "op", "bad value");
    const std::string place = "core/ReporterTest.cpp:" + std::to_string(line);
    EXPECT_EQ(raised.getErrorMsg().place(), place);
    EXPECT_STREQ(raised.what(), "C::op: bad value"); // what hosts see is unchanged
    // Reporting the error, with its type replaced or not, keeps where it was raised.
    rep->reportError(raised, ErrWarning);
    EXPECT_EQ(rep->last().place(), place);
    EXPECT_EQ(rep->last().getErrorType(), ErrWarning);
    EXPECT_EQ(ErrorProgressReporter::formatReport(rep->last()), "warning: C::op: bad value");
    EXPECT_EQ(ErrorProgressReporter::formatReport(rep->last(), true), "warning: C::op: bad value [" + place + "]");

    rep->setEcho(true);
    rep->setShowPlaces(true);
    ::testing::internal::CaptureStderr();
    const int noted = __LINE__ + 1;
    rep->reportError(ErrorMsg("A", "b", "noted", ErrNotice));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "notice: A::b: noted [core/ReporterTest.cpp:" + std::to_string(noted) + "]\n");
    rep->setShowPlaces(false);
}
