// The one retry loop: how many tries a policy allows, which pauses it takes, and that a stop ends
// both the tries and a pause.
#include "base/retry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(RetryPolicy, TriesUntilOneNeedsNoRepeatAndPausesAsListed) {
    struct Case {
        const char* name;
        RetryPolicy policy;
        int failingTries;  // tries that ask for a repeat before one succeeds
        int expectedTries;
        uint32_t pausedAtLeastMs;
    } cases[] = {
        {"success at once", {3, {40, 40, 40}}, 0, 1, 0},
        {"second try", {3, {40, 80, 120}}, 1, 2, 40},
        {"all fail, the last pause too", {3, {40, 80, 120}}, 5, 3, 240},
        {"a pause only between two tries", {2, {60}}, 5, 2, 60},
        {"no pauses", {3, {}}, 5, 3, 0},
    };
    for (const Case& c : cases) {
        StopSignal stop;
        std::vector<int> seen;
        ULONGLONG start = GetTickCount64();
        int made = runAttempts(c.policy, stop, [&](int attempt) {
            seen.push_back(attempt);
            return attempt <= c.failingTries;
        });
        ULONGLONG took = GetTickCount64() - start;
        EXPECT_EQ(made, c.expectedTries) << c.name;
        ASSERT_EQ(seen.size(), static_cast<size_t>(c.expectedTries)) << c.name;
        for (size_t i = 0; i < seen.size(); ++i)
            EXPECT_EQ(seen[i], static_cast<int>(i) + 1) << c.name;
        // The tick count moves in steps of up to 16 ms.
        EXPECT_GE(took + 16, c.pausedAtLeastMs) << c.name;
    }
    EXPECT_EQ(pauseAfter(RetryPolicy{3, {1000, 2000}}, 2), 2000u);
    EXPECT_EQ(pauseAfter(RetryPolicy{3, {1000, 2000}}, 3), 0u);
}

TEST(RetryPolicy, AStopEndsThePauseAndNoFurtherTryStarts) {
    StopSignal stop;
    std::atomic<int> tries{0};
    // An hour's pause: only the stop can end it.
    std::thread stopper([&] {
        while (tries == 0)
            Sleep(1);
        stop.request();
    });
    int made = runAttempts(RetryPolicy{5, {3600000, 3600000}}, stop, [&](int) {
        ++tries;
        return true;
    });
    stopper.join();
    EXPECT_EQ(made, 1);
    EXPECT_EQ(tries, 1);
    // Stopped before the first try: none is made.
    EXPECT_EQ(runAttempts(RetryPolicy{3, {}}, stop, [](int) { return true; }), 0);
}
