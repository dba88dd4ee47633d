#include "update/self_update.h"

#include <windows.h>

#include <mutex>

#include "base/names.h"
#include "base/process.h"
#include "update/file_commit.h"
#include "update/hashing.h"
#include "update/manifest.h"
#include "update/updater.h"

namespace {

void beginLauncherDownload(Updater& u, const ManifestEntry& entry) {
    {
        std::lock_guard<std::mutex> lock(u.statusMutex);
        StatusSnapshot& s = u.status;
        s.phase = UpdatePhase::Downloading;
        s.detailText = entry.path;
        s.filesDone = 1;
        s.filesTotal = 1;
        s.bytesDone = 0;
        s.bytesTotal = entry.size;
        s.bytesPerSecond = 0;
        u.lastSampleTick = GetTickCount();
        u.lastSampleBytes = 0;
    }
    u.bytesReceived = 0;
}

}  // namespace

int swapLauncherFiles(const std::wstring& runningPath) {
    std::wstring newPath = runningPath + L".yeni";
    std::wstring oldPath = runningPath + L".eski";
    // A leftover of an earlier update, possibly read-only, would block the rename.
    SetFileAttributesW(oldPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(oldPath.c_str());
    // Windows lets a running image be renamed, not overwritten; the old one lives on as ".eski".
    if (!MoveFileExW(runningPath.c_str(), oldPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(newPath.c_str());
        return 2;
    }
    if (MoveFileExW(newPath.c_str(), runningPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 1;
    MoveFileExW(oldPath.c_str(), runningPath.c_str(), 0);
    DeleteFileW(newPath.c_str());
    return 2;
}

int selfUpdate(Updater& u, const Manifest& manifest, const std::wstring& runningPath) {
    auto found = manifest.pathIndex.find(normalizePath(kLauncherFileName));
    if (found == manifest.pathIndex.end()) return 0;
    const ManifestEntry& entry = manifest.entries[found->second];
    std::wstring running = runningPath.empty() ? moduleFilePath() : runningPath;
    // A launcher just restarted by an update never updates itself again in the same process.
    if (hashFile(running, nullptr, nullptr) == entry.hash || u.skipSelfUpdate) return 0;

    beginLauncherDownload(u, entry);
    // No download run is active yet; a flag left by an earlier run's failure must not cancel this one.
    u.abortDownloads = false;
    std::wstring newPath = running + L".yeni";
    int result = 5;
    for (int attempt = 0; attempt < 3 && !u.stopRequested.load(); ++attempt) {
        result = downloadToTemp(u, nullptr, entry, newPath, nullptr);
        if (result != 1 && result != 2) break;
    }
    if (result != 0) {
        DeleteFileW(newPath.c_str());
        return 2;
    }
    return swapLauncherFiles(running);
}
