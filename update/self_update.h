// Replacing the launcher's own executable when the list holds a different one: download beside it
// as ".yeni", verify it and the keys it carries, swap by renaming (the running image becomes
// ".eski"), and on failure put the old executable back under its name, by a copy when the rename
// back fails too.
#pragma once

#include <windows.h>

#include <string>

#include "base/retry.h"
#include "update/run_services.h"
#include "update/step_result.h"

struct Manifest;
struct UpdateLog;

// Unchanged when there is nothing to do (or skip is set), Done when the executable was replaced (a
// restart is due), any other outcome when it failed (the run goes on with the old one); Rejected
// when the new executable's embedded keys cannot verify the list (listBytes, signatureBytes) that
// named it. The download is tried under `attempts`. runningPath: the executable to replace; empty
// means this process's own module file.
StepResult selfUpdate(const RunServices& services, bool skip, const RetryPolicy& attempts,
                      const Manifest& manifest, const std::string& listBytes,
                      const std::string& signatureBytes, const std::wstring& runningPath = std::wstring());
// Done when one of the keys embedded in newPath verifies the pair; otherwise Rejected, logged.
StepResult checkNewLauncherKeys(UpdateLog& log, const std::wstring& newPath, const std::string& listBytes,
                                const std::string& signatureBytes);

// The file operations of the swap; tests put failing ones in.
struct SwapFileOps {
    BOOL(WINAPI* move)(LPCWSTR from, LPCWSTR to, DWORD flags) = MoveFileExW;
    BOOL(WINAPI* copy)(LPCWSTR from, LPCWSTR to, BOOL failIfExists) = CopyFileW;
};

// How the old executable got its name back after the new one could not be moved into place.
enum class SwapRestore {
    NotNeeded,  // swapped, or nothing was moved at all
    Renamed,    // ".eski" renamed back
    Copied,     // the rename back failed; a copy of ".eski" stands in its place
    Lost,       // neither worked: the folder has no launcher under its name
};

struct [[nodiscard]] LauncherSwap {
    StepResult result;  // Done, or WriteFailed with the failed step's error
    SwapRestore restore = SwapRestore::NotNeeded;
    DWORD renameBackError = 0;  // when the rename back failed
    DWORD copyBackError = 0;    // when the copy failed as well
};

// The rename swap of a verified runningPath + ".yeni". On failure the old executable is back under
// its own name and ".yeni" is removed, unless it is the only launcher left (restore Lost).
LauncherSwap swapLauncherFiles(const std::wstring& runningPath, const SwapFileOps& ops = SwapFileOps{});
