#include "update/downloader.h"

#include <algorithm>
#include <memory>
#include <chrono>
#include <set>
#include <system_error>
#include <thread>

#include "base/contained_path.h"
#include "base/file.h"
#include "base/handles.h"
#include "base/path_identity.h"
#include "base/text.h"
#include "net/http_client.h"
#include "protocol/manifest.h"
#include "protocol/object_path.h"
#include "protocol/temp_journal.h"
#include "update/disk_room.h"
#include "update/download_jobs.h"
#include "update/file_commit.h"
#include "update/held_file.h"
#include "update/live_status.h"
#include "update/patch_run.h"
#include "update/transfer.h"
#include "update/update_log.h"
#include "update/updater.h"

namespace {

std::string relativeUtf8(const DownloadItem& item) {
    return toUtf8(item.entry->path);
}

// Removes the ".indir" files of items that never reached their place, also when the run is left
// through an exception; the journal keeps only what could not be removed.
struct TempFileGuard {
    DownloadRun& run;
    ~TempFileGuard() {
        deleteUncommittedTemps(run);
        closeTempJournal(run.settings.rootFolder);
    }
};

// Before the first temp file exists: a process ended in the middle of the stage leaves the names
// for the next run to clean up.
void journalTempFiles(const DownloadRun& run) {
    std::vector<std::wstring> temps;
    for (const DownloadItem& item : run.items)
        temps.push_back(item.entry->path + kDownloadSuffix);
    writeTempJournal(run.settings.rootFolder, temps);
}

// What a split file's hashing watches: the run and the file it belongs to.
struct CursorWatch {
    DownloadRun& run;
    DownloadItem& item;
};

bool cursorStopped(void* context) {
    const CursorWatch& watch = *static_cast<const CursorWatch*>(context);
    return isCancelled(watch.run.transfers) || watch.item.failed.load() || watch.run.rangeRefused.load();
}

// Once every range has ended and the cursor is idle, one thread either commits the assembled file
// or, when a range failed, was skipped or the hash does not match, fetches it whole in one stream.
StepResult finishSplitFile(DownloadRun& run, HINTERNET connection, DownloadItem& item) {
    if (isCancelled(run.transfers)) return StepResult{StepOutcome::Stopped, 0, 0, item.entry->path};
    if (!item.failed.load() && !run.rangeRefused.load() && cursorHash(*item.cursor) == item.entry->hash) {
        // Every range was flushed as it completed; this last flush is what the commit relies on.
        if (!FlushFileBuffers(item.temp.get())) return fileFailure(lastErrorOr(), item.entry->path);
        return commitFile(run, item);
    }
    logLine(run.transfers.run.log, "parcali indirme tutmadi, tek akisla yeniden: %s",
            relativeUtf8(item).c_str());
    return downloadWhole(run, connection, item);
}

StepResult runJob(DownloadRun& run, HINTERNET connection, const DownloadJob& job) {
    if (job.patch) return runPatchJob(run, connection, job);
    DownloadItem& item = run.items[job.itemIndex];
    if (job.chunkIndex < 0) return downloadWhole(run, connection, item);
    bool arrived = false;
    if (!item.failed.load() && !run.rangeRefused.load()) {
        StepResult range = downloadChunk(run, connection, item, job);
        arrived = range.ok();
        if (!range.ok() && range.outcome != StepOutcome::Stopped) {
            if (range.outcome == StepOutcome::RangeIgnored && !run.rangeRefused.exchange(true))
                logLine(run.transfers.run.log, "sunucu Range vermedi (%s): buyuk dosyalar tek akisla",
                        relativeUtf8(item).c_str());
            item.failed = true;
        }
    }
    // The ranges are hashed in order on whichever worker finds the next one in the file; the file
    // is finished by the worker that leaves the cursor idle after the last range has ended.
    CursorWatch watch{run, item};
    if (!settleRange(*item.cursor, job.chunkIndex, arrived, cursorStopped, &watch)) return StepResult{};
    return finishSplitFile(run, connection, item);
}

// Caller holds run.lock.
void recordFailure(DownloadRun& run, const StepResult& result) {
    if (result.ok() || result.outcome == StepOutcome::Stopped || !run.firstFailure.ok()) return;
    run.firstFailure = result;
    abortGroup(run.transfers);
}

// A range may start unless its file's hashing trails it by a whole window; a file that has failed
// lets its ranges through at once, since they end without a transfer.
bool jobMayStart(DownloadRun& run, const DownloadJob& job, int window) {
    if (job.chunkIndex < 0 || job.patch) return true;
    DownloadItem& item = run.items[job.itemIndex];
    return item.failed.load() || run.rangeRefused.load() ||
           rangeMayStart(*item.cursor, job.chunkIndex, window);
}

// Takes the first job that may start. When every queued one is held back, `held` is the first of
// them, to wait on. Caller holds run.lock.
bool takeJob(DownloadRun& run, int window, DownloadJob& job, const DownloadJob*& held) {
    held = nullptr;
    for (auto it = run.jobs.begin(); it != run.jobs.end(); ++it) {
        if (!jobMayStart(run, *it, window)) {
            if (!held) held = &*it;
            continue;
        }
        job = *it;
        run.jobs.erase(it);
        return true;
    }
    return false;
}

void downloadWorker(DownloadRun& run) {
    // One connection per worker for all its jobs; without one every request opens its own.
    UniqueInternet connection = openConnection(run.transfers.run.session);
    const int window = std::max(1, run.settings.connectionCount) + kHashWindowExtra;
    for (;;) {
        DownloadJob job;
        DownloadJob wait;
        bool taken = false;
        {
            std::unique_lock<std::mutex> lock(run.lock);
            if (isCancelled(run.transfers)) break;
            if (run.jobs.empty()) {
                if (run.openPatches == 0) break;
                // A patch still reading its seeds adds its ranges when its plan is complete.
                run.jobsChanged.wait_for(lock, std::chrono::milliseconds(50));
                continue;
            }
            const DownloadJob* held = nullptr;
            taken = takeJob(run, window, job, held);
            if (taken) {
                ++run.items[job.itemIndex].activeWorkers;
                refreshDownloadStatus(run);
            } else {
                wait = *held;
            }
        }
        if (!taken) {
            // 50 ms steps keep a stop request honoured well within 100 ms.
            waitForRange(*run.items[wait.itemIndex].cursor, wait.chunkIndex, window, 50);
            continue;
        }
        StepResult result = runJob(run, connection.get(), job);
        std::lock_guard<std::mutex> lock(run.lock);
        --run.items[job.itemIndex].activeWorkers;
        recordFailure(run, result);
        refreshDownloadStatus(run);
    }
}

// No exception may leave a download thread: the first one stops the others and is rethrown by the
// calling thread after the join, where the temp-file guard cleans up.
void downloadWorkerEntry(DownloadRun& run) {
    try {
        downloadWorker(run);
    } catch (...) {
        std::lock_guard<std::mutex> lock(run.lock);
        if (!run.failure) run.failure = std::current_exception();
        abortGroup(run.transfers);
    }
}

void runWorkers(DownloadRun& run, int workers) {
    std::vector<std::thread> threads;
    threads.reserve(static_cast<size_t>(workers));
    for (int i = 0; i < workers; ++i) {
        try {
            threads.emplace_back(downloadWorkerEntry, std::ref(run));
        } catch (const std::system_error&) {
            break;  // the threads already running share the queue
        }
    }
    if (threads.empty()) downloadWorkerEntry(run);
    for (std::thread& t : threads)
        t.join();
}

}  // namespace

