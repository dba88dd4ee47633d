// The launcher replacing its own executable: a copy of a real executable in a temp folder stands in
// for the running launcher, the new one comes from the loopback server.
#include <gtest/gtest.h>

#include "tests/support/built_program.h"

#include "base/contained_path.h"
#include "tests/support/dev_key.h"
#include "tests/support/keyed_program.h"
#include "tests/update/download_fixture.h"
#include "update/file_commit.h"
#include "update/self_update.h"

namespace {

std::string thisExecutable() {
    wchar_t path[520] = {};
    GetModuleFileNameW(nullptr, path, 520);
    return readFileBytes(path);
}

// A list and its signature by the development key, which the test binary trusts: what the new
// launcher's keys are checked against.
const std::string kList = "#QORVANEPC 1\n#surum 9\nK " + std::string(64, 'a') + " 1 a\n";

struct LauncherFolder : ServedGame {
    std::wstring running;
    std::string current = thisExecutable();
    std::string signature = devSign(kList);
    StepResult update() { return selfUpdate(runServices(u), u.config.skipSelfUpdate, u.config.retries.selfUpdate, manifest, kList, signature, running); }
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

// ".yeni" with verified bytes, held by the handle that wrote it, as the self-update leaves it.
UniqueFile heldNewLauncher(const TempFolder& t) {
    UniqueFile file;
    EXPECT_TRUE(
        openTempFile(resolveRoot(t.path), L"Qorvane Launcher.exe.yeni", L"Qorvane Launcher.exe", file).ok());
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file.get(), "verified new", 12, &written, nullptr));
    return file;
}

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
    EXPECT_TRUE(f.update().ok());
    CloseHandle(image);
    EXPECT_TRUE(readFileBytes(f.running) == next);
    EXPECT_TRUE(readFileBytes(f.running + L".eski") == f.current);
    EXPECT_FALSE(f.folder.exists(L"Qorvane Launcher.exe.yeni"));
    StatusSnapshot s = copyStatus(f.u.status);
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
        f.u.config.skipSelfUpdate = c.skip;
        EXPECT_EQ(f.update().outcome, StepOutcome::Unchanged);
        EXPECT_TRUE(readFileBytes(f.running) == f.current);
        EXPECT_EQ(f.launcherRequests(), 0u);
        EXPECT_EQ(copyStatus(f.u.status).phase, UpdatePhase::Idle);
        EXPECT_EQ(f.log(), "");
        EXPECT_FALSE(f.folder.exists(L"Qorvane Launcher.exe.eski"));
    }
}

TEST(SelfUpdate, ALauncherThatNeverMatchesIsTriedThreeTimesThenGivenUp) {
    LauncherFolder f;
    f.publishMismatch(L"Qorvane Launcher.exe", f.current + "listed", f.current + "served");
    StepResult result = f.update();
    EXPECT_EQ(result.outcome, StepOutcome::Mismatch);
    EXPECT_EQ(result.path, L"Qorvane Launcher.exe");
    EXPECT_EQ(f.launcherRequests(), 3u);
    EXPECT_TRUE(readFileBytes(f.running) == f.current);
    EXPECT_FALSE(f.folder.exists(L"Qorvane Launcher.exe.yeni"));
    EXPECT_FALSE(f.folder.exists(L"Qorvane Launcher.exe.eski"));
    EXPECT_EQ(copyStatus(f.u.status).bytesDone, 0u);

    f.u.stop.request();  // a stop before the first attempt is no replacement either
    EXPECT_EQ(f.update().outcome, StepOutcome::Stopped);
    EXPECT_EQ(f.launcherRequests(), 3u);
}

namespace {
DWORD placeRefused(HANDLE, const std::wstring&) {
    return ERROR_SHARING_VIOLATION;
}
}  // namespace

TEST(SelfUpdate, FailedSwapRestoresTheRunningName) {
    TempFolder t;
    std::wstring running = t.file(L"Qorvane Launcher.exe");
    t.write(L"Qorvane Launcher.exe", "current");
    // The new file cannot be moved into place (its handle keeps every other program from blocking
    // the move, so the failure is put in).
    UniqueFile newFile = heldNewLauncher(t);
    SwapFileOps refused;
    refused.place = placeRefused;
    LauncherSwap swap = swapLauncherFiles(running, newFile, refused);
    EXPECT_FALSE(newFile);
    EXPECT_EQ(swap.result.outcome, StepOutcome::WriteFailed);
    EXPECT_EQ(swap.result.systemError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));  // the move's own error
    EXPECT_EQ(swap.restore, SwapRestore::Renamed);
    EXPECT_EQ(t.read(L"Qorvane Launcher.exe"), "current");
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.eski"));
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.yeni"));

    // When the running executable itself cannot be renamed, nothing moves and ".yeni" goes.
    HANDLE held =
        CreateFileW(running.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    newFile = heldNewLauncher(t);
    swap = swapLauncherFiles(running, newFile);
    CloseHandle(held);
    EXPECT_EQ(swap.result.outcome, StepOutcome::WriteFailed);
    EXPECT_EQ(swap.restore, SwapRestore::NotNeeded);
    EXPECT_EQ(t.read(L"Qorvane Launcher.exe"), "current");
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.yeni"));
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.eski"));
}

