#include "update/file_commit.h"

#include <mutex>

#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/text.h"
#include "protocol/hash_cache.h"
#include "protocol/manifest.h"
#include "update/download_run.h"
#include "update/transfer.h"
#include "update/update_log.h"

namespace {

// The numbers the log has always shown for a failed attempt.
int attemptLogCode(StepOutcome outcome) {
    return outcome == StepOutcome::Mismatch ? 2 : 1;
}

bool isRetriedAttempt(StepOutcome outcome) {
    return outcome == StepOutcome::Unavailable || outcome == StepOutcome::Mismatch;
}

}  // namespace

StepResult downloadWhole(DownloadRun& run, HINTERNET connection, DownloadItem& item) {
    TransferGroup& group = run.transfers;
    // Bytes that earlier range transfers of this file put into the progress no longer count.
    takeBackBytes(group, nullptr, item.receivedBytes.exchange(0));
    const ManifestEntry& entry = *item.entry;
    StepResult result{StepOutcome::Stopped, 0, 0, entry.path};
    // A split file fetched whole after all keeps the handle its ranges were written through.
    if (!item.temp && !isCancelled(group)) {
        result = openTempFile(run.root, entry.path + kDownloadSuffix, entry.path, item.temp);
        if (!result.ok()) return result;
    }
    runAttempts(run.settings.wholeFile, group.stop, [&](int attempt) {
        result = downloadToTemp(group, connection, entry, item.temp.get(), &item.receivedBytes);
        if (!isRetriedAttempt(result.outcome)) return false;
        logLine(group.run.log, "indirilemedi (%d) %s, deneme %d", attemptLogCode(result.outcome),
                toUtf8(entry.path).c_str(), attempt);
        return true;
    });
    if (result.ok()) return commitFile(run, item);
    // The run's end removes the temp file of a cancelled transfer.
    if (isCancelled(group)) return StepResult{StepOutcome::Stopped, 0, 0, entry.path};
    if (item.temp) deleteOpenFile(item.temp);
    if (isRetriedAttempt(result.outcome)) result.outcome = StepOutcome::Failed;
    return result;
}

StepResult commitFile(DownloadRun& run, DownloadItem& item) {
    const ManifestEntry& entry = *item.entry;
    // A read-only target would refuse to be replaced.
    SetFileAttributesW(item.targetPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    // The file verified is the file moved: no other program could write it since it was created,
    // and the move goes through the handle that created it, not through its name.
    DWORD error = item.temp ? renameOpenFile(item.temp.get(), item.targetPath)
                            : static_cast<DWORD>(ERROR_INVALID_HANDLE);
    if (error != 0) {
        if (item.temp) deleteOpenFile(item.temp);
        bool locked =
            error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        return StepResult{locked ? StepOutcome::Locked : StepOutcome::WriteFailed, error, 0, entry.path};
    }

    // The cache vouches for what the handle holds, not for whatever lies under the name afterwards.
    HashCacheEntry cached;
    bool readBack = holdFileStamp(item.temp.get(), cached.size, cached.mtime);
    item.temp.reset();
    std::string suffix;
    if (item.chunkCount > 0) suffix = ", " + std::to_string(item.chunkCount) + " parca";
    suffix += item.logNote;
    logLine(run.transfers.run.log, "indirildi %s (%llu bayt%s)", toUtf8(entry.path).c_str(),
            static_cast<unsigned long long>(entry.size), suffix.c_str());

    std::wstring key = pathKey(entry.path);
    std::lock_guard<std::mutex> lock(run.lock);
    item.committed = true;
    // Without a read-back the next check run hashes the file instead of trusting a guess.
    if (run.cache) {
        if (readBack) {
            cached.hash = entry.hash;
            run.cache->insert_or_assign(std::move(key), std::move(cached));
        } else {
            run.cache->erase(key);
        }
    }
    ++run.finished;
    return StepResult{StepOutcome::Done, 0, 0, entry.path};
}
