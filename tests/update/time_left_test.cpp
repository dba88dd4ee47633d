// The time left as shown: when it appears, its grid of seconds and minutes, and its steps.
#include "update/time_left.h"

#include <gtest/gtest.h>

#include "update/live_status.h"

TEST(TimeLeft, RanksAreWholeSecondsBelowAMinuteAndWholeMinutesAbove) {
    struct Case {
        double seconds;
        uint32_t shown;
    } cases[] = {
        {0, 1},   {0.4, 1},  {1.4, 1},   {1.5, 2},     {59.4, 59},          {59.5, 60},
        {89, 60}, {90, 120}, {149, 120}, {3600, 3600}, {1e12, 1000000020u},  // a trickle is capped, never
                                                                             // overflowing
    };
    for (const Case& c : cases)
        EXPECT_EQ(rankSeconds(timeLeftRank(c.seconds)), c.shown) << c.seconds;
}

TEST(TimeLeft, HiddenForTenSecondsAndWithoutATotalThenStepsAtMostOncePerSecond) {
    TimeLeftGauge g;
    const uint32_t start = 4294960000u;  // the tick count wraps during the stage
    startTimeLeft(g, start);
    const double speed = 1000;  // bytes per second
    EXPECT_EQ(stepTimeLeft(g, 300000, 1000000, speed, start + 9999), 0u);
    EXPECT_EQ(stepTimeLeft(g, 300000, 0, speed, start + 20000), 0u);    // total unknown
    EXPECT_EQ(stepTimeLeft(g, 300000, 1000000, 0, start + 20000), 0u);  // no speed yet
    // Appears as it is: 300 s are 5 minutes.
    EXPECT_EQ(stepTimeLeft(g, 300000, 1000000, speed, start + 10000), 300u);
    // The estimate drops to 10 s at once (a burst of speed): one step a second, never a jump.
    struct Step {
        uint32_t at;
        uint32_t shown;
    } steps[] = {{10500, 300}, {11000, 240}, {11400, 240}, {12000, 180},
                 {13000, 120}, {14000, 60},  {15000, 59},  {16000, 58}};
    for (const Step& s : steps)
        EXPECT_EQ(stepTimeLeft(g, 10000, 1000000, speed, start + s.at), s.shown) << s.at;
    // Back up: one step again, from seconds into minutes.
    EXPECT_EQ(stepTimeLeft(g, 600000, 1000000, speed, start + 17000), 59u);
}

TEST(TimeLeft, TheStatusShowsItFromTheDownloadStagesTicks) {
    LiveStatus status;
    beginStage(status, UpdatePhase::Downloading, 1, 100 * 1048576ULL, 1000);
    reportProgressAt(status, 1048576, 2000);
    reportProgressAt(status, 2 * 1048576, 3000);
    EXPECT_EQ(copyStatus(status).secondsLeft, 0u);
    reportProgressAt(status, 10 * 1048576, 11000);
    StatusSnapshot s = copyStatus(status);
    ASSERT_GT(s.bytesPerSecond, 0);
    EXPECT_GT(s.secondsLeft, 0u);
    // A new stage hides it again.
    beginStage(status, UpdatePhase::Downloading, 1, 100, 20000);
    EXPECT_EQ(copyStatus(status).secondsLeft, 0u);
}
