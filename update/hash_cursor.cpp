#include "update/hash_cursor.h"

#include <chrono>

#include "base/handles.h"

namespace {

constexpr DWORD kReadBlock = 1048576;

bool stopped(CursorStopFn stop, void* context) {
    return stop && stop(context);
}

// Feeds one range, read back from the file, to the digest; false when a read fails or comes back
// short, or on a stop. Only the thread that set `hashing` gets here.
bool hashRange(HashCursor& cursor, UniqueFile& file, int index, CursorStopFn stop, void* context) {
    if (!file)
        file.reset(CreateFileW(cursor.path.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    if (!cursor.buffer) cursor.buffer.reset(new unsigned char[kReadBlock]);
    uint64_t offset = static_cast<uint64_t>(index) * cursor.rangeSize;
    uint64_t left = cursor.size - offset < cursor.rangeSize ? cursor.size - offset : cursor.rangeSize;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return false;
    while (left > 0) {
        if (stopped(stop, context)) return false;
        DWORD want = left < kReadBlock ? static_cast<DWORD>(left) : kReadBlock;
        DWORD got = 0;
        if (!ReadFile(file.get(), cursor.buffer.get(), want, &got, nullptr) || got != want) return false;
        cursor.digest.add(cursor.buffer.get(), got);
        left -= got;
    }
    return true;
}

// Hashes range after range while the one at the cursor has arrived, then lets go of the cursor.
// The read handle is closed before `hashing` is cleared, so whichever thread is chosen to finish
// the file may replace or move it at once. True when this thread is the one chosen.
bool advance(HashCursor& cursor, CursorStopFn stop, void* context) {
    UniqueFile file;
    for (;;) {
        int index = -1;
        // Asked outside the lock: the caller's test may take locks of its own.
        bool stopNow = stopped(stop, context);
        {
            std::lock_guard<std::mutex> guard(cursor.lock);
            bool ready = !cursor.broken && cursor.next < rangeCount(cursor) &&
                         cursor.arrived[static_cast<size_t>(cursor.next)];
            // Half a range in the digest can never be taken out again: a stop loses the digest.
            if (ready && stopNow) {
                cursor.broken = true;
                cursor.progressed.notify_all();
                ready = false;
            }
            if (ready) {
                index = cursor.next;
            } else if (!file) {
                cursor.hashing = false;
                if (cursor.unsettled > 0 || cursor.claimed) return false;
                cursor.claimed = true;
                cursor.buffer.reset();
                cursor.progressed.notify_all();
                return true;
            }
        }
        if (index < 0) {
            file.reset();  // then look once more: a range may have arrived meanwhile
            continue;
        }
        bool hashed = hashRange(cursor, file, index, stop, context);
        std::lock_guard<std::mutex> guard(cursor.lock);
        if (hashed)
            ++cursor.next;
        else
            cursor.broken = true;
        cursor.progressed.notify_all();
    }
}

}  // namespace

HashCursor::HashCursor(std::wstring filePath, uint64_t fileSize, uint64_t range)
    : path(std::move(filePath)), size(fileSize), rangeSize(range ? range : 1) {
    arrived.resize(static_cast<size_t>((size + rangeSize - 1) / rangeSize));
    unsettled = rangeCount(*this);
}

int rangeCount(const HashCursor& cursor) {
    return static_cast<int>(cursor.arrived.size());
}

bool settleRange(HashCursor& cursor, int index, bool arrived, CursorStopFn stop, void* context) {
    {
        std::lock_guard<std::mutex> guard(cursor.lock);
        if (arrived && index >= 0 && index < rangeCount(cursor))
            cursor.arrived[static_cast<size_t>(index)] = true;
        if (cursor.unsettled > 0) --cursor.unsettled;
        if (cursor.hashing) return false;  // that thread finds this range, or the end, when it gets there
        cursor.hashing = true;
    }
    return advance(cursor, stop, context);
}

namespace {

// Caller holds cursor.lock. A broken or finished cursor no longer moves: nothing may wait on it.
bool mayStartLocked(const HashCursor& cursor, int index, int window) {
    return cursor.broken || cursor.claimed || index - cursor.next < window;
}

}  // namespace

bool rangeMayStart(HashCursor& cursor, int index, int window) {
    std::lock_guard<std::mutex> guard(cursor.lock);
    return mayStartLocked(cursor, index, window);
}

void waitForRange(HashCursor& cursor, int index, int window, unsigned timeoutMs) {
    std::unique_lock<std::mutex> guard(cursor.lock);
    cursor.progressed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                               [&] { return mayStartLocked(cursor, index, window); });
}

std::string cursorHash(HashCursor& cursor) {
    std::lock_guard<std::mutex> guard(cursor.lock);
    if (cursor.broken || cursor.next < rangeCount(cursor)) return {};
    return cursor.digest.finishHex();
}
