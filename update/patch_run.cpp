#include "update/patch_run.h"

#include <thread>

#include "base/contained_path.h"
#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/sha256.h"
#include "base/text.h"
#include "net/http_client.h"
#include "protocol/manifest.h"
#include "protocol/object_path.h"
#include "update/download_jobs.h"
#include "update/file_commit.h"
#include "update/live_status.h"
#include "update/object_hosts.h"
#include "update/range_fetch.h"
#include "update/seed_scan.h"
#include "update/transfer.h"
#include "update/update_log.h"

namespace {

std::string pathUtf8(const DownloadItem& item) {
    return toUtf8(item.entry->path);
}

bool patchStopped(void* context) {
    const PatchState& state = *static_cast<const PatchState*>(context);
    return isCancelled(state.run->transfers) || state.item->patchFailed.load();
}

void countBytes(PatchState& state, std::atomic<uint64_t>& part, int64_t bytes) {
    TransferGroup& group = state.run->transfers;
    if (bytes < 0) {
        part.fetch_sub(static_cast<uint64_t>(-bytes));
        takeBackBytes(group, &state.item->receivedBytes, static_cast<uint64_t>(-bytes));
        return;
    }
    part.fetch_add(static_cast<uint64_t>(bytes));
    state.item->receivedBytes.fetch_add(static_cast<uint64_t>(bytes));
    group.bytesReceived.fetch_add(static_cast<uint64_t>(bytes));
    reportProgress(group.run.status, group.bytesReceived);
}

// What the disk gave counts as progress as the server's bytes do: the file is done at the same
// point either way.
void countDiskBytes(void* context, uint64_t bytes) {
    PatchState& state = *static_cast<PatchState*>(context);
    countBytes(state, state.diskBytes, static_cast<int64_t>(bytes));
}

void countServerBytes(void* context, int64_t bytes) {
    PatchState& state = *static_cast<PatchState*>(context);
    countBytes(state, state.serverBytes, bytes);
}

PatchCallbacks callbacksOf(PatchState& state) {
    return PatchCallbacks{patchStopped, countDiskBytes, &state};
}

void endOpenPatch(DownloadRun& run) {
    std::lock_guard<std::mutex> lock(run.lock);
    --run.openPatches;
    run.jobsChanged.notify_all();
}

// The index the list names for the file, fetched whole (no larger than the list says), checked
// against its hash and read for a file of the listed size. Empty `why` on success.
std::string fetchChunkIndex(DownloadRun& run, HINTERNET connection, const DownloadItem& item,
                            PatchState& state) {
    const ChunkIndexRef& ref = *item.chunkIndex;
    if (ref.size > chunkIndexSize(kMaxIndexChunks)) return "liste cok buyuk bir dizin adliyor";
    TransferGroup& group = run.transfers;
    std::string bytes;
    HttpResult http{};
    runAttempts(run.settings.range, group.stop, [&](int) {
        bytes.clear();
        BodyCollector collector{&bytes, &group.stop, static_cast<size_t>(ref.size)};
        http = httpGet(group.run.session, connection, objectPath(ref.hash), collectBody, &collector, 0, 0,
                       group.budget);
        // A body longer than listed is refused as it arrives; a 404 will not change on a retry.
        return !http.delivered(200) && !http.sinkRefused && http.status != 404 && !isCancelled(group);
    });
    if (!http.delivered(200)) return "alinamadi (HTTP " + std::to_string(http.status) + ")";
    if (bytes.size() != ref.size) return "boyu listedekinden farkli";
    Sha256 hasher;
    hasher.add(bytes.data(), bytes.size());
    if (hasher.finishHex() != ref.hash) return "ozeti tutmadi";
    ChunkIndexFault fault = parseChunkIndex(bytes, item.entry->size, state.index);
    if (fault != ChunkIndexFault::None) return chunkIndexFaultText(fault);
    state.indexBytes = bytes.size();
    return {};
}

// A temp file an earlier run left, opened to be assembled in place: only a plain file of one name,
// reached with no link on the way, that no other program may write while it is open. False when
// there is none (or it is anything else); the caller then starts a new one.
bool openKeptTemp(const ContainedRoot& root, const DownloadItem& item, UniqueFile& file) {
    const std::wstring relative = item.entry->path + kDownloadSuffix;
    file.reset(CreateFileW(fullPath(root.folder, relative).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                           FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain = GetFileInformationByHandle(file.get(), &info) &&
                       !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
                       info.nNumberOfLinks == 1 && isFileReachedPlainly(root, relative, file.get());
    if (!plain) file.reset();
    return plain;
}

DWORD setLength(HANDLE file, uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) ? 0 : lastErrorOr();
}

// The file goes to the whole-file download: in this call as one stream (a server that ignores
// ranges, a file too small to split), or as the stage's ranges for the workers to take.
StepResult fallBack(DownloadRun& run, HINTERNET connection, int itemIndex) {
    DownloadItem& item = run.items[static_cast<size_t>(itemIndex)];
    item.patchFailed = true;
    if (isCancelled(run.transfers)) {
        endOpenPatch(run);
        return StepResult{StepOutcome::Stopped, 0, 0, item.entry->path};
    }
    if (run.rangeRefused.load() || !shouldSplit(run.settings, item.entry->size)) {
        endOpenPatch(run);
        return downloadWhole(run, connection, item);
    }
    // Bytes that the patch put into the progress no longer count.
    takeBackBytes(run.transfers, nullptr, item.receivedBytes.exchange(0));
    if (item.temp) deleteOpenFile(item.temp);
    std::lock_guard<std::mutex> lock(run.lock);
    StepResult queued = queueItemJobs(run, static_cast<size_t>(itemIndex));
    --run.openPatches;
    run.jobsChanged.notify_all();
    return queued;
}

// The file's last job: the assembled file is moved into place when its SHA-256 is the list's,
// otherwise fetched whole.
StepResult finishPatch(DownloadRun& run, HINTERNET connection, PatchState& state) {
    DownloadItem& item = *state.item;
    const std::string hash = patchCursorHash(*state.cursor);
    if (isCancelled(run.transfers)) {
        endOpenPatch(run);
        return StepResult{StepOutcome::Stopped, 0, 0, item.entry->path};
    }
    if (!item.patchFailed.load() && hash == item.entry->hash) {
        endOpenPatch(run);
        if (!FlushFileBuffers(item.temp.get())) return fileFailure(lastErrorOr(), item.entry->path);
        item.logNote = ", diskten " + std::to_string(state.diskBytes.load()) + ", sunucudan " +
                       std::to_string(state.serverBytes.load()) + " bayt, parca dizini " +
                       std::to_string(state.indexBytes) + " bayt";
        return commitFile(run, item);
    }
    if (!item.patchFailed.load()) {
        DWORD error = 0;
        {
            std::lock_guard<std::mutex> guard(state.cursor->lock);
            error = state.cursor->error;
        }
        // A plan given up for too little on disk has said so already.
        if (error != ERROR_SUCCESS || !hash.empty())
            logLine(run.transfers.run.log, "yama tutmadi %s (%lu), tek parca indirilecek",
                    pathUtf8(item).c_str(), static_cast<unsigned long>(error));
    }
    return fallBack(run, connection, state.itemIndex);
}

// Reads the seeds and hands the plan to the cursor; the missing ranges become jobs of the stage.
void scanSeeds(PatchState& state) {
    DownloadRun& run = *state.run;
    DownloadItem& item = *state.item;
    PatchScan scan;
    try {
        scan = planFromSeeds(*state.cursor, state.index, item.tempPath, item.targetPath,
                             run.settings.connectionCount, patchStopped, &state);
    } catch (...) {
        // Nothing may wait for a plan that never comes; the whole-file download follows.
        abandonPatchPlan(*state.cursor, ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    if (scan.stopped) return;
    logLine(run.transfers.run.log, "yama %s: diskte %llu bayt (%llu yerinde), sunucudan %llu bayt, %u aralik",
            pathUtf8(item).c_str(), static_cast<unsigned long long>(scan.keptBytes + scan.copiedBytes),
            static_cast<unsigned long long>(scan.keptBytes), static_cast<unsigned long long>(scan.fetchBytes),
            static_cast<unsigned>(scan.ranges.size()));
    if (!scan.worthwhile) {
        logLine(run.transfers.run.log, "yama yaramaz %s: diskteki pay az, tek parca indirilecek",
                pathUtf8(item).c_str());
        return;
    }
    std::lock_guard<std::mutex> lock(run.lock);
    state.ranges = std::move(scan.ranges);
    for (size_t r = 0; r < state.ranges.size(); ++r)
        run.jobs.push_back(DownloadJob{state.itemIndex, static_cast<int>(r), state.ranges[r].offset,
                                       state.ranges[r].length, true});
    run.jobsChanged.notify_all();
}

StepResult startPatch(DownloadRun& run, HINTERNET connection, int itemIndex) {
    DownloadItem& item = run.items[static_cast<size_t>(itemIndex)];
    // Pieces come from the configured server only; when it has been passed over as down, the whole
    // file from the next server beats paying its retries first.
    const ObjectHosts& hosts = run.transfers.run.hosts;
    const bool serverDown = !hosts.hosts.empty() && hosts.hosts[0]->passedOver.load();
    if (run.rangeRefused.load() || isCancelled(run.transfers) || serverDown)
        return fallBack(run, connection, itemIndex);
    auto state = std::make_shared<PatchState>();
    state->run = &run;
    state->item = &item;
    state->itemIndex = itemIndex;
    std::string why = fetchChunkIndex(run, connection, item, *state);
    if (!why.empty()) {
        if (!isCancelled(run.transfers))
            logLine(run.transfers.run.log, "parca dizini kullanilamadi %s: %s, tek parca indirilecek",
                    pathUtf8(item).c_str(), why.c_str());
        return fallBack(run, connection, itemIndex);
    }
    if (!openKeptTemp(run.root, item, item.temp)) {
        StepResult opened =
            openTempFile(run.root, item.entry->path + kDownloadSuffix, item.entry->path, item.temp);
        if (!opened.ok()) {
            endOpenPatch(run);
            return opened;
        }
    }
    if (DWORD error = setLength(item.temp.get(), item.entry->size)) {
        endOpenPatch(run);
        deleteOpenFile(item.temp);
        return fileFailure(error, item.entry->path);
    }
    state->cursor = std::make_unique<PatchCursor>(
        item.tempPath, std::vector<std::wstring>{item.tempPath, item.targetPath}, item.temp.get());
    {
        std::lock_guard<std::mutex> lock(run.lock);
        item.patch = state;
    }
    // The seeds are read on a thread of their own while this one assembles what they are found to
    // hold, in file order, into the file's SHA-256.
    std::thread scanner;
    try {
        scanner = std::thread(scanSeeds, std::ref(*state));
    } catch (const std::system_error&) {
        scanSeeds(*state);
    }
    const bool last = settlePatchRange(*state->cursor, -1, false, callbacksOf(*state));
    if (scanner.joinable()) scanner.join();
    if (!last) return StepResult{};
    return finishPatch(run, connection, *state);
}

// One range of the file's object into the temp file, every chunk checked before it is written:
// Done, Stopped, RangeIgnored, Mismatch (a chunk failed its check), WriteFailed/DiskFull, or Failed
// after the range policy's attempts.
StepResult fetchPatchRange(DownloadRun& run, HINTERNET connection, PatchState& state,
                           const FetchRange& range) {
    TransferGroup& group = run.transfers;
    const std::wstring& path = state.item->entry->path;
    StepResult result{StepOutcome::Stopped, 0, 0, path};
    runAttempts(run.settings.range, group.stop, [&](int attempt) {
        ChunkCheckSink sink(state.item->temp.get(), state.index, range);
        sink.stop = patchStopped;
        sink.count = countServerBytes;
        sink.context = &state;
        HttpResult http = httpGet(group.run.session, connection, objectPath(state.item->entry->hash),
                                  chunkCheckSinkCallback, &sink, range.offset, range.length, group.budget);
        if (http.delivered(206) && sink.complete()) {
            result = StepResult{StepOutcome::Done, 0, 206, path};
            return false;
        }
        countServerBytes(&state, -static_cast<int64_t>(sink.received));
        if (patchStopped(&state)) {
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
        if (sink.mismatch) {
            result = StepResult{StepOutcome::Mismatch, 0, http.status, path};
            return false;
        }
        logLine(group.run.log, "yama araligi inmedi (HTTP %d, %llu/%llu bayt) %s, deneme %d", http.status,
                static_cast<unsigned long long>(sink.received), static_cast<unsigned long long>(range.length),
                pathUtf8(*state.item).c_str(), attempt);
        result = StepResult{StepOutcome::Failed, http.systemError, http.status, path};
        return true;
    });
    if (result.outcome == StepOutcome::Failed && isCancelled(group))
        return StepResult{StepOutcome::Stopped, 0, 0, path};
    return result;
}

StepResult runPatchRange(DownloadRun& run, HINTERNET connection, const DownloadJob& job) {
    DownloadItem& item = run.items[static_cast<size_t>(job.itemIndex)];
    PatchState& state = *item.patch;
    bool arrived = false;
    if (!patchStopped(&state) && !run.rangeRefused.load()) {
        StepResult range =
            fetchPatchRange(run, connection, state, state.ranges[static_cast<size_t>(job.chunkIndex)]);
        arrived = range.ok();
        if (!arrived && range.outcome != StepOutcome::Stopped) {
            if (range.outcome == StepOutcome::RangeIgnored) {
                if (!run.rangeRefused.exchange(true))
                    logLine(run.transfers.run.log, "sunucu Range vermedi (%s): buyuk dosyalar tek akisla",
                            pathUtf8(item).c_str());
            } else if (range.outcome == StepOutcome::Mismatch) {
                logLine(run.transfers.run.log,
                        "yama parcasi tutmadi %s (%llu. bayttan), tek parca indirilecek",
                        pathUtf8(item).c_str(), static_cast<unsigned long long>(job.offset));
            } else {
                logLine(run.transfers.run.log, "yama araligi alinamadi %s, tek parca indirilecek",
                        pathUtf8(item).c_str());
            }
            item.patchFailed = true;
        }
    }
    if (!settlePatchRange(*state.cursor, job.chunkIndex, arrived, callbacksOf(state))) return StepResult{};
    return finishPatch(run, connection, state);
}

}  // namespace

void choosePatches(DownloadRun& run, const Manifest& manifest) {
    for (DownloadItem& item : run.items) {
        const ChunkIndexRef* ref = chunkIndexFor(manifest, item.entry->hash);
        if (!ref || item.entry->size < kChunkIndexThreshold) continue;
        item.chunkIndex = ref;
        uint64_t size = 0;
        item.patchable =
            (fileSize(item.targetPath, size) && size > 0) || (fileSize(item.tempPath, size) && size > 0);
    }
}

StepResult runPatchJob(DownloadRun& run, HINTERNET connection, const DownloadJob& job) {
    if (job.chunkIndex < 0) return startPatch(run, connection, job.itemIndex);
    return runPatchRange(run, connection, job);
}

bool keepsTempForPatch(const Manifest& manifest, const std::wstring& relativeTemp) {
    const size_t suffix = std::wstring_view(kDownloadSuffix).size();
    if (relativeTemp.size() <= suffix) return false;
    auto found = manifest.pathIndex.find(pathKey(relativeTemp.substr(0, relativeTemp.size() - suffix)));
    if (found == manifest.pathIndex.end()) return false;
    const ManifestEntry& entry = manifest.entries[found->second];
    return entry.size >= kChunkIndexThreshold && chunkIndexFor(manifest, entry.hash) != nullptr;
}
