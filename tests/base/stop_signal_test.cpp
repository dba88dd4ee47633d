// A stop ends every wait at once: its own and a child's, whichever is asked. The waits below are an
// hour long, so a wait that missed its stop would hold the test until CTest's time-out.
#include "base/stop_signal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

namespace {

constexpr uint32_t kHour = 3600000;

}  // namespace

TEST(StopSignal, AStopEndsTheWaitsOfItselfAndOfEveryChild) {
    struct Case {
        const char* name;
        bool stopParent;  // otherwise the child alone is stopped
        bool parentEnds;
    } cases[] = {{"the run's stop", true, true}, {"the group's abort", false, false}};
    for (const Case& c : cases) {
        StopSignal run;
        StopSignal group(&run);
        EXPECT_FALSE(group.wait(1)) << c.name;
        bool childWait = false;
        bool parentWait = false;
        std::thread child([&] { childWait = group.wait(kHour); });
        std::thread parent([&] { parentWait = c.parentEnds ? run.wait(kHour) : run.wait(50); });
        (c.stopParent ? run : group).request();
        child.join();
        parent.join();
        EXPECT_TRUE(childWait) << c.name;
        EXPECT_TRUE(group.requested()) << c.name;
        EXPECT_EQ(parentWait, c.parentEnds) << c.name;
        EXPECT_EQ(run.requested(), c.stopParent) << c.name;
    }
}

TEST(StopSignal, ClearedForTheNextRun) {
    StopSignal run;
    run.request();
    EXPECT_TRUE(run.wait(kHour));
    run.clear();
    EXPECT_FALSE(run.requested());
    EXPECT_FALSE(run.wait(1));
}
