#include "update/seed_scan.h"

#include <memory>

#include "base/file.h"
#include "base/handles.h"

namespace {

UniqueFile openSeed(const std::wstring& path) {
    // The seed may be the game's own file: others may keep it open, and nothing here writes it.
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool stopped(ScanStopFn stop, void* context) {
    return stop && stop(context);
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
                            void* context) {
    SeedScanResult result;
    UniqueFile file = openSeed(path);
    if (!file) return result;
    ChunkReader reader(file.get(), index.params);
    ChunkView view;
    while (reader.next(view)) {
        if (stopped(stop, context)) {
            result.stopped = true;
            return result;
        }
        result.bytesRead += view.length;
        markSeedChunk(index, lookup, found, seed, view.offset, view.length,
                      chunkFingerprint(view.data, view.length));
    }
    return result;
}
