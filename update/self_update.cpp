#include "update/self_update.h"

#include <windows.h>

#include "base/file.h"
#include "base/names.h"
#include "base/process.h"
#include "update/file_commit.h"
#include "update/hashing.h"
#include "update/manifest.h"
#include "update/updater.h"

StepResult swapLauncherFiles(const std::wstring& runningPath) {
    std::wstring newPath = runningPath + L".yeni";
    std::wstring oldPath = runningPath + L".eski";
    // A leftover of an earlier update, possibly read-only, would block the rename.
    SetFileAttributesW(oldPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(oldPath.c_str());
    // Windows lets a running image be renamed, not overwritten; the old one lives on as ".eski".
    if (!MoveFileExW(runningPath.c_str(), oldPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        StepResult failed{StepOutcome::WriteFailed, lastErrorOr()};
        DeleteFileW(newPath.c_str());
        return failed;
    }
    if (DWORD error = moveFileDurably(newPath, runningPath)) {
        MoveFileExW(oldPath.c_str(), runningPath.c_str(), 0);
        DeleteFileW(newPath.c_str());
        return StepResult{StepOutcome::WriteFailed, error};
    }
    return StepResult{};
}

StepResult selfUpdate(Updater& u, const Manifest& manifest, const std::wstring& runningPath) {
    auto found = manifest.pathIndex.find(normalizePath(kLauncherFileName));
    if (found == manifest.pathIndex.end()) return StepResult{StepOutcome::Unchanged};
    const ManifestEntry& entry = manifest.entries[found->second];
    // A launcher just restarted by an update never updates itself again in the same process.
    if (u.skipSelfUpdate) return StepResult{StepOutcome::Unchanged};
    std::wstring running = runningPath.empty() ? moduleFilePath() : runningPath;
    if (hashFile(running, nullptr, nullptr) == entry.hash) return StepResult{StepOutcome::Unchanged};

    beginStage(u, UpdatePhase::Downloading, 1, entry.size);
    setCurrentFile(u, entry.path, 1);
    // Its own transfers: nothing an earlier download stage left behind can cancel them.
    TransferGroup group(u);
    std::wstring newPath = running + L".yeni";
    StepResult result{StepOutcome::Stopped, 0, 0, entry.path};
    for (int attempt = 0; attempt < 3 && !u.stopRequested.load(); ++attempt) {
        result = downloadToTemp(group, nullptr, entry, newPath, nullptr);
        if (result.outcome != StepOutcome::Unavailable && result.outcome != StepOutcome::Mismatch) break;
    }
    if (!result.ok()) {
        DeleteFileW(newPath.c_str());
        return result;
    }
    result = swapLauncherFiles(running);
    result.path = entry.path;
    return result;
}
