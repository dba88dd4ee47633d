// The launcher replacing its own executable: a copy of a real executable in a temp folder stands in
// for the running launcher, the new one comes from the loopback server.
#include <gtest/gtest.h>

#include "tests/update/download_fixture.h"
#include "update/self_update.h"

namespace {

std::string thisExecutable() {
    wchar_t path[520] = {};
    GetModuleFileNameW(nullptr, path, 520);
    return readFileBytes(path);
}

struct LauncherFolder : ServedGame {
    std::wstring running;
    std::string current = thisExecutable();
    LauncherFolder() {
        running = folder.file(L"Qorvane Launcher.exe");
        writeFileBytes(running, current);
        open();
    }
    size_t launcherRequests() {
        size_t n = 0;
        for (const auto& r : server.requests())
            n += r.path.rfind("/qorvane/pc/obj/", 0) == 0;
        return n;
    }
};

}  // namespace

TEST(SelfUpdate, DifferentHashDownloadsVerifiesAndSwaps) {
    LauncherFolder f;
    std::string next = f.current + "a newer build";
    f.publish(L"Qorvane Launcher.exe", next);
    // A leftover from an earlier update, read-only, must not block the swap.
    f.folder.write(L"Qorvane Launcher.exe.eski", "older");
    SetFileAttributesW((f.running + L".eski").c_str(), FILE_ATTRIBUTE_READONLY);
    // The running image is open the way Windows maps it: rename allowed, overwrite not.
    HANDLE image = CreateFileW(f.running.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(image, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(selfUpdate(f.u, f.manifest, f.running).ok());
    CloseHandle(image);
    EXPECT_TRUE(readFileBytes(f.running) == next);
    EXPECT_TRUE(readFileBytes(f.running + L".eski") == f.current);
    EXPECT_FALSE(f.folder.exists(L"Qorvane Launcher.exe.yeni"));
    StatusSnapshot s = copyStatus(f.u);
    EXPECT_EQ(s.phase, UpdatePhase::Downloading);
    EXPECT_EQ(s.detailText, L"Qorvane Launcher.exe");
    EXPECT_EQ(s.bytesTotal, next.size());
    EXPECT_EQ(s.bytesDone, next.size());
    EXPECT_EQ(f.launcherRequests(), 1u);
}

TEST(SelfUpdate, NothingToDoLeavesTheExecutableAlone) {
    struct Case {
        const char* name;
        bool listed;
        bool sameHash;
        bool skip;
    };
    const Case cases[] = {
        {"not listed", false, false, false},
        {"same hash", true, true, false},
        {"restarted after an update", true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LauncherFolder f;
        f.publish(L"other.txt", "x");
        if (c.listed) f.publish(L"qorvane launcher.EXE", c.sameHash ? f.current : f.current + "new");
        f.u.skipSelfUpdate = c.skip;
        EXPECT_EQ(selfUpdate(f.u, f.manifest, f.running).outcome, StepOutcome::Unchanged);
        EXPECT_TRUE(readFileBytes(f.running) == f.current);
        EXPECT_EQ(f.launcherRequests(), 0u);
        EXPECT_EQ(copyStatus(f.u).phase, UpdatePhase::Idle);
        EXPECT_EQ(f.log(), "");
        EXPECT_FALSE(f.folder.exists(L"Qorvane Launcher.exe.eski"));
    }
}

TEST(SelfUpdate, ALauncherThatNeverMatchesIsTriedThreeTimesThenGivenUp) {
    LauncherFolder f;
    f.publishMismatch(L"Qorvane Launcher.exe", f.current + "listed", f.current + "served");
    ULONGLONG start = GetTickCount64();
    StepResult result = selfUpdate(f.u, f.manifest, f.running);
    EXPECT_LT(GetTickCount64() - start, 5000u);  // no pauses between the attempts
    EXPECT_EQ(result.outcome, StepOutcome::Mismatch);
    EXPECT_EQ(result.path, L"Qorvane Launcher.exe");
    EXPECT_EQ(f.launcherRequests(), 3u);
    EXPECT_TRUE(readFileBytes(f.running) == f.current);
    EXPECT_FALSE(f.folder.exists(L"Qorvane Launcher.exe.yeni"));
    EXPECT_FALSE(f.folder.exists(L"Qorvane Launcher.exe.eski"));
    EXPECT_EQ(copyStatus(f.u).bytesDone, 0u);

    f.u.stopRequested = true;  // a stop before the first attempt is no replacement either
    EXPECT_EQ(selfUpdate(f.u, f.manifest, f.running).outcome, StepOutcome::Stopped);
    EXPECT_EQ(f.launcherRequests(), 3u);
}

TEST(SelfUpdate, FailedSwapRestoresTheRunningName) {
    TempFolder t;
    std::wstring running = t.file(L"Qorvane Launcher.exe");
    t.write(L"Qorvane Launcher.exe", "current");
    t.write(L"Qorvane Launcher.exe.yeni", "verified new");
    // Held without delete sharing, the new file cannot be moved into place.
    HANDLE held = CreateFileW((running + L".yeni").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    StepResult result = swapLauncherFiles(running);
    CloseHandle(held);
    EXPECT_EQ(result.outcome, StepOutcome::WriteFailed);
    EXPECT_NE(result.systemError, 0u);  // the failed move's own error
    EXPECT_EQ(t.read(L"Qorvane Launcher.exe"), "current");
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.eski"));

    // When the running executable itself cannot be renamed, nothing moves and ".yeni" goes.
    held = CreateFileW(running.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(swapLauncherFiles(running).outcome, StepOutcome::WriteFailed);
    CloseHandle(held);
    EXPECT_EQ(t.read(L"Qorvane Launcher.exe"), "current");
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.yeni"));
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.eski"));
}
