#include "update/patch_cursor.h"

#include "base/file.h"
#include "base/handles.h"

namespace {

constexpr DWORD kBlock = 1048576;

// The handles one assembling thread holds while it owns the cursor.
struct Handles {
    UniqueFile assembly;
    std::vector<UniqueFile> seeds;

    bool open() const {
        if (assembly) return true;
        for (const UniqueFile& seed : seeds)
            if (seed) return true;
        return false;
    }
    void close() {
        assembly.reset();
        for (UniqueFile& seed : seeds)
            seed.reset();
    }
};

bool stopped(const PatchCallbacks& callbacks) {
    return callbacks.stop && callbacks.stop(callbacks.context);
}

bool seekTo(HANDLE file, uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

bool readExactly(HANDLE file, uint8_t* buffer, DWORD length) {
    DWORD got = 0;
    return ReadFile(file, buffer, length, &got, nullptr) && got == length;
}

bool writeExactly(HANDLE file, const uint8_t* buffer, DWORD length) {
    while (length > 0) {
        DWORD done = 0;
        if (!WriteFile(file, buffer, length, &done, nullptr) || done == 0) return false;
        buffer += done;
        length -= done;
    }
    return true;
}

// Feeds one segment to the digest, copying it first when it comes from a seed. 0, or the system
// error of the failed call (ERROR_OPERATION_ABORTED on a stop). Only the owning thread gets here.
DWORD assembleSegment(PatchCursor& cursor, Handles& handles, const PatchSegment& segment,
                      const PatchCallbacks& callbacks) {
    if (!handles.assembly) {
        handles.assembly.reset(CreateFileW(cursor.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handles.assembly) return lastErrorOr(ERROR_READ_FAULT);
    }
    HANDLE source = handles.assembly.get();
    uint64_t sourceOffset = segment.offset;
    const bool copied = segment.kind == SegmentKind::Copied;
    if (copied) {
        size_t seed = static_cast<size_t>(segment.seed);
        if (seed >= cursor.seeds.size()) return ERROR_INVALID_PARAMETER;
        if (handles.seeds.size() < cursor.seeds.size()) handles.seeds.resize(cursor.seeds.size());
        UniqueFile& file = handles.seeds[seed];
        if (!file)
            file.reset(CreateFileW(cursor.seeds[seed].c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) return lastErrorOr(ERROR_READ_FAULT);
        source = file.get();
        sourceOffset = segment.seedOffset;
    }
    if (!cursor.buffer) cursor.buffer.reset(new uint8_t[kBlock]);
    if (!seekTo(source, sourceOffset)) return lastErrorOr(ERROR_READ_FAULT);
    uint64_t left = segment.length;
    uint64_t at = segment.offset;
    while (left > 0) {
        if (stopped(callbacks)) return ERROR_OPERATION_ABORTED;
        DWORD block = left < kBlock ? static_cast<DWORD>(left) : kBlock;
        // The assembly file's one pointer serves reads and writes alike: place it each time.
        if (!copied && !seekTo(source, at)) return lastErrorOr(ERROR_READ_FAULT);
        if (!readExactly(source, cursor.buffer.get(), block)) return lastErrorOr(ERROR_READ_FAULT);
        if (copied && (!seekTo(handles.assembly.get(), at) ||
                       !writeExactly(handles.assembly.get(), cursor.buffer.get(), block)))
            return lastErrorOr();
        cursor.digest.add(cursor.buffer.get(), block);
        if (segment.kind != SegmentKind::Fetched && callbacks.localBytes)
            callbacks.localBytes(callbacks.context, block);
        left -= block;
        at += block;
    }
    return 0;
}

// Assembles segment after segment while the next one is ready, then lets go of the cursor. The
// handles are closed before `working` is cleared, so the thread chosen to finish the file may
// move it at once. True when this thread is the one chosen.
bool advance(PatchCursor& cursor, const PatchCallbacks& callbacks) {
    Handles handles;
    for (;;) {
        const PatchSegment* segment = nullptr;
        // Asked outside the lock: the caller's test may take locks of its own.
        const bool stopNow = stopped(callbacks);
        {
            std::lock_guard<std::mutex> guard(cursor.lock);
            bool ready = !cursor.broken && cursor.next < cursor.segments.size();
            if (ready) {
                const PatchSegment& s = cursor.segments[cursor.next];
                ready = s.kind != SegmentKind::Fetched || cursor.arrived[static_cast<size_t>(s.range)];
            }
            if (ready && stopNow) {
                cursor.broken = true;
                cursor.error = ERROR_OPERATION_ABORTED;
                ready = false;
            }
            if (ready) {
                segment = &cursor.segments[cursor.next];
            } else if (!handles.open()) {
                cursor.working = false;
                if (cursor.unsettled > 0 || cursor.claimed) return false;
                cursor.claimed = true;
                cursor.buffer.reset();
                return true;
            }
        }
        if (!segment) {
            handles.close();  // then look once more: a range may have arrived meanwhile
            continue;
        }
        DWORD error = assembleSegment(cursor, handles, *segment, callbacks);
        std::lock_guard<std::mutex> guard(cursor.lock);
        if (error == 0) {
            ++cursor.next;
        } else {
            cursor.broken = true;  // half a segment in the digest can never be taken out again
            if (!cursor.error) cursor.error = error;
        }
    }
}

}  // namespace

std::vector<PatchSegment> patchSegments(const PatchPlan& plan, uint64_t fileSize) {
    std::vector<PatchSegment> segments;
    uint64_t at = 0;
    auto keepUpTo = [&](uint64_t offset) {
        if (offset > at) segments.push_back(PatchSegment{SegmentKind::Kept, at, offset - at});
        at = offset;
    };
    size_t c = 0, r = 0;
    while (c < plan.copies.size() || r < plan.ranges.size()) {
        const bool copyFirst =
            r == plan.ranges.size() ||
            (c < plan.copies.size() && plan.copies[c].targetOffset < plan.ranges[r].offset);
        if (copyFirst) {
            const SeedCopy& copy = plan.copies[c++];
            keepUpTo(copy.targetOffset);
            segments.push_back(PatchSegment{SegmentKind::Copied, copy.targetOffset, copy.length, copy.seed,
                                            copy.seedOffset});
            at = copy.targetOffset + copy.length;
        } else {
            const FetchRange& range = plan.ranges[r];
            keepUpTo(range.offset);
            segments.push_back(
                PatchSegment{SegmentKind::Fetched, range.offset, range.length, 0, 0, static_cast<int>(r)});
            at = range.offset + range.length;
            ++r;
        }
    }
    keepUpTo(fileSize);
    return segments;
}

PatchCursor::PatchCursor(std::wstring assemblyPath, std::vector<std::wstring> seedPaths,
                         std::vector<PatchSegment> segmentList, int rangeCount)
    : path(std::move(assemblyPath)), seeds(std::move(seedPaths)), segments(std::move(segmentList)) {
    arrived.resize(static_cast<size_t>(rangeCount > 0 ? rangeCount : 0));
    unsettled = static_cast<int>(arrived.size());
}

bool settlePatchRange(PatchCursor& cursor, int range, bool arrived, const PatchCallbacks& callbacks) {
    {
        std::lock_guard<std::mutex> guard(cursor.lock);
        if (range >= 0 && range < static_cast<int>(cursor.arrived.size())) {
            if (arrived) cursor.arrived[static_cast<size_t>(range)] = true;
            if (cursor.unsettled > 0) --cursor.unsettled;
        }
        if (cursor.working) return false;  // that thread finds this range, or the end, when it gets there
        cursor.working = true;
    }
    return advance(cursor, callbacks);
}

std::string patchCursorHash(PatchCursor& cursor) {
    std::lock_guard<std::mutex> guard(cursor.lock);
    if (cursor.broken || cursor.next < cursor.segments.size()) return {};
    return cursor.digest.finishHex();
}