namespace {

// Renames that fail from the n-th on (counting from 1), as a disk or a scanner holding the files
// would make them; copies work or fail as asked.
struct FailingMoves {
    static inline int failFrom = 0;
    static inline int calls = 0;
    static inline bool copyWorks = true;
    static BOOL WINAPI move(LPCWSTR from, LPCWSTR to, DWORD flags) {
        if (++calls >= failFrom) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return MoveFileExW(from, to, flags);
    }
    static DWORD place(HANDLE file, const std::wstring& target) {
        if (++calls >= failFrom) return ERROR_ACCESS_DENIED;
        return renameOpenFile(file, target);
    }
    static BOOL WINAPI copy(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
        if (copyWorks) return CopyFileW(from, to, failIfExists);
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
};

}  // namespace

// The shortcuts and the uninstall entry name "Qorvane Launcher.exe": whatever fails, a launcher
// stays under that name (or, when nothing can be done, both copies stay for the user to find).
TEST(SelfUpdate, FailedRenameBackCopiesTheOldLauncherBack) {
    for (bool copyWorks : {true, false}) {
        SCOPED_TRACE(copyWorks ? "copy works" : "copy fails too");
        TempFolder t;
        std::wstring running = t.file(L"Qorvane Launcher.exe");
        t.write(L"Qorvane Launcher.exe", "current");
        UniqueFile newFile = heldNewLauncher(t);
        FailingMoves::failFrom = 2;  // the first rename (to ".eski") works, the next ones fail
        FailingMoves::calls = 0;
        FailingMoves::copyWorks = copyWorks;
        LauncherSwap swap = swapLauncherFiles(
            running, newFile, SwapFileOps{FailingMoves::move, FailingMoves::copy, FailingMoves::place});
        EXPECT_EQ(swap.result.outcome, StepOutcome::WriteFailed);
        EXPECT_EQ(swap.result.systemError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(swap.renameBackError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(t.read(L"Qorvane Launcher.exe.eski"), "current");
        if (copyWorks) {
            EXPECT_EQ(swap.restore, SwapRestore::Copied);
            EXPECT_EQ(t.read(L"Qorvane Launcher.exe"), "current");
            EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.yeni"));
        } else {
            EXPECT_EQ(swap.restore, SwapRestore::Lost);
            EXPECT_EQ(swap.copyBackError, static_cast<DWORD>(ERROR_DISK_FULL));
            EXPECT_EQ(t.read(L"Qorvane Launcher.exe.yeni"), "verified new");
        }
    }
}

// A new launcher must be able to verify the list that delivered it, or it would reject every later
// list and could never be replaced again: a dev-key launcher inside a release-key tree, or one
// without any keys, is refused and the running one stays.
TEST(SelfUpdate, ANewLauncherThatCannotVerifyTheListIsRefused) {
    TempFolder made;
    KeySet other = freshKeySet();
    struct Case {
        const char* name;
        KeySet keys;  // empty: a program without a key set
        bool taken;
    };
    const Case cases[] = {
        {"another key only", other, false},
        {"no key set", {}, false},
        {"another key and the list's key", {other[0], developmentKey()}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring program = builtProgramPath(L"tests\\fixtures\\Qorvane.exe");
        if (!c.keys.empty()) {
            program = made.file(L"yeni.exe");
            writeKeyedProgram(program, c.keys);
        }
        std::string next = readFileBytes(program);
        LauncherFolder f;
        f.publish(L"Qorvane Launcher.exe", next);
        StepResult result = f.update();
        EXPECT_EQ(f.launcherRequests(), 1u);
        EXPECT_FALSE(f.folder.exists(L"Qorvane Launcher.exe.yeni"));
        if (c.taken) {
            EXPECT_TRUE(result.ok());
            EXPECT_TRUE(readFileBytes(f.running) == next);
            continue;
        }
        EXPECT_EQ(result.outcome, StepOutcome::Rejected);
        EXPECT_EQ(result.path, L"Qorvane Launcher.exe");
        EXPECT_TRUE(readFileBytes(f.running) == f.current);
        EXPECT_FALSE(f.folder.exists(L"Qorvane Launcher.exe.eski"));
        EXPECT_NE(f.log().find("yeni launcher kullanilmadi: "), std::string::npos) << f.log();
        if (!c.keys.empty()) {
            EXPECT_NE(f.log().find(keyHex(other[0])), std::string::npos);
        }
    }
}
