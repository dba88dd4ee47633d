#include "update/patch_cursor.h"

#include <chrono>
#include <deque>
#include <thread>

#include "base/file.h"
#include "base/handles.h"

namespace {

constexpr DWORD kBlock = 1048576;

bool stopped(const PatchCallbacks& callbacks) {
    return callbacks.stop && callbacks.stop(callbacks.context);
}

UniqueFile openShared(const std::wstring& path, DWORD access) {
    return UniqueFile(CreateFileW(path.c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

OVERLAPPED at(uint64_t offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

// Positioned reads and writes: on a synchronous handle the offset in OVERLAPPED says where, so no
// file pointer is shared between the reads and the writer thread.
bool readAt(HANDLE file, uint64_t offset, uint8_t* buffer, DWORD length) {
    OVERLAPPED position = at(offset);
    DWORD got = 0;
    return ReadFile(file, buffer, length, &got, &position) && got == length;
}

bool writeAt(HANDLE file, uint64_t offset, const uint8_t* buffer, DWORD length) {
    while (length > 0) {
        OVERLAPPED position = at(offset);
        DWORD done = 0;
        if (!WriteFile(file, buffer, length, &done, &position) || done == 0) return false;
        buffer += done;
        offset += done;
        length -= done;
    }
    return true;
}

// Writes copied blocks into the file being assembled on a thread of its own while the assembling
// thread hashes them, so that the write and the hash of a block overlap. A block is free again once
// it is both written and hashed.
struct BlockWriter {
    static constexpr int kDepth = 3;

    struct Block {
        std::unique_ptr<uint8_t[]> data{new uint8_t[kBlock]};
        uint64_t offset = 0;
        DWORD length = 0;
        int pending = 0;  // 2 while it waits to be written and hashed
    };

    UniqueFile own;  // when no handle was lent
    HANDLE file;
    Block blocks[kDepth];
    std::mutex lock;
    std::condition_variable changed;
    std::deque<int> queue;
    bool closing = false;
    DWORD error = 0;
    std::thread thread;

    BlockWriter(const std::wstring& path, HANDLE lent)
        : own(lent == INVALID_HANDLE_VALUE ? openShared(path, GENERIC_WRITE) : UniqueFile()),
          file(lent == INVALID_HANDLE_VALUE ? own.get() : lent) {
        if (file == INVALID_HANDLE_VALUE) error = lastErrorOr();
        thread = std::thread([this] { run(); });
    }
    ~BlockWriter() { drain(); }

    void run() {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            changed.wait(guard, [&] { return closing || !queue.empty(); });
            if (queue.empty()) return;
            Block& block = blocks[queue.front()];
            queue.pop_front();
            guard.unlock();
            bool written = error == 0 && writeAt(file, block.offset, block.data.get(), block.length);
            DWORD failure = written ? 0 : lastErrorOr();
            guard.lock();
            if (!written && error == 0) error = failure;
            --block.pending;
            changed.notify_all();
        }
    }

    int acquire() {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            for (int i = 0; i < kDepth; ++i) {
                if (blocks[i].pending == 0) {
                    blocks[i].pending = 2;
                    return i;
                }
            }
            changed.wait(guard);
        }
    }

    void submit(int index, uint64_t offset, DWORD length) {
        std::lock_guard<std::mutex> guard(lock);
        blocks[index].offset = offset;
        blocks[index].length = length;
        queue.push_back(index);
        changed.notify_all();
    }

    void cancel(int index) {
        std::lock_guard<std::mutex> guard(lock);
        blocks[index].pending = 0;
        changed.notify_all();
    }

    void hashed(int index) {
        std::lock_guard<std::mutex> guard(lock);
        --blocks[index].pending;
        changed.notify_all();
    }

    // Waits until every submitted block is written; the writer's first error, or 0.
    DWORD drain() {
        if (thread.joinable()) {
            {
                std::lock_guard<std::mutex> guard(lock);
                closing = true;
                changed.notify_all();
            }
            thread.join();
        }
        return error;
    }
};

// What one assembling thread holds while it owns the cursor.
struct Holdings {
    UniqueFile assembly;
    std::vector<UniqueFile> seeds;
    std::unique_ptr<BlockWriter> writer;
    std::unique_ptr<uint8_t[]> buffer;

    bool any() const {
        if (assembly || writer) return true;
        for (const UniqueFile& seed : seeds)
            if (seed) return true;
        return false;
    }
    // Everything written and closed; the writer's error, or 0.
    DWORD release() {
        DWORD error = writer ? writer->drain() : 0;
        writer.reset();
        assembly.reset();
        for (UniqueFile& seed : seeds)
            seed.reset();
        buffer.reset();
        return error;
    }
};

DWORD hashFromFile(PatchCursor& cursor, Holdings& held, const PatchSegment& segment,
                   const PatchCallbacks& callbacks) {
    if (cursor.file == INVALID_HANDLE_VALUE && !held.assembly)
        held.assembly = openShared(cursor.path, GENERIC_READ);
    HANDLE assembly = cursor.file != INVALID_HANDLE_VALUE ? cursor.file : held.assembly.get();
    if (assembly == INVALID_HANDLE_VALUE) return lastErrorOr(ERROR_READ_FAULT);
    if (!held.buffer) held.buffer.reset(new uint8_t[kBlock]);
    for (uint64_t done = 0; done < segment.length;) {
        if (stopped(callbacks)) return ERROR_OPERATION_ABORTED;
        DWORD block = segment.length - done < kBlock ? static_cast<DWORD>(segment.length - done) : kBlock;
        if (!readAt(assembly, segment.offset + done, held.buffer.get(), block))
            return lastErrorOr(ERROR_READ_FAULT);
        cursor.digest.add(held.buffer.get(), block);
        if (segment.kind == SegmentKind::Kept && callbacks.localBytes)
            callbacks.localBytes(callbacks.context, block);
        done += block;
    }
    return 0;
}

DWORD copyFromSeed(PatchCursor& cursor, Holdings& held, const PatchSegment& segment,
                   const PatchCallbacks& callbacks) {
    const size_t seed = static_cast<size_t>(segment.seed);
    if (seed >= cursor.seeds.size()) return ERROR_INVALID_PARAMETER;
    if (held.seeds.size() < cursor.seeds.size()) held.seeds.resize(cursor.seeds.size());
    UniqueFile& source = held.seeds[seed];
    if (!source) source = openShared(cursor.seeds[seed], GENERIC_READ);
    if (!source) return lastErrorOr(ERROR_READ_FAULT);
    if (!held.writer) held.writer = std::make_unique<BlockWriter>(cursor.path, cursor.file);
    for (uint64_t done = 0; done < segment.length;) {
        if (stopped(callbacks)) return ERROR_OPERATION_ABORTED;
        DWORD block = segment.length - done < kBlock ? static_cast<DWORD>(segment.length - done) : kBlock;
        int slot = held.writer->acquire();
        uint8_t* data = held.writer->blocks[slot].data.get();
        if (!readAt(source.get(), segment.seedOffset + done, data, block)) {
            DWORD error = lastErrorOr(ERROR_READ_FAULT);
            held.writer->cancel(slot);  // never submitted
            return error;
        }
        held.writer->submit(slot, segment.offset + done, block);
        cursor.digest.add(data, block);
        held.writer->hashed(slot);
        if (callbacks.localBytes) callbacks.localBytes(callbacks.context, block);
        done += block;
    }
    return 0;
}

// Assembles segment after segment while the next one is ready, waiting for the planner while the
// plan grows, then lets go of the cursor. Everything is written and closed before `working` is
// cleared, so the thread chosen to finish the file may move it at once. True for that thread.
bool advance(PatchCursor& cursor, const PatchCallbacks& callbacks) {
    Holdings held;
    for (;;) {
        PatchSegment work;  // a copy: the planner may grow the vector meanwhile
        bool have = false;
        // Asked outside the lock: the caller's test may take locks of its own.
        const bool stopNow = stopped(callbacks);
        {
            std::unique_lock<std::mutex> guard(cursor.lock);
            if (!cursor.broken && !stopNow && !cursor.planned && cursor.next == cursor.segments.size()) {
                // Only the thread that started the assembly gets here: ranges exist once planned.
                cursor.grown.wait_for(guard, std::chrono::milliseconds(50));
                continue;
            }
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
                work = cursor.segments[cursor.next];
                have = true;
            } else if (!held.any()) {
                cursor.working = false;
                if (!cursor.planned || cursor.unsettled > 0 || cursor.claimed) return false;
                cursor.claimed = true;
                return true;
            }
        }
        if (!have) {
            // Then look once more: a range may have arrived meanwhile.
            if (DWORD error = held.release()) {
                std::lock_guard<std::mutex> guard(cursor.lock);
                cursor.broken = true;
                if (!cursor.error) cursor.error = error;
            }
            continue;
        }
        DWORD error = work.kind == SegmentKind::Copied ? copyFromSeed(cursor, held, work, callbacks)
                                                       : hashFromFile(cursor, held, work, callbacks);
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

std::vector<PatchSegment> patchSegments(const PatchPlan& plan) {
    std::vector<PatchSegment> segments;
    uint64_t done = plan.begin;
    auto keepUpTo = [&](uint64_t offset) {
        if (offset > done) segments.push_back(PatchSegment{SegmentKind::Kept, done, offset - done});
        done = offset;
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
            done = copy.targetOffset + copy.length;
        } else {
            const FetchRange& range = plan.ranges[r];
            keepUpTo(range.offset);
            segments.push_back(
                PatchSegment{SegmentKind::Fetched, range.offset, range.length, 0, 0, static_cast<int>(r)});
            done = range.offset + range.length;
            ++r;
        }
    }
    keepUpTo(plan.end);
    return segments;
}

PatchCursor::PatchCursor(std::wstring assemblyPath, std::vector<std::wstring> seedPaths, HANDLE assemblyFile)
    : path(std::move(assemblyPath)), seeds(std::move(seedPaths)), file(assemblyFile) {}

void addPatchSegments(PatchCursor& cursor, const std::vector<PatchSegment>& more, bool complete,
                      int rangeCount) {
    std::lock_guard<std::mutex> guard(cursor.lock);
    if (cursor.planned) return;
    cursor.segments.insert(cursor.segments.end(), more.begin(), more.end());
    if (complete) {
        cursor.arrived.assign(static_cast<size_t>(rangeCount > 0 ? rangeCount : 0), false);
        cursor.unsettled = static_cast<int>(cursor.arrived.size());
        cursor.planned = true;
    }
    cursor.grown.notify_all();
}

void abandonPatchPlan(PatchCursor& cursor, DWORD error) {
    std::lock_guard<std::mutex> guard(cursor.lock);
    cursor.broken = true;
    if (!cursor.error) cursor.error = error;
    if (!cursor.planned) {
        cursor.planned = true;  // no range will ever be settled
        cursor.unsettled = 0;
    }
    cursor.grown.notify_all();
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
    if (cursor.broken || !cursor.planned || cursor.next < cursor.segments.size()) return {};
    return cursor.digest.finishHex();
}
