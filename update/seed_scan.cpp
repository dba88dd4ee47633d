#include "update/seed_scan.h"

#include <memory>

#include "base/file.h"
#include "base/handles.h"

namespace {

// How much of a seed is read between two hand-overs of what it holds.
constexpr uint64_t kBatchBytes = 8388608;

UniqueFile openSeed(const std::wstring& path) {
    // The seed may be the game's own file: others may keep it open, and nothing here writes it.
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool stopped(ScanStopFn stop, void* context) {
    return stop && stop(context);
}

// The planner's side of planFromSeeds: what has been handed to the cursor so far.
struct Feeder {
    PatchCursor& cursor;
    const ChunkIndex& index;
    std::vector<ChunkSource>& found;
    uint64_t maxRequest;
    size_t handed = 0;  // the chunks before this one are in the cursor's plan
    PatchScan scan;

    void hand(size_t end, bool complete) {
        PatchPlan part = planPatch(index, found, maxRequest, handed, end);
        scan.keptBytes += part.keptBytes;
        scan.copiedBytes += part.copiedBytes;
        scan.fetchBytes += part.fetchBytes;
        if (complete) scan.ranges = part.ranges;
        if (part.end > part.begin || complete)
            addPatchSegments(cursor, patchSegments(part), complete, static_cast<int>(part.ranges.size()));
        handed = end;
    }
};

void handDecided(void* context) {
    Feeder& feeder = *static_cast<Feeder*>(context);
    feeder.hand(decidedChunksEnd(feeder.index, feeder.found, feeder.handed), false);
}

}  // namespace

SeedScanResult scanAssemblySeed(const std::wstring& path, const ChunkIndex& index,
                                std::vector<ChunkSource>& found, ScanStopFn stop, void* context) {
    SeedScanResult result;
    uint64_t size = 0;
    if (!fileSize(path, size)) return result;
    UniqueFile file = openSeed(path);
    if (!file) return result;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[index.params.maxSize]);
    // Chunks lie end to end from offset 0, so the file is read once, in order, as far as it goes.
    for (size_t i = 0; i < index.chunks.size(); ++i) {
        const ChunkEntry& chunk = index.chunks[i];
        if (chunk.offset + chunk.length > size) break;
        if (stopped(stop, context)) {
            result.stopped = true;
            return result;
        }
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.get(), chunk.length, &got, nullptr) || got != chunk.length) break;
        result.bytesRead += got;
        if (found[i].seed < 0 && chunkFingerprint(buffer.get(), chunk.length) == chunk.fingerprint)
            found[i] = ChunkSource{kAssemblySeed, chunk.offset};
    }
    return result;
}

SeedScanResult scanSeedFile(const std::wstring& path, int seed, const ChunkIndex& index,
                            const ChunkLookup& lookup, std::vector<ChunkSource>& found, ScanStopFn stop,
                            void* context, ScanBatchFn batch, void* batchContext) {
    SeedScanResult result;
    UniqueFile file = openSeed(path);
    if (!file) return result;
    ChunkReader reader(file.get(), index.params);
    ChunkView view;
    uint64_t sinceBatch = 0;
    while (reader.next(view)) {
        if (stopped(stop, context)) {
            result.stopped = true;
            return result;
        }
        result.bytesRead += view.length;
        markSeedChunk(index, lookup, found, seed, view.offset, view.length,
                      chunkFingerprint(view.data, view.length));
        sinceBatch += view.length;
        if (batch && sinceBatch >= kBatchBytes) {
            batch(batchContext);
            sinceBatch = 0;
        }
    }
    return result;
}

PatchScan planFromSeeds(PatchCursor& cursor, const ChunkIndex& index, const std::wstring& assemblyPath,
                        const std::wstring& seedPath, int connections, ScanStopFn stop, void* context) {
    std::vector<ChunkSource> found(index.chunks.size());
    // The parts handed over early have no ranges; the size of a request matters only at the end.
    Feeder feeder{cursor, index, found, kMaxPatchRequest};
    SeedScanResult own = scanAssemblySeed(assemblyPath, index, found, stop, context);
    SeedScanResult other;
    if (!own.stopped) {
        handDecided(&feeder);
        other = scanSeedFile(seedPath, 1, index, buildChunkLookup(index), found, stop, context, handDecided,
                             &feeder);
    }
    feeder.scan.bytesRead = own.bytesRead + other.bytesRead;
    if (own.stopped || other.stopped) {
        feeder.scan.stopped = true;
        abandonPatchPlan(cursor, ERROR_OPERATION_ABORTED);
        return feeder.scan;
    }
    const PatchPlan whole = planPatch(index, found);
    feeder.scan.worthwhile = patchWorthwhile(whole, index.fileSize);
    if (!feeder.scan.worthwhile) {
        feeder.scan.keptBytes = whole.keptBytes;
        feeder.scan.copiedBytes = whole.copiedBytes;
        feeder.scan.fetchBytes = whole.fetchBytes;
        abandonPatchPlan(cursor, ERROR_SUCCESS);
        return feeder.scan;
    }
    feeder.maxRequest = patchRequestSize(whole.fetchBytes, connections);
    feeder.hand(index.chunks.size(), true);
    return feeder.scan;
}
