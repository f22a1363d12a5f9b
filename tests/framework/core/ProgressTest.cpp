#include "framework/core/Progress.h"

#include <gtest/gtest.h>

#include <algorithm>

using zel::ProgressTracker;

namespace {

struct DisplayMode {
    explicit DisplayMode(ProgressTracker::Display d) : saved(ProgressTracker::getDisplay()) {
        ProgressTracker::setDisplay(d);
    }
    ~DisplayMode() { ProgressTracker::setDisplay(saved); }
    ProgressTracker::Display saved;
};

} // namespace

TEST(ProgressTracker, SilentWithoutTerminalAndNestingReachesOne) {
    DisplayMode mode(ProgressTracker::Display::Auto);
    // Captured stderr is a file, not a terminal: nothing may be drawn.
    ::testing::internal::CaptureStderr();
    {
        ProgressTracker outer("User Surface 1");
        outer.add("Load Data", 0.2, 10);
        outer.add("Interpolant Calculation", 0.8);
        outer.start("Load Data");
        for (int i = 0; i < 5; ++i) outer.increment();
        EXPECT_NEAR(ProgressTracker::overallFraction(), 0.1, 1e-12);
        outer.increment(5);
        EXPECT_NEAR(outer.fraction(), 0.2, 1e-12);

        outer.start("Interpolant Calculation");
        {
            ProgressTracker inner("Plane");
            inner.add("ElementSet traversal", 0.9);
            inner.add("Vertex Culling", 0.1, 4);
            inner.start("ElementSet traversal");
            EXPECT_NEAR(ProgressTracker::overallFraction(), 0.2, 1e-12);
            inner.start("Vertex Culling"); // completes the traversal
            EXPECT_NEAR(ProgressTracker::overallFraction(), 0.2 + 0.8 * 0.9, 1e-12);
            inner.increment(2);
            EXPECT_NEAR(ProgressTracker::overallFraction(), 0.2 + 0.8 * 0.95, 1e-12);
            inner.increment(2);
            EXPECT_NEAR(inner.fraction(), 1.0, 1e-12);
        }
        // The inner task closed the outer stage it ran in.
        EXPECT_NEAR(outer.fraction(), 1.0, 1e-12);
    }
    EXPECT_NEAR(ProgressTracker::lastOverallFraction(), 1.0, 1e-12);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(ProgressTracker, StepsBeforeStartAndScopedStages) {
    ProgressTracker t("Point Mapping");
    t.add("Vertex Iteration", 1.0, 8);
    // Increments before any start begin the first stage.
    t.increment(2);
    EXPECT_EQ(t.currentStage(), "Vertex Iteration");
    EXPECT_NEAR(t.fraction(), 0.25, 1e-12);
    t.increment(100); // overshooting clamps
    EXPECT_NEAR(t.fraction(), 1.0, 1e-12);

    ProgressTracker u("Domains");
    u.add("Domain 1", 0.5);
    u.add("Domain 2", 0.5);
    {
        ProgressTracker::Stage s(u, "Domain 1", 10);
        u.increment(5);
        EXPECT_NEAR(u.fraction(), 0.25, 1e-12);
    }
    EXPECT_NEAR(u.fraction(), 0.5, 1e-12); // the stage closed at scope exit
    u.increment(3);                        // outside a stage: no effect
    EXPECT_NEAR(u.fraction(), 0.5, 1e-12);
    u.start("Domain 3"); // unknown: added with weight 1, so the shares are now 1/4, 1/4, 1/2
    EXPECT_NEAR(u.fraction(), 0.25, 1e-12);
    u.finish();
    EXPECT_TRUE(u.isFinished());
    EXPECT_NEAR(u.fraction(), 1.0, 1e-12);
    u.increment(); // harmless after finish
}

TEST(ProgressTracker, ForcedDisplayDrawsABarAndEndsTheLine) {
    DisplayMode mode(ProgressTracker::Display::Always);
    ::testing::internal::CaptureStderr();
    {
        ProgressTracker t("Plane");
        t.add("top", 1.0, 1000);
        t.start("top");
        for (int i = 0; i < 1000; ++i) t.increment();
    }
    const std::string out = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("Plane: top ["), std::string::npos) << out;
    EXPECT_NE(out.find("100%"), std::string::npos) << out;
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), '\n');
    // Redrawn at most per percent: far fewer draws than steps.
    EXPECT_LE(std::count(out.begin(), out.end(), '\r'), 102);
}
