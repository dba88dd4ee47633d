#include "update/file_commit.h"

#include <mutex>

#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/text.h"
#include "protocol/hash_cache.h"
#include "protocol/manifest.h"
#include "update/download_run.h"
#include "update/held_file.h"
#include "update/object_hosts.h"
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

// ", ayna URL[, URL]" for a file that came (in whole or in part) from mirrors; empty otherwise.
std::string mirrorsNamed(const ObjectHosts& hosts, const DownloadItem& item) {
    std::string names;
    const uint32_t used = item.mirrorHosts.load();
    for (size_t i = 1; i < hosts.hosts.size() && i <= 32; ++i) {
        if (!(used & (1u << (i - 1)))) continue;
        names += names.empty() ? ", ayna " : ", ";
        names += hosts.hosts[i]->name;
    }
    return names;
}

}  // namespace

void noteMirror(DownloadItem& item, size_t host) {
    if (host > 0 && host <= 32) item.mirrorHosts.fetch_or(1u << (host - 1));
}

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
    if (isCancelled(group)) return StepResult{StepOutcome::Stopped, 0, 0, entry.path};
    // Each server in turn under the whole-file policy; the connection belongs to the configured one.
    size_t from = 0;
    result = acrossHosts(
        group.run.hosts, group.run.session, group.run.log, entry.path,
        [&](const HttpSession& host, size_t index) {
            StepResult tried{StepOutcome::Stopped, 0, 0, entry.path};
            runAttempts(run.settings.wholeFile, group.stop, [&](int attempt) {
                tried = downloadToTemp(group, index == 0 ? connection : nullptr, entry, item.temp.get(),
                                       &item.receivedBytes, &host);
                if (!isRetriedAttempt(tried.outcome)) return false;
                logLine(group.run.log, "indirilemedi (%d) %s, deneme %d", attemptLogCode(tried.outcome),
                        toUtf8(entry.path).c_str(), attempt);
                return true;
            });
            return tried;
        },
        from);
    if (result.ok()) {
        noteMirror(item, from);
        return commitFile(run, item);
    }
    // The run's end removes the temp file of a cancelled transfer.
    if (isCancelled(group)) return StepResult{StepOutcome::Stopped, 0, 0, entry.path};
    if (item.temp) deleteOpenFile(item.temp);
    if (isRetriedAttempt(result.outcome)) result.outcome = StepOutcome::Failed;
    return result;
}

HeldFileWait heldFileWait(DownloadRun& run) {
    return HeldFileWait{run.settings.heldFile, run.transfers.stop, run.transfers.run.log,
                        fullPath(run.settings.rootFolder, kGameFileName)};
}

StepResult commitFile(DownloadRun& run, DownloadItem& item) {
    const ManifestEntry& entry = *item.entry;
    // A read-only target would refuse to be replaced.
    SetFileAttributesW(item.targetPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    // The file verified is the file moved: no other program could write it since it was created,
    // and the move goes through the handle that created it, not through its name.
    // A program that holds the old file for a moment (a scanner) is waited out.
    HeldOutcome moved = retryWhileHeld(heldFileWait(run), HoldKind::Move, entry.path, [&] {
        return item.temp ? renameOpenFile(item.temp.get(), item.targetPath)
                         : static_cast<DWORD>(ERROR_INVALID_HANDLE);
    });
    // The run's end removes the temp file of a stopped commit.
    if (moved.stopped) return StepResult{StepOutcome::Stopped, 0, 0, entry.path};
    if (DWORD error = moved.error) {
        if (item.temp) deleteOpenFile(item.temp);
        bool locked = isHoldError(error, HoldKind::Move);
        return StepResult{locked ? StepOutcome::Locked : StepOutcome::WriteFailed, error, 0, entry.path};
    }

    // The cache vouches for what the handle holds, not for whatever lies under the name afterwards.
    HashCacheEntry cached;
    bool readBack = holdFileStamp(item.temp.get(), cached.size, cached.mtime);
    item.temp.reset();
    std::string suffix;
    if (item.chunkCount > 0) suffix = ", " + std::to_string(item.chunkCount) + " parca";
    suffix += item.logNote;
    logLine(run.transfers.run.log, "indirildi %s (%llu bayt%s)%s", toUtf8(entry.path).c_str(),
            static_cast<unsigned long long>(entry.size), suffix.c_str(),
            mirrorsNamed(run.transfers.run.hosts, item).c_str());

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
