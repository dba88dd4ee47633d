#include "update/range_fetch.h"

#include <cstring>

#include "base/file.h"

namespace {

bool writeAt(HANDLE file, uint64_t offset, const uint8_t* data, DWORD length, DWORD& error) {
    while (length > 0) {
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(offset);
        position.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD done = 0;
        if (!WriteFile(file, data, length, &done, &position) || done == 0) {
            error = lastErrorOr();
            return false;
        }
        data += done;
        offset += done;
        length -= done;
    }
    return true;
}

// The chunk in the buffer is whole: checked, then written at its place.
bool settleChunk(ChunkCheckSink& sink) {
    const ChunkEntry& entry = sink.index.chunks[sink.chunk];
    uint8_t strong[16];
    if (!sink.digester.digest(sink.buffer.get(), entry.length, strong) ||
        memcmp(strong, entry.strong, sizeof strong) != 0) {
        sink.mismatch = true;
        return false;
    }
    if (!writeAt(sink.file, entry.offset, sink.buffer.get(), entry.length, sink.writeError)) return false;
    sink.written += entry.length;
    ++sink.chunk;
    sink.held = 0;
    return true;
}

}  // namespace

ChunkCheckSink::ChunkCheckSink(HANDLE target, const ChunkIndex& chunkIndex, const FetchRange& fetchRange)
    : file(target),
      index(chunkIndex),
      range(fetchRange),
      buffer(new uint8_t[chunkIndex.params.maxSize]),
      chunk(fetchRange.firstChunk) {}

bool chunkCheckSinkCallback(void* context, const uint8_t* data, size_t length, uint64_t) {
    ChunkCheckSink& sink = *static_cast<ChunkCheckSink*>(context);
    if (sink.stop && sink.stop(sink.context)) return false;
    if (sink.mismatch || sink.writeError || sink.received + length > sink.range.length) return false;
    sink.received += length;
    if (sink.count) sink.count(sink.context, static_cast<int64_t>(length));
    while (length > 0) {
        const uint32_t chunkLength = sink.index.chunks[sink.chunk].length;
        const uint32_t take =
            static_cast<uint32_t>(length < chunkLength - sink.held ? length : chunkLength - sink.held);
        memcpy(sink.buffer.get() + sink.held, data, take);
        sink.held += take;
        data += take;
        length -= take;
        if (sink.held == chunkLength && !settleChunk(sink)) return false;
    }
    return true;
}
