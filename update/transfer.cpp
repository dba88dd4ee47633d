#include "update/transfer.h"

#include "base/file.h"
#include "base/sha256.h"
#include "net/http_client.h"
#include "protocol/manifest.h"
#include "protocol/object_path.h"
#include "update/live_status.h"

namespace {

// A disk that fills up mid-buffer shows as a short write (Linux file systems under Wine do this);
// writing the rest surfaces the real reason, such as a full disk, instead of a guess. Each write
// names its place in the file, so that the workers of a split file can share one handle.
bool writeAll(HANDLE file, uint64_t at, const uint8_t* data, size_t length, DWORD& error) {
    while (length > 0) {
        DWORD done = 0;
        OVERLAPPED place{};
        place.Offset = static_cast<DWORD>(at);
        place.OffsetHigh = static_cast<DWORD>(at >> 32);
        if (!WriteFile(file, data, static_cast<DWORD>(length), &done, &place)) {
            error = lastErrorOr();
            return false;
        }
        if (done == 0) {
            error = ERROR_WRITE_FAULT;
            return false;
        }
        data += done;
        length -= done;
        at += done;
    }
    return true;
}

// Cuts the file at `size` (or lengthens it there); 0 or the system error.
DWORD setFileEnd(HANDLE file, uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) ? 0 : lastErrorOr();
}

}  // namespace

bool isCancelled(const TransferGroup& group) {
    return group.stop.requested();
}

void abortGroup(TransferGroup& group) {
    group.stop.request();
}

void takeBackBytes(TransferGroup& group, std::atomic<uint64_t>* fileCounter, uint64_t bytes) {
    if (bytes == 0) return;
    if (fileCounter) fileCounter->fetch_sub(bytes);
    group.bytesReceived.fetch_sub(bytes);
    // The shown byte count must not keep bytes that no longer count either.
    reportProgress(group.run.status, group.bytesReceived);
}

bool writeSinkCallback(void* context, const uint8_t* data, size_t length, uint64_t total) {
    WriteSink& sink = *static_cast<WriteSink*>(context);
    TransferGroup& group = *sink.group;
    if (isCancelled(group)) return false;
    if (sink.written + length > sink.limit) return false;
    if (!writeAll(sink.file, sink.start + sink.written, data, length, sink.writeError)) return false;
    if (sink.hasher) sink.hasher->add(data, length);
    sink.written += length;
    if (sink.fileCounter) sink.fileCounter->fetch_add(length);
    group.bytesReceived.fetch_add(length);
    reportProgress(group.run.status, group.bytesReceived);
    return true;
}

StepResult openTempFile(const ContainedRoot& root, const std::wstring& relativeTemp,
                        const std::wstring& listedPath, UniqueFile& file) {
    file.reset();
    // Never opened for writing as it lies: an old temp file may be a link or another file's second
    // name, and writing it would write that file.
    DWORD gone = deleteFileBelow(root, relativeTemp);
    if (gone != 0 && gone != ERROR_FILE_NOT_FOUND && gone != ERROR_PATH_NOT_FOUND)
        return StepResult{StepOutcome::WriteFailed, gone, 0, listedPath};
    file.reset(CreateFileW(fullPath(root.folder, relativeTemp).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                           FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return fileFailure(lastErrorOr(), listedPath);
    if (!isFileReachedPlainly(root, relativeTemp, file.get())) {
        deleteOpenFile(file);
        return StepResult{StepOutcome::WriteFailed, kLinkOnTheWay, 0, listedPath};
    }
    return StepResult{StepOutcome::Done, 0, 0, listedPath};
}

StepResult downloadToTemp(TransferGroup& group, HINTERNET connection, const ManifestEntry& entry, HANDLE file,
                          std::atomic<uint64_t>* fileCounter) {
    // An earlier attempt's bytes go; the full length is set aside at once. Linux file systems under
    // Wine allocate sparsely, so a full disk usually surfaces later, at the first write past it.
    if (DWORD error = setFileEnd(file, 0)) return fileFailure(error, entry.path);
    if (entry.size > 0) {
        if (DWORD error = setFileEnd(file, entry.size)) return fileFailure(error, entry.path);
    }

    Sha256 hasher;
    WriteSink sink;
    sink.file = file;
    sink.hasher = &hasher;
    sink.group = &group;
    sink.fileCounter = fileCounter;
    sink.limit = entry.size;
    HttpResult http{200};  // an empty file needs no request
    if (entry.size > 0)
        http = httpGet(group.run.session, connection, objectPath(entry.hash), writeSinkCallback, &sink, 0, 0);
    // Cuts the preallocated length back to what actually arrived.
    DWORD endError = setFileEnd(file, sink.written);
    // A complete body reaches the disk before anything moves it into place: after a power cut the
    // target must never be the new name over zero-filled content.
    DWORD flushError = 0;
    if (sink.writeError == 0 && endError == 0 && sink.written == entry.size && !isCancelled(group) &&
        !FlushFileBuffers(file))
        flushError = lastErrorOr();

    StepResult result{StepOutcome::Done, http.systemError, http.status, entry.path};
    if (isCancelled(group)) {
        result.outcome = StepOutcome::Stopped;
    } else if (sink.writeError != 0 || endError != 0 || flushError != 0) {
        result = fileFailure(sink.writeError ? sink.writeError
                             : endError      ? endError
                                             : flushError,
                             entry.path);
    } else if (http.status == 200) {
        // A refusing sink cut off a body longer than the listed size; what was written is judged.
        bool matches = sink.written == entry.size && hasher.finishHex() == entry.hash;
        result.outcome = matches ? StepOutcome::Done : StepOutcome::Mismatch;
    } else {
        result.outcome = StepOutcome::Unavailable;
    }
    if (!result.ok()) takeBackBytes(group, fileCounter, sink.written);
    return result;
}