void refreshDownloadStatus(DownloadRun& run) {
    LiveStatus& status = run.transfers.run.status;
    const std::wstring* current = nullptr;
    for (const DownloadItem& item : run.items) {
        if (item.activeWorkers > 0) {
            current = &item.entry->path;
            break;
        }
    }
    int reached = std::min(static_cast<int>(run.items.size()), run.finished + 1);
    setCurrentFile(status, current ? *current : std::wstring(), reached);
    setFilesUpdated(status, run.finished);
}

void deleteUncommittedTemps(DownloadRun& run) {
    std::vector<DownloadItem*> left;
    {
        std::lock_guard<std::mutex> lock(run.lock);
        for (DownloadItem& item : run.items)
            if (!item.committed && item.temp) left.push_back(&item);
    }
    // The workers have ended: each handle still open is the one temp file it created. A file that
    // can be patched keeps its temp file for the next run to go on from.
    for (DownloadItem* item : left) {
        if (item->chunkIndex)
            item->temp.reset();
        else
            deleteOpenFile(item->temp);
    }
}

StepResult planDownloadItems(DownloadRun& run, const Manifest& manifest,
                             const std::vector<uint32_t>& indices) {
    const std::wstring& root = run.settings.rootFolder;
    std::vector<uint32_t> order = indices;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return manifest.entries[a].size > manifest.entries[b].size;
    });
    // DownloadItem holds atomics and cannot move, so the vector is sized once.
    run.items = std::vector<DownloadItem>(order.size());
    run.totalBytes = 0;
    run.root = resolveRoot(root);
    std::set<std::wstring> madeFolders;
    for (size_t i = 0; i < order.size(); ++i) {
        const ManifestEntry& entry = manifest.entries[order[i]];
        DownloadItem& item = run.items[i];
        item.entry = &entry;
        item.targetPath = fullPath(root, entry.path);
        item.tempPath = item.targetPath + kDownloadSuffix;

        // The folder is made, or found, only along a road without junctions or links, and once.
        const size_t slash = entry.path.find_last_of(L"/\\");
        const std::wstring folder =
            slash == std::wstring::npos ? std::wstring() : entry.path.substr(0, slash);
        if (!folder.empty() && madeFolders.insert(pathKey(folder)).second) {
            if (DWORD error = createFolderBelow(run.root, folder)) {
                if (error == kLinkOnTheWay)
                    logLine(run.transfers.run.log, "baglanti uzerinden yazilmaz: %s",
                            toUtf8(entry.path).c_str());
                return StepResult{StepOutcome::WriteFailed, error, 0, entry.path};
            }
        }

        // The game holds its files open without sharing; finding that out now, before anything is
        // fetched, keeps the folder as it was. Other programs hold a file only for a moment.
        HeldOutcome probe = retryWhileHeld(heldFileWait(run), HoldKind::Probe, entry.path, [&] {
            UniqueFile opened(CreateFileW(item.targetPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            return opened ? DWORD{0} : GetLastError();
        });
        if (probe.stopped) return StepResult{StepOutcome::Stopped, 0, 0, entry.path};
        if (isHoldError(probe.error, HoldKind::Probe))
            return StepResult{StepOutcome::Locked, probe.error, 0, entry.path};
        run.totalBytes += entry.size;
    }
    return StepResult{};
}

StepResult queueDownloadJobs(DownloadRun& run) {
    run.splitFiles = 0;
    for (size_t i = 0; i < run.items.size(); ++i) {
        if (run.items[i].patchable) {
            run.jobs.push_back(DownloadJob{static_cast<int>(i), -1, 0, 0, true});
            ++run.openPatches;
            continue;
        }
        StepResult queued = queueItemJobs(run, i);
        if (!queued.ok()) return queued;
    }
    return StepResult{};
}

namespace {

// One range from one server under the range policy.
StepResult rangeFromHost(DownloadRun& run, HINTERNET connection, const HttpSession& host, DownloadItem& item,
                         const DownloadJob& job) {
    TransferGroup& group = run.transfers;
    const std::wstring& path = item.entry->path;
    StepResult result{StepOutcome::Stopped, 0, 0, path};
    bool retried = false;
    runAttempts(run.settings.range, group.stop, [&](int attempt) {
        retried = false;
        if (item.failed.load()) {
            result = StepResult{StepOutcome::Failed, 0, 0, path};
            return false;
        }
        WriteSink sink;
        sink.file = item.temp.get();
        sink.start = job.offset;
        sink.group = &group;
        sink.fileCounter = &item.receivedBytes;
        sink.limit = job.length;
        HttpResult http = httpGet(host, connection, objectPath(item.entry->hash), writeSinkCallback, &sink,
                                  job.offset, job.length, group.budget);
        if (http.delivered(206) && sink.writeError == 0 && sink.written == job.length) {
            // Each range goes to the disk as it completes, while the transfer keeps the processors
            // busy; the flush before the commit then finds little left to write instead of the file.
            result = FlushFileBuffers(item.temp.get()) ? StepResult{StepOutcome::Done, 0, 206, path}
                                                       : fileFailure(lastErrorOr(), path);
            return false;
        }

        takeBackBytes(group, &item.receivedBytes, sink.written);
        if (isCancelled(group)) {
            result = StepResult{StepOutcome::Stopped, 0, 0, path};
            return false;
        }
        if (sink.writeError) {
            result = fileFailure(sink.writeError, path);
            return false;
        }
        if (http.status == 200) {
            result = StepResult{StepOutcome::RangeIgnored, 0, 200, path};
            return false;
        }
        logLine(group.run.log, "parca %d/%d inmedi (HTTP %d, %llu/%llu bayt) %s, deneme %d",
                job.chunkIndex + 1, item.chunkCount, http.status,
                static_cast<unsigned long long>(sink.written), static_cast<unsigned long long>(job.length),
                relativeUtf8(item).c_str(), attempt);
        result = StepResult{StepOutcome::Failed, http.systemError, http.status, path};
        retried = true;
        return true;
    });
    // A stop that ended the pauses leaves nothing to report.
    if (retried && isCancelled(group)) return StepResult{StepOutcome::Stopped, 0, 0, path};
    return result;
}

}  // namespace

StepResult downloadChunk(DownloadRun& run, HINTERNET connection, DownloadItem& item, const DownloadJob& job) {
    const RunServices& services = run.transfers.run;
    // The ranges that already arrived stay where they are: only this one moves to the next server.
    size_t from = 0;
    StepResult result = acrossHosts(
        services.hosts, services.session, services.log, item.entry->path,
        [&](const HttpSession& host, size_t index) {
            StepResult tried = rangeFromHost(run, index == 0 ? connection : nullptr, host, item, job);
            // Only the configured server's refusal of ranges concerns the
            // whole stage; a mirror that refuses them cannot serve this one.
            if (index > 0 && tried.outcome == StepOutcome::RangeIgnored) tried.outcome = StepOutcome::Failed;
            return tried;
        },
        from);
    if (result.ok()) noteMirror(item, from);
    return result;
}

DownloadSettings downloadSettings(const UpdaterConfig& config) {
    return DownloadSettings{config.rootFolder,    config.connectionCount,  config.retries.wholeFile,
                            config.retries.range, config.retries.heldFile, config.speedCapKiB};
}

StepResult runDownloader(const DownloadSettings& settings, const RunServices& services,
                         const Manifest& manifest, const std::vector<uint32_t>& indices, HashCache& cache) {
    // Before anything is requested or created: a drive too small leaves the folder untouched.
    StepResult room = checkRoomFor(settings.rootFolder, services.log, manifest, indices);
    if (!room.ok()) return room;
    DownloadRun run(settings, services);
    run.cache = &cache;
    // One budget for every connection of the stage: the cap is the players' whole line, not each
    // transfer's share of it.
    std::unique_ptr<RateBudget> budget;
    if (settings.speedCapKiB > 0) {
        budget = std::make_unique<RateBudget>(uint64_t{settings.speedCapKiB} * 1024, &run.transfers.stop);
        run.transfers.budget = budget.get();
        logLine(services.log, "hiz siniri: %u KiB/sn", settings.speedCapKiB);
    }
    TempFileGuard guard{run};
    StepResult prepared = planDownloadItems(run, manifest, indices);
    if (prepared.ok()) choosePatches(run, manifest);
    if (prepared.ok()) journalTempFiles(run);
    if (prepared.ok()) prepared = queueDownloadJobs(run);
    if (!prepared.ok()) return prepared;

    beginStage(services.status, UpdatePhase::Downloading, static_cast<int>(run.items.size()), run.totalBytes);
    setCurrentFile(services.status, run.items.empty() ? std::wstring() : run.items.front().entry->path, 1);
    // A patch adds its ranges once it knows them: every connection may get some.
    const size_t connections = static_cast<size_t>(std::max(1, settings.connectionCount));
    int workers =
        static_cast<int>(std::min(run.openPatches > 0 ? connections : run.jobs.size(), connections));
    logLine(services.log, "indirme: %u dosya (%d parcali), %llu bayt, %d baglanti",
            static_cast<unsigned>(run.items.size()), run.splitFiles,
            static_cast<unsigned long long>(run.totalBytes), workers);
    if (run.openPatches > 0)
        logLine(services.log, "diskteki kopyadan yamalanacak: %d dosya", run.openPatches);
    ULONGLONG startTick = GetTickCount64();
    runWorkers(run, workers);
    if (run.failure) std::rethrow_exception(run.failure);

    if (services.stop.requested()) return StepResult{StepOutcome::Stopped};
    if (!run.firstFailure.ok()) return run.firstFailure;
    ULONGLONG elapsed = GetTickCount64() - startTick;
    double average = elapsed ? run.totalBytes / 1048576.0 * 1000.0 / static_cast<double>(elapsed) : 0.0;
    logLine(services.log, "indirme bitti: %.1f sn, ortalama %.2f MB/sn", elapsed / 1000.0, average);
    return StepResult{};
}
