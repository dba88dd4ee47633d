// The shared byte budget on an injected clock: several readers together keep to the rate over every
// window, small rates are met in small reads, and a pause is not made up by a burst.
#include "base/rate_budget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

// Readers that each read as soon as their last wait has passed, on a simulated clock: returns the
// bytes read in each 100 ms slot over `seconds`.
std::vector<uint64_t> simulate(uint64_t rate, int readers, uint32_t block, int seconds, uint64_t idleFrom = 0,
                               uint64_t idleTo = 0) {
    RateBudget budget(rate, nullptr);
    const uint64_t end = static_cast<uint64_t>(seconds) * 1000000;
    std::vector<uint64_t> readyAt(static_cast<size_t>(readers), 1000);
    std::vector<uint64_t> slots(static_cast<size_t>(seconds) * 10, 0);
    for (;;) {
        auto next = std::min_element(readyAt.begin(), readyAt.end());
        uint64_t now = *next;
        if (now >= idleFrom && now < idleTo) now = idleTo;
        if (now >= end) break;
        uint64_t wait = 0;
        uint32_t granted = takeBytesAt(budget, block, now, wait);
        EXPECT_GT(granted, 0u);
        const uint64_t readAt = now + wait;
        if (readAt < end) slots[readAt / 100000] += granted;
        *next = readAt + 50;  // the read itself takes a little
    }
    return slots;
}

uint64_t windowSum(const std::vector<uint64_t>& slots, size_t from, size_t count) {
    uint64_t sum = 0;
    for (size_t i = from; i < from + count && i < slots.size(); ++i)
        sum += slots[i];
    return sum;
}

}  // namespace

TEST(RateBudget, ReadersTogetherKeepToTheRateOverEveryTenSeconds) {
    struct Case {
        uint64_t rate;
        int readers;
        uint32_t block;
    } cases[] = {
        {1024, 1, 262144},         {1024, 6, 262144},         {1048576, 6, 262144},
        {5 * 1048576, 16, 262144}, {51200 * 1024, 6, 262144}, {10000000ULL * 1024, 6, 262144},
    };
    for (const Case& c : cases) {
        std::vector<uint64_t> slots = simulate(c.rate, c.readers, c.block, 40);
        for (size_t from = 0; from + 100 <= slots.size(); from += 7) {
            const double average = windowSum(slots, from, 100) / 10.0;
            EXPECT_LE(average, c.rate * 1.05) << c.rate << " from slot " << from;
            EXPECT_GE(average, c.rate * 0.95) << c.rate << " from slot " << from;
        }
    }
}

TEST(RateBudget, ReadsAreAtMostATenthOfASecondOfTheRate) {
    struct Case {
        uint64_t rate;
        uint32_t wanted, granted;
    } cases[] = {
        {1024, 262144, 512},  // never below 512 bytes
        {1048576, 262144, 104857},
        {10485760, 262144, 262144},  // never above what the read asks
        {10485760, 100, 100},
    };
    for (const Case& c : cases)
        EXPECT_EQ(grantSize(c.rate, c.wanted), c.granted) << c.rate;
}

TEST(RateBudget, APauseIsNotMadeUpByABurst) {
    const uint64_t rate = 1048576;
    std::vector<uint64_t> slots = simulate(rate, 4, 262144, 20, 5000000, 10000000);
    // The first second after the pause carries the rate and at most one tenth of a second more.
    EXPECT_LE(windowSum(slots, 100, 10), rate + rate / 10 + 262144);
}

TEST(RateBudget, BytesGivenBackAreReadAgainWithoutWaiting) {
    RateBudget budget(1000, nullptr);
    uint64_t wait = 0;
    EXPECT_EQ(takeBytesAt(budget, 512, 0, wait), 512u);
    EXPECT_EQ(wait, 512000u);  // owed: 512 bytes at 1000 per second
    returnBytes(budget, 512);  // the read found nothing
    EXPECT_EQ(takeBytesAt(budget, 512, 0, wait), 512u);
    EXPECT_EQ(wait, 512000u);
}

TEST(RateBudget, AStopEndsTheWaitForBytes) {
    StopSignal stop;
    RateBudget budget(1, &stop);  // a byte a second: a read waits far longer than any test
    uint32_t granted = 1;
    std::thread reader([&] { granted = takeBytes(budget, 512); });
    stop.request();
    reader.join();
    EXPECT_EQ(granted, 0u);
}
