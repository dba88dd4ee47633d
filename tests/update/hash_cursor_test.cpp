#include "update/hash_cursor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "base/file.h"
#include "base/handles.h"
#include "tests/support/temp_folder.h"
#include "tests/update/download_fixture.h"

namespace {

// Ranges that straddle the 1 MiB read blocks, and a short last one.
constexpr uint64_t kRange = 1536 * 1024;
constexpr int kRanges = 6;
constexpr uint64_t kSize = (kRanges - 1) * kRange + 1000;

// The file that is chosen to finish must be free to be replaced: nobody holds it open any more.
bool openableWithoutSharing(const std::wstring& path) {
    UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(f);
}

bool stopFlag(void* context) {
    return static_cast<std::atomic<bool>*>(context)->load();
}

}  // namespace

TEST(HashCursor, RangesSettledInAnyOrderOnSeveralThreadsHashTheFileOnceInOrder) {
    TempFolder t;
    const std::string bytes = patternBytes(kSize, 21);
    t.write(L"big.indir", bytes);
    std::mt19937 shuffle(7);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        HashCursor cursor(t.file(L"big.indir"), kSize, kRange);
        ASSERT_EQ(rangeCount(cursor), kRanges);
        std::vector<int> order(kRanges);
        for (int i = 0; i < kRanges; ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), shuffle);
        std::atomic<int> chosen{0};
        std::string hash;
        std::vector<std::thread> threads;
        for (int index : order) {
            threads.emplace_back([&, index] {
                if (settleRange(cursor, index, true, nullptr, nullptr)) {
                    ++chosen;
                    EXPECT_TRUE(openableWithoutSharing(cursor.path));
                    hash = cursorHash(cursor);
                }
            });
        }
        for (std::thread& th : threads)
            th.join();
        EXPECT_EQ(chosen.load(), 1);
        EXPECT_EQ(hash, sha256Of(bytes));
    }
}

// The hashing thread is held inside its first range until every other range has been settled; those
// callers must leave at once, and the hashing thread must then take their ranges and finish the file.
TEST(HashCursor, TheHashingThreadPicksUpRangesSettledMeanwhileAndFinishes) {
    TempFolder t;
    const std::string bytes = patternBytes(kSize, 22);
    t.write(L"big.indir", bytes);
    HashCursor cursor(t.file(L"big.indir"), kSize, kRange);
    struct Gate {
        std::mutex m;
        std::condition_variable cv;
        bool hashing = false, othersDone = false;
    } gate;
    auto holdFirst = [](void* context) {
        Gate& g = *static_cast<Gate*>(context);
        std::unique_lock<std::mutex> lock(g.m);
        g.hashing = true;
        g.cv.notify_all();
        g.cv.wait(lock, [&] { return g.othersDone; });
        return false;
    };
    bool firstChosen = false;
    std::thread first([&] { firstChosen = settleRange(cursor, 0, true, holdFirst, &gate); });
    {
        std::unique_lock<std::mutex> lock(gate.m);
        gate.cv.wait(lock, [&] { return gate.hashing; });
    }
    for (int index = kRanges - 1; index >= 1; --index)
        EXPECT_FALSE(settleRange(cursor, index, true, nullptr, nullptr)) << index;
    {
        std::lock_guard<std::mutex> lock(gate.m);
        gate.othersDone = true;
    }
    gate.cv.notify_all();
    first.join();
    EXPECT_TRUE(firstChosen);
    EXPECT_EQ(cursorHash(cursor), sha256Of(bytes));
}

TEST(HashCursor, MissingRangeStopOrUnreadableFileLosesTheDigestButStillChoosesOneFinisher) {
    TempFolder t;
    const std::string bytes = patternBytes(kSize, 23);
    t.write(L"whole.indir", bytes);
    t.write(L"short.indir", bytes.substr(0, kSize - 1));
    struct Case {
        const char* name;
        const wchar_t* file;
        int missingRange;    // settled as not arrived; -1: none
        int stopAfterRange;  // the stop flag is raised once this range is settled; -1: never
    };
    const Case cases[] = {
        {"a range that did not arrive", L"whole.indir", 2, -1},
        {"the first range did not arrive", L"whole.indir", 0, -1},
        {"a stop after the first range", L"whole.indir", -1, 0},
        {"a file shorter than listed", L"short.indir", -1, -1},
        {"a file that is gone", L"gone.indir", -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HashCursor cursor(t.file(c.file), kSize, kRange);
        std::atomic<bool> stop{false};
        int chosen = 0;
        for (int index = 0; index < kRanges; ++index) {
            chosen += settleRange(cursor, index, index != c.missingRange, stopFlag, &stop);
            if (index == c.stopAfterRange) stop = true;
        }
        EXPECT_EQ(chosen, 1);
        EXPECT_EQ(cursorHash(cursor), "");
        if (pathExists(cursor.path)) {
            EXPECT_TRUE(openableWithoutSharing(cursor.path));
        }
    }
}

// Transfers are held within a window of ranges ahead of the digest, let go as it advances, and all
// let through once it can no longer advance (a lost digest or a finished file), so nobody waits on
// a cursor that will never move.
TEST(HashCursor, TheWindowHoldsRangesAheadOfTheDigestUntilItAdvancesOrBreaks) {
    TempFolder t;
    const std::string bytes = patternBytes(kSize, 23);
    t.write(L"big.indir", bytes);
    HashCursor cursor(t.file(L"big.indir"), kSize, kRange);
    EXPECT_TRUE(rangeMayStart(cursor, 1, 2));
    EXPECT_FALSE(rangeMayStart(cursor, 2, 2));

    // A waiter is woken by progress on another thread, not by its time limit running out.
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        waitForRange(cursor, 2, 2, 60000);
        woke = true;
    });
    EXPECT_FALSE(settleRange(cursor, 0, true, nullptr, nullptr));
    waiter.join();
    EXPECT_TRUE(woke.load());
    EXPECT_TRUE(rangeMayStart(cursor, 2, 2));
    EXPECT_FALSE(rangeMayStart(cursor, 3, 2));

    // Range 1 never arrives: the digest is stuck, but a stop breaks it and opens the window.
    std::atomic<bool> stop{true};
    EXPECT_FALSE(settleRange(cursor, 2, true, stopFlag, &stop));
    EXPECT_FALSE(rangeMayStart(cursor, 5, 2));
    EXPECT_FALSE(settleRange(cursor, 1, true, stopFlag, &stop));
    EXPECT_TRUE(rangeMayStart(cursor, 5, 2));
    waitForRange(cursor, 5, 2, 60000);  // returns at once: the cursor no longer advances
}
