#include "update/self_update.h"

#include <windows.h>

#include "base/contained_path.h"
#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/process.h"
#include "base/sha256.h"
#include "base/text.h"
#include "protocol/key_set.h"
#include "protocol/manifest.h"
#include "update/live_status.h"
#include "update/transfer.h"
#include "update/update_log.h"

LauncherSwap swapLauncherFiles(const std::wstring& runningPath, UniqueFile& newFile, const SwapFileOps& ops) {
    std::wstring oldPath = runningPath + kOldFileSuffix;
    LauncherSwap swap;
    // A leftover of an earlier update, possibly read-only, would block the rename.
    SetFileAttributesW(oldPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(oldPath.c_str());
    // Windows lets a running image be renamed, not overwritten; the old one lives on as ".eski".
    if (!ops.move(runningPath.c_str(), oldPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        swap.result = StepResult{StepOutcome::WriteFailed, lastErrorOr()};
        deleteOpenFile(newFile);
        return swap;
    }
    if (DWORD error = ops.place(newFile.get(), runningPath)) {
        swap.result = StepResult{StepOutcome::WriteFailed, error};
    } else {
        newFile.reset();
        return swap;
    }
    // The shortcuts and the uninstall entry name the launcher: the folder must never be left without
    // one. A copy of the running image is allowed where its rename is not (the copy is read-only
    // access); ".eski" itself goes at the next start, as after any update.
    if (ops.move(oldPath.c_str(), runningPath.c_str(), 0)) {
        swap.restore = SwapRestore::Renamed;
    } else {
        swap.renameBackError = lastErrorOr();
        if (ops.copy(oldPath.c_str(), runningPath.c_str(), FALSE)) {
            swap.restore = SwapRestore::Copied;
        } else {
            swap.copyBackError = lastErrorOr();
            swap.restore = SwapRestore::Lost;
            newFile.reset();
            return swap;  // ".yeni" is a verified launcher: the one left to start by hand
        }
    }
    deleteOpenFile(newFile);
    return swap;
}

namespace {

void logRestore(UpdateLog& log, const LauncherSwap& swap) {
    unsigned long failed = swap.result.systemError;
    switch (swap.restore) {
        case SwapRestore::NotNeeded:
            return;
        case SwapRestore::Renamed:
            logLine(log, "launcher yerine konamadi (%lu), eskisi geri alindi", failed);
            return;
        case SwapRestore::Copied:
            logLine(log, "launcher yerine konamadi (%lu), eskisi geri adlandirilamadi (%lu), kopyasi kondu",
                    failed, static_cast<unsigned long>(swap.renameBackError));
            return;
        case SwapRestore::Lost:
            logLine(log,
                    "launcher yerine konamadi (%lu), eskisi geri konamadi (%lu, kopya %lu): .eski ve .yeni "
                    "duruyor",
                    failed, static_cast<unsigned long>(swap.renameBackError),
                    static_cast<unsigned long>(swap.copyBackError));
            return;
    }
}

}  // namespace

StepResult checkNewLauncherKeys(UpdateLog& log, HANDLE newFile, const std::string& listBytes,
                                const std::string& signatureBytes) {
    KeySet keys;
    DWORD error = 0;
    // Read through the handle that wrote it: the bytes checked are the bytes that go into place.
    if (!readOpenProgramKeySet(newFile, keys, &error)) {
        logLine(log, "yeni launcher kullanilmadi: anahtar kumesi okunamadi (hata %lu)",
                static_cast<unsigned long>(error));
        return StepResult{StepOutcome::Rejected, error};
    }
    if (!verifyingKey(keys, listBytes, signatureBytes)) {
        logLine(log,
                "yeni launcher kullanilmadi: anahtarlarindan hicbiri bu listenin imzasini dogrulamiyor (%s)",
                toUtf8(describeKeySet(keys)).c_str());
        return StepResult{StepOutcome::Rejected, static_cast<DWORD>(NTE_BAD_SIGNATURE)};
    }
    return StepResult{};
}

StepResult selfUpdate(const RunServices& services, bool skip, const RetryPolicy& attempts,
                      const Manifest& manifest, const std::string& listBytes,
                      const std::string& signatureBytes, const std::wstring& runningPath) {
    auto found = manifest.pathIndex.find(pathKey(kLauncherFileName));
    if (found == manifest.pathIndex.end()) return StepResult{StepOutcome::Unchanged};
    const ManifestEntry& entry = manifest.entries[found->second];
    // A launcher just restarted by an update never updates itself again in the same process.
    if (skip) return StepResult{StepOutcome::Unchanged};
    std::wstring running = runningPath.empty() ? moduleFilePath() : runningPath;
    if (hashFile(running, nullptr, nullptr) == entry.hash) return StepResult{StepOutcome::Unchanged};

    beginStage(services.status, UpdatePhase::Downloading, 1, entry.size);
    setCurrentFile(services.status, entry.path, 1);
    // Its own transfers: nothing an earlier download stage left behind can cancel them.
    TransferGroup group(services);
    const ContainedRoot folder = resolveRoot(folderOf(running));
    const std::wstring newName = running.substr(running.find_last_of(L"\\/") + 1) + kNewFileSuffix;
    StepResult result{StepOutcome::Stopped, 0, 0, entry.path};
    UniqueFile newFile;
    if (!isCancelled(group)) result = openTempFile(folder, newName, entry.path, newFile);
    if (newFile) {
        runAttempts(attempts, group.stop, [&](int) {
            result = downloadToTemp(group, nullptr, entry, newFile.get(), nullptr);
            return result.outcome == StepOutcome::Unavailable || result.outcome == StepOutcome::Mismatch;
        });
    }
    // A launcher that could not verify the list that delivered it would reject every later list and
    // could never be replaced again: it is refused here, and the running one stays.
    if (result.ok()) result = checkNewLauncherKeys(services.log, newFile.get(), listBytes, signatureBytes);
    if (!result.ok()) {
        if (newFile) deleteOpenFile(newFile);
        result.path = entry.path;
        return result;
    }
    LauncherSwap swap = swapLauncherFiles(running, newFile);
    logRestore(services.log, swap);
    swap.result.path = entry.path;
    return swap.result;
}
