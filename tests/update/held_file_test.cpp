// Files held for a moment by another program: the waits, the game found running, the stop, and the
// commit and the planning probe on real held files.
#include "update/held_file.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/file.h"
#include "base/names.h"
#include "base/process.h"
#include "tests/support/test_game.h"
#include "tests/update/download_fixture.h"
#include "update/file_commit.h"
#include "update/transfer.h"

namespace {

// The test game started as the game folder's Qorvane.exe, idling until it is ended.
struct RunningGame {
    PROCESS_INFORMATION process{};
    bool started = false;
    explicit RunningGame(const std::wstring& folder) {
        if (!installTestGame(folder)) return;
        SetEnvironmentVariableW(L"QORVANE_TEST_BASLANGIC", L"sessiz");
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring exe = folder + L"\\Qorvane.exe";
        std::wstring line = L"\"" + exe + L"\"";
        started = CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 folder.c_str(), &startup, &process) != 0;
        SetEnvironmentVariableW(L"QORVANE_TEST_BASLANGIC", nullptr);
    }
    ~RunningGame() {
        if (!started) return;
        TerminateProcess(process.hProcess, 0);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
};

struct HoldCase {
    const char* name;
    std::vector<DWORD> answers;  // what each try answers; the last one repeats
    HoldKind kind;
    DWORD error;
    int waits;
    int tries;
};

}  // namespace

TEST(HeldFile, WaitsOutHoldsWithGrowingPausesAndNamesEachWait) {
    const HoldCase cases[] = {
        {"free at once", {0}, HoldKind::Move, 0, 0, 1},
        {"scanner lets go", {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, 0}, HoldKind::Move, 0, 2, 3},
        {"held past every try", {ERROR_SHARING_VIOLATION}, HoldKind::Probe, ERROR_SHARING_VIOLATION, 6, 7},
        // Access denied holds a move back (an open handle without delete sharing), never a probe.
        {"move denied", {ERROR_ACCESS_DENIED, 0}, HoldKind::Move, 0, 1, 2},
        {"probe denied", {ERROR_ACCESS_DENIED}, HoldKind::Probe, ERROR_ACCESS_DENIED, 0, 1},
        {"other error", {ERROR_WRITE_FAULT}, HoldKind::Move, ERROR_WRITE_FAULT, 0, 1},
    };
    for (const HoldCase& c : cases) {
        TempFolder t;
        Updater u;
        pointAt(u, t);
        StopSignal stop;
        HeldFileWait wait{u.config.retries.heldFile, stop, u.log, t.file(L"Qorvane.exe")};
        int tries = 0;
        HeldOutcome out = retryWhileHeld(wait, c.kind, L"pack/a.pak", [&] {
            DWORD answer = c.answers[std::min<size_t>(tries, c.answers.size() - 1)];
            ++tries;
            return answer;
        });
        EXPECT_EQ(out.error, c.error) << c.name;
        EXPECT_EQ(out.waits, c.waits) << c.name;
        EXPECT_EQ(tries, c.tries) << c.name;
        EXPECT_FALSE(out.gameRunning) << c.name;
        EXPECT_FALSE(out.stopped) << c.name;
        const std::string log = logOf(t);
        EXPECT_EQ(countOf(log, "bekleniyor"), c.waits) << c.name << log;
        if (c.waits > 0) {
            EXPECT_NE(log.find(" ms bekleniyor (1. bekleme)"), std::string::npos) << log;
            EXPECT_NE(log.find("pack/a.pak, 5 ms bekleniyor"), std::string::npos) << log;
        }
    }
}

TEST(HeldFile, TheDefaultPausesGrowAndLastAtLeastTenSeconds) {
    const RetryPolicy policy = RetryRules{}.heldFile;
    uint32_t total = 0, previous = 0;
    for (int attempt = 1; attempt < policy.attempts; ++attempt) {
        EXPECT_GT(pauseAfter(policy, attempt), previous) << attempt;
        previous = pauseAfter(policy, attempt);
        total += previous;
    }
    EXPECT_GE(total, 10000u);
    // No pause after the last try: it would only delay the report.
    EXPECT_EQ(pauseAfter(policy, policy.attempts), 0u);
}

TEST(HeldFile, AStopEndsAnHourLongWait) {
    TempFolder t;
    Updater u;
    pointAt(u, t);
    RetryPolicy hour{3, {3600000, 3600000}};
    StopSignal stop;
    HeldFileWait wait{hour, stop, u.log, t.file(L"Qorvane.exe")};
    std::thread stopper([&] {
        while (logOf(t).find("bekleniyor") == std::string::npos)
            Sleep(5);
        stop.request();
    });
    HeldOutcome out =
        retryWhileHeld(wait, HoldKind::Move, L"a.pak", [] { return DWORD{ERROR_SHARING_VIOLATION}; });
    stopper.join();
    EXPECT_TRUE(out.stopped);
    EXPECT_EQ(out.waits, 1);
}

TEST(HeldFile, TheRunningGameIsToldAtOnceWithoutWaiting) {
    TempFolder t;
    RunningGame game(t.path);
    ASSERT_TRUE(game.started);
    Updater u;
    pointAt(u, t);
    // A game of the same name in another folder is not this game.
    EXPECT_FALSE(isProgramRunning(t.file(L"elsewhere\\Qorvane.exe")));
    EXPECT_TRUE(isProgramRunning(t.file(L"Qorvane.exe")));

    t.write(L"pack/a.pak", "old");
    Manifest m;
    addEntry(m, L"pack/a.pak", 3, sha256Of("new"));
    HANDLE held =
        CreateFileW(t.file(L"pack\\a.pak").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HashCache cache;
    EXPECT_FALSE(runAndReport(u, m, cache));
    CloseHandle(held);
    StatusSnapshot s = copyStatus(u.status);
    EXPECT_EQ(s.errorCode, ErrorKind::FileLocked);
    const std::string log = logOf(t);
    EXPECT_NE(log.find("oyun acik, dosya kullanimda: pack/a.pak"), std::string::npos) << log;
    EXPECT_EQ(log.find("bekleniyor"), std::string::npos) << log;
}

TEST(HeldFile, ATargetHeldThroughEveryWaitCountsAsTheGameRunning) {
    ServedGame g;
    g.open();
    g.folder.write(L"pack/a.pak", "old");
    g.publish(L"pack/a.pak", "new content");
    // Held from the plan on: the probe waits it out, then reports it as the game's.
    HANDLE held = CreateFileW(g.folder.file(L"pack\\a.pak").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(g.run());
    CloseHandle(held);
    const std::string log = g.log();
    StatusSnapshot s = copyStatus(g.u.status);
    EXPECT_EQ(s.errorCode, ErrorKind::FileLocked);
    EXPECT_EQ(s.detailText, L"pack/a.pak");
    EXPECT_EQ(countOf(log, "bekleniyor"), 6) << log;
    EXPECT_NE(log.find("dosya hala kullanimda: pack/a.pak (hata 32)"), std::string::npos) << log;
    EXPECT_EQ(log.find("indirme:"), std::string::npos) << log;  // nothing was fetched
    EXPECT_TRUE(g.server.requests().empty());
    EXPECT_EQ(g.folder.read(L"pack/a.pak"), "old");
}
