// Replacing the launcher's own executable when the list holds a different one: download beside it
// as ".yeni" through one handle that keeps other writers out until the file is in place, verify it
// and the keys it carries, swap by renaming (the running image becomes ".eski", the new file moves
// through its handle), and on failure put the old executable back under its name, by a copy when
// the rename back fails too.
#pragma once

#include <windows.h>

#include <string>

#include "base/file.h"
#include "base/handles.h"
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
// Done when one of the keys embedded in the program newFile holds verifies the pair; otherwise
// Rejected, logged.
StepResult checkNewLauncherKeys(UpdateLog& log, HANDLE newFile, const std::string& listBytes,
                                const std::string& signatureBytes);

// The file operations of the swap; tests put failing ones in.
struct SwapFileOps {
    BOOL(WINAPI* move)(LPCWSTR from, LPCWSTR to, DWORD flags) = MoveFileExW;
    BOOL(WINAPI* copy)(LPCWSTR from, LPCWSTR to, BOOL failIfExists) = CopyFileW;
    DWORD (*place)(HANDLE file, const std::wstring& target) = renameOpenFile;
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

// The rename swap of the verified new executable that newFile holds (runningPath + ".yeni"). On
// failure the old executable is back under its own name and ".yeni" is removed, unless it is the only
// launcher left (restore Lost). newFile is closed afterwards either way.
[[nodiscard]] LauncherSwap swapLauncherFiles(const std::wstring& runningPath, UniqueFile& newFile,
                                             const SwapFileOps& ops = SwapFileOps{});
