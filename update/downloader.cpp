#include "update/downloader.h"

#include "base/file.h"

#include <algorithm>
#include <mutex>
#include <numeric>
#include <system_error>
#include <thread>

#include "update/file_commit.h"
#include "base/handles.h"
#include "update/manifest.h"
#include "update/manifest_fetch.h"
#include "base/text.h"
#include "update/update_log.h"
#include "update/updater.h"

namespace {

bool cancelled(const Updater& u) {
    return u.stopRequested.load() || u.abortDownloads.load();
}

bool isDiskFull(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

std::string relativeUtf8(const DownloadItem& item) {
    return toUtf8(item.entry->path);
}

bool shouldSplit(const Updater& u, uint64_t size) {
    return u.config.connectionCount > 1 && size > kSplitThreshold;
}

// Removes the ".indir" files of items that never reached their place, also when the run is left
// through an exception.
struct TempFileGuard {
    Updater& u;
    DownloadRun& run;
    ~TempFileGuard() { deleteUncommittedTemps(u, run); }
};

// Creates the split file's temp file at its full size, so ranges can land in any order and a full
// disk (on file systems that allocate eagerly) shows before the first request. 0 or the system error.
DWORD preallocateTemp(const DownloadItem& item) {
    SetFileAttributesW(item.tempPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    UniqueFile file(CreateFileW(item.tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(item.entry->size);
    if (!SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get()))
        return GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    return 0;
}

// The worker that sees a split file's last range end either commits the assembled file or, when a
// range failed, was skipped or the result does not match, fetches the whole file in one stream.
bool hashUntilCancelled(void* context, uint64_t) {
    return !cancelled(*static_cast<Updater*>(context));
}

int finishSplitFile(Updater& u, HINTERNET connection, DownloadItem& item, DownloadRun& run) {
    if (!item.failed.load() && !u.rangeRefused.load()) {
        // Hashing a file of gigabytes takes seconds; a stop must not wait for it.
        std::string hash = hashFile(item.tempPath, hashUntilCancelled, &u);
        if (cancelled(u)) return 0;
        if (hash == item.entry->hash) return commitFile(u, item, run);
    }
    logLine(u, "parcali indirme tutmadi, tek akisla yeniden: %s", relativeUtf8(item).c_str());
    return downloadWhole(u, connection, item, run);
}

int runJob(Updater& u, HINTERNET connection, DownloadRun& run, const DownloadJob& job) {
    DownloadItem& item = run.items[job.itemIndex];
    if (job.chunkIndex < 0) return downloadWhole(u, connection, item, run);
    if (!item.failed.load() && !u.rangeRefused.load()) {
        int outcome = downloadChunk(u, connection, item, job);
        if (outcome != 0 && outcome != 5) {
            if (outcome == 6 && !u.rangeRefused.exchange(true))
                logLine(u, "sunucu Range vermedi (%s): buyuk dosyalar tek akisla", relativeUtf8(item).c_str());
            item.failed = true;
        }
    }
    if (item.remainingChunks.fetch_sub(1) != 1 || cancelled(u)) return 0;
    return finishSplitFile(u, connection, item, run);
}

void recordFailure(Updater& u, DownloadRun& run, int result, const DownloadItem& item) {
    if (result == 0 || run.error != 0) return;
    run.error = result;
    run.errorPath = item.entry->path;
    u.abortDownloads = true;
}

void downloadWorker(Updater& u, DownloadRun& run) {
    // One connection per worker for all its jobs; without one every request opens its own.
    UniqueInternet connection(openConnection(u));
    for (;;) {
        DownloadJob job;
        {
            std::lock_guard<std::mutex> lock(u.statusMutex);
            if (cancelled(u) || run.jobs.empty()) break;
            job = run.jobs.front();
            run.jobs.pop_front();
            ++run.items[job.itemIndex].activeWorkers;
            refreshDownloadStatus(u, run);
        }
        int result = runJob(u, connection.get(), run, job);
        std::lock_guard<std::mutex> lock(u.statusMutex);
        DownloadItem& item = run.items[job.itemIndex];
        --item.activeWorkers;
        recordFailure(u, run, result, item);
        refreshDownloadStatus(u, run);
    }
}

// No exception may leave a download thread: the first one stops the others and is rethrown by the
// calling thread after the join, where the temp-file guard cleans up.
void downloadWorkerEntry(Updater& u, DownloadRun& run) {
    try {
        downloadWorker(u, run);
    } catch (...) {
        std::lock_guard<std::mutex> lock(u.statusMutex);
        if (!run.failure) run.failure = std::current_exception();
        u.abortDownloads = true;
    }
}

void runWorkers(Updater& u, DownloadRun& run, int workers) {
    std::vector<std::thread> threads;
    threads.reserve(static_cast<size_t>(workers));
    for (int i = 0; i < workers; ++i) {
        try {
            threads.emplace_back(downloadWorkerEntry, std::ref(u), std::ref(run));
        } catch (const std::system_error&) {
            break;  // the threads already running share the queue
        }
    }
    if (threads.empty()) downloadWorkerEntry(u, run);
    for (std::thread& t : threads)
        t.join();
}

}  // namespace

void refreshDownloadStatus(Updater& u, DownloadRun& run) {
    for (const DownloadItem& item : run.items) {
        if (item.activeWorkers > 0) {
            u.status.detailText = item.entry->path;
            break;
        }
    }
    u.status.filesDone = std::min(static_cast<int>(run.items.size()), run.finished + 1);
    u.status.filesUpdated = run.finished;
}

void deleteUncommittedTemps(Updater& u, DownloadRun& run) {
    std::vector<const std::wstring*> paths;
    {
        std::lock_guard<std::mutex> lock(u.statusMutex);
        for (const DownloadItem& item : run.items)
            if (!item.committed && !item.tempPath.empty()) paths.push_back(&item.tempPath);
    }
    for (const std::wstring* path : paths) {
        SetFileAttributesW(path->c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path->c_str());
    }
}

bool planDownloadItems(Updater& u, const Manifest& manifest, const std::vector<uint32_t>& indices,
                       DownloadRun& run) {
    std::vector<uint32_t> order = indices;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return manifest.entries[a].size > manifest.entries[b].size;
    });
    // DownloadItem holds atomics and cannot move, so the vector is sized once.
    run.items = std::vector<DownloadItem>(order.size());
    run.totalBytes = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        const ManifestEntry& entry = manifest.entries[order[i]];
        DownloadItem& item = run.items[i];
        item.entry = &entry;
        item.targetPath = gameFilePath(u, entry.path);
        item.tempPath = item.targetPath + L".indir";

        size_t slash = item.targetPath.rfind(L'\\');
        if (slash != std::wstring::npos && slash > u.rootFolder.size())
            createFolderTree(item.targetPath.substr(0, slash));

        // The game holds its files open without sharing; finding that out now, before anything is
        // fetched, keeps the folder as it was.
        UniqueFile probe(CreateFileW(item.targetPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD error = probe ? 0 : GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
            reportError(u, ErrorKind::FileLocked, entry.path);
            return false;
        }
        run.totalBytes += entry.size;
    }
    return true;
}

bool queueDownloadJobs(Updater& u, DownloadRun& run) {
    run.splitFiles = 0;
    for (size_t i = 0; i < run.items.size(); ++i) {
        DownloadItem& item = run.items[i];
        uint64_t size = item.entry->size;
        if (!shouldSplit(u, size)) {
            run.jobs.push_back(DownloadJob{static_cast<int>(i), -1, 0, 0});
            continue;
        }
        if (DWORD error = preallocateTemp(item)) {
            DeleteFileW(item.tempPath.c_str());
            SetLastError(error);
            reportError(u, isDiskFull(error) ? ErrorKind::DiskFull : ErrorKind::FileWrite, item.entry->path);
            deleteUncommittedTemps(u, run);
            return false;
        }
        int chunks = static_cast<int>((size + kRangeSize - 1) / kRangeSize);
        item.chunkCount = chunks;
        item.remainingChunks = chunks;
        for (int c = 0; c < chunks; ++c) {
            uint64_t offset = static_cast<uint64_t>(c) * kRangeSize;
            run.jobs.push_back(
                DownloadJob{static_cast<int>(i), c, offset, std::min(kRangeSize, size - offset)});
        }
        ++run.splitFiles;
    }
    return true;
}

int downloadChunk(Updater& u, HINTERNET connection, DownloadItem& item, const DownloadJob& job) {
    for (int attempt = 1;; ++attempt) {
        if (cancelled(u)) return 5;
        if (item.failed.load()) return 1;
        UniqueFile file(CreateFileW(item.tempPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return 3;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(job.offset);
        if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return 3;
        WriteSink sink;
        sink.file = file.get();
        sink.updater = &u;
        sink.fileCounter = &item.receivedBytes;
        sink.limit = job.length;
        int status = httpGet(u, connection, objectPath(item.entry->hash), writeSinkCallback, &sink, job.offset,
                         job.length);
        file.reset();
        if (status == 206 && sink.writeError == 0 && sink.written == job.length) return 0;

        takeBackBytes(u, &item.receivedBytes, sink.written);
        if (cancelled(u)) return 5;
        if (sink.writeError) return isDiskFull(sink.writeError) ? 4 : 3;
        if (status == 200) return 6;
        logLine(u, "parca %d/%d inmedi (HTTP %d, %llu/%llu bayt) %s, deneme %d", job.chunkIndex + 1,
            item.chunkCount, status, static_cast<unsigned long long>(sink.written),
            static_cast<unsigned long long>(job.length), relativeUtf8(item).c_str(), attempt);
        pauseSeconds(u, attempt);
        if (attempt == 3) return cancelled(u) ? 5 : 1;
    }
}

bool runDownloader(Updater& u, const Manifest& manifest, const std::vector<uint32_t>& indices,
                   HashCache& cache) {
    DownloadRun run;
    run.cache = &cache;
    TempFileGuard guard{u, run};
    if (!planDownloadItems(u, manifest, indices, run)) return false;
    if (!queueDownloadJobs(u, run)) return false;

    u.rangeRefused = false;
    u.abortDownloads = false;
    u.bytesReceived = 0;
    {
        std::lock_guard<std::mutex> lock(u.statusMutex);
        StatusSnapshot& s = u.status;
        s.phase = UpdatePhase::Downloading;
        s.errorCode = ErrorKind::None;
        s.detailText = run.items.empty() ? std::wstring() : run.items.front().entry->path;
        s.filesDone = 1;
        s.filesTotal = static_cast<int>(run.items.size());
        s.bytesTotal = run.totalBytes;
        s.bytesDone = 0;
        s.bytesPerSecond = 0;
        s.filesUpdated = 0;
        u.lastSampleTick = GetTickCount();
        u.lastSampleBytes = 0;
    }
    int workers = static_cast<int>(std::min<size_t>(run.jobs.size(), std::max(1, u.config.connectionCount)));
    logLine(u, "indirme: %u dosya (%d parcali), %llu bayt, %d baglanti", static_cast<unsigned>(run.items.size()),
        run.splitFiles, static_cast<unsigned long long>(run.totalBytes), workers);
    ULONGLONG startTick = GetTickCount64();
    runWorkers(u, run, workers);
    if (run.failure) std::rethrow_exception(run.failure);

    if (u.stopRequested.load()) return false;
    if (run.error != 0) {
        reportError(u, static_cast<ErrorKind>(run.error), run.errorPath);
        return false;
    }
    ULONGLONG elapsed = GetTickCount64() - startTick;
    double average = elapsed ? run.totalBytes / 1048576.0 * 1000.0 / static_cast<double>(elapsed) : 0.0;
    logLine(u, "indirme bitti: %.1f sn, ortalama %.2f MB/sn", elapsed / 1000.0, average);
    return true;
}
