#include "update/file_commit.h"

#include <mutex>

#include "update/downloader.h"
#include "base/handles.h"
#include "update/hashing.h"
#include "update/http_client.h"
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

// A failure that leaves no error number still has to be told apart from success.
DWORD lastErrorOrWriteFault() {
    DWORD error = GetLastError();
    return error ? error : ERROR_WRITE_FAULT;
}

// Sets the end of file at `size`, then returns to the start. Linux file systems under Wine allocate
// sparsely, so a full disk usually surfaces later, at the first write past the limit.
bool preallocate(HANDLE file, uint64_t size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) return false;
    at.QuadPart = 0;
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

// A disk that fills up mid-buffer shows as a short write (Linux file systems under Wine do this);
// writing the rest surfaces the real reason, such as a full disk, instead of a guess.
bool writeAll(HANDLE file, const uint8_t* data, size_t length, DWORD& error) {
    while (length > 0) {
        DWORD done = 0;
        if (!WriteFile(file, data, static_cast<DWORD>(length), &done, nullptr)) {
            error = lastErrorOrWriteFault();
            return false;
        }
        if (done == 0) {
            error = ERROR_WRITE_FAULT;
            return false;
        }
        data += done;
        length -= done;
    }
    return true;
}

}  // namespace

void takeBackBytes(Updater& u, std::atomic<uint64_t>* fileCounter, uint64_t bytes) {
    if (bytes == 0) return;
    if (fileCounter) fileCounter->fetch_sub(bytes);
    uint64_t now = u.bytesReceived.fetch_sub(bytes) - bytes;
    // The shown byte count must not keep bytes that no longer count either.
    reportProgress(u, now);
}

bool writeSinkCallback(void* context, const uint8_t* data, size_t length, uint64_t total) {
    WriteSink& sink = *static_cast<WriteSink*>(context);
    Updater& u = *sink.updater;
    if (cancelled(u)) return false;
    if (sink.written + length > sink.limit) return false;
    if (!writeAll(sink.file, data, length, sink.writeError)) return false;
    if (sink.hasher) sink.hasher->add(data, length);
    sink.written += length;
    if (sink.fileCounter) sink.fileCounter->fetch_add(length);
    uint64_t now = u.bytesReceived.fetch_add(length) + length;
    reportProgress(u, now);
    return true;
}

int downloadToTemp(Updater& u, HINTERNET connection, const ManifestEntry& entry, const std::wstring& tempPath,
                   std::atomic<uint64_t>* fileCounter) {
    SetFileAttributesW(tempPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    UniqueFile file(CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return isDiskFull(GetLastError()) ? 4 : 3;
    if (entry.size > 0 && !preallocate(file.get(), entry.size)) {
        DWORD error = lastErrorOrWriteFault();
        file.reset();
        DeleteFileW(tempPath.c_str());
        return isDiskFull(error) ? 4 : 3;
    }

    StreamHasher hasher;
    WriteSink sink;
    sink.file = file.get();
    sink.hasher = &hasher;
    sink.updater = &u;
    sink.fileCounter = fileCounter;
    sink.limit = entry.size;
    int http = 200;  // an empty file needs no request
    if (entry.size > 0) http = httpGet(u, connection, objectPath(entry.hash), writeSinkCallback, &sink, 0, 0);
    // Cuts the preallocated length back to what actually arrived.
    SetEndOfFile(file.get());
    file.reset();

    int result;
    if (cancelled(u)) {
        result = 5;
    } else if (sink.writeError == 0) {
        // -1: the sink cut off a body longer than the listed size; what was written is judged.
        if (http == 200 || http == -1)
            result = (sink.written == entry.size && hasher.finishHex() == entry.hash) ? 0 : 2;
        else
            result = 1;
    } else {
        result = isDiskFull(sink.writeError) ? 4 : 3;
    }
    if (result != 0) takeBackBytes(u, fileCounter, sink.written);
    return result;
}

void pauseSeconds(Updater& u, int seconds) {
    for (int step = 0; step < seconds * 10; ++step) {
        if (cancelled(u)) return;
        Sleep(100);
    }
}

int downloadWhole(Updater& u, HINTERNET connection, DownloadItem& item, DownloadRun& run) {
    // Bytes that earlier range transfers of this file put into the progress no longer count.
    takeBackBytes(u, nullptr, item.receivedBytes.exchange(0));
    const ManifestEntry& entry = *item.entry;
    int result = 1;
    for (int attempt = 0; attempt < 3 && !cancelled(u); ++attempt) {
        result = downloadToTemp(u, connection, entry, item.tempPath, &item.receivedBytes);
        if (result != 1 && result != 2) break;
        logLine(u, "indirilemedi (%d) %s, deneme %d", result, toUtf8(entry.path).c_str(), attempt + 1);
        pauseSeconds(u, attempt + 1);
    }
    if (result == 0) return commitFile(u, item, run);
    // The run's end removes the temp file of a cancelled transfer.
    if (cancelled(u)) return 0;
    DeleteFileW(item.tempPath.c_str());
    if (result == 4) return 6;
    if (result == 3) return 3;
    return 5;
}

int commitFile(Updater& u, DownloadItem& item, DownloadRun& run) {
    const ManifestEntry& entry = *item.entry;
    // A read-only target would refuse to be replaced.
    SetFileAttributesW(item.targetPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(item.tempPath.c_str(), item.targetPath.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD error = GetLastError();
        DeleteFileW(item.tempPath.c_str());
        SetLastError(error);
        return (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                error == ERROR_LOCK_VIOLATION)
                   ? 4
                   : 3;
    }

    WIN32_FILE_ATTRIBUTE_DATA placed;
    bool readBack = GetFileAttributesExW(item.targetPath.c_str(), GetFileExInfoStandard, &placed) &&
                    !(placed.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    std::string suffix;
    if (item.chunkCount > 0) suffix = ", " + std::to_string(item.chunkCount) + " parca";
    logLine(u, "indirildi %s (%llu bayt%s)", toUtf8(entry.path).c_str(),
        static_cast<unsigned long long>(entry.size), suffix.c_str());

    HashCacheEntry cached;
    if (readBack) {
        cached.hash = entry.hash;
        cached.size = (static_cast<uint64_t>(placed.nFileSizeHigh) << 32) | placed.nFileSizeLow;
        cached.mtime = (static_cast<uint64_t>(placed.ftLastWriteTime.dwHighDateTime) << 32) |
                       placed.ftLastWriteTime.dwLowDateTime;
    }
    std::wstring key = normalizePath(entry.path);
    std::lock_guard<std::mutex> lock(u.statusMutex);
    item.committed = true;
    // Without a read-back the next check run hashes the file instead of trusting a guess.
    if (run.cache) {
        if (readBack)
            run.cache->insert_or_assign(std::move(key), std::move(cached));
        else
            run.cache->erase(key);
    }
    ++run.finished;
    return 0;
}
