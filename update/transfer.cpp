#include "update/transfer.h"

#include "base/file.h"
#include "base/handles.h"
#include "base/sha256.h"
#include "net/http_client.h"
#include "protocol/manifest.h"
#include "protocol/object_path.h"
#include "update/live_status.h"

namespace {

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
            error = lastErrorOr();
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
    if (!writeAll(sink.file, data, length, sink.writeError)) return false;
    if (sink.hasher) sink.hasher->add(data, length);
    sink.written += length;
    if (sink.fileCounter) sink.fileCounter->fetch_add(length);
    group.bytesReceived.fetch_add(length);
    reportProgress(group.run.status, group.bytesReceived);
    return true;
}

StepResult downloadToTemp(TransferGroup& group, HINTERNET connection, const ManifestEntry& entry,
                          const std::wstring& tempPath, std::atomic<uint64_t>* fileCounter) {
    SetFileAttributesW(tempPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    UniqueFile file(CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return fileFailure(lastErrorOr(), entry.path);
    if (entry.size > 0 && !preallocate(file.get(), entry.size)) {
        DWORD error = lastErrorOr();
        file.reset();
        DeleteFileW(tempPath.c_str());
        return fileFailure(error, entry.path);
    }

    Sha256 hasher;
    WriteSink sink;
    sink.file = file.get();
    sink.hasher = &hasher;
    sink.group = &group;
    sink.fileCounter = fileCounter;
    sink.limit = entry.size;
    HttpResult http{200};  // an empty file needs no request
    if (entry.size > 0)
        http = httpGet(group.run.session, connection, objectPath(entry.hash), writeSinkCallback, &sink, 0, 0);
    // Cuts the preallocated length back to what actually arrived.
    SetEndOfFile(file.get());
    // A complete body reaches the disk before anything moves it into place: after a power cut the
    // target must never be the new name over zero-filled content.
    DWORD flushError = 0;
    if (sink.writeError == 0 && sink.written == entry.size && !isCancelled(group) &&
        !FlushFileBuffers(file.get()))
        flushError = lastErrorOr();
    file.reset();

    StepResult result{StepOutcome::Done, http.systemError, http.status, entry.path};
    if (isCancelled(group)) {
        result.outcome = StepOutcome::Stopped;
    } else if (sink.writeError != 0 || flushError != 0) {
        result = fileFailure(sink.writeError ? sink.writeError : flushError, entry.path);
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
