#include "protocol/chunk_index.h"

#include <cstring>

namespace {

constexpr char kMagic[8] = {'Q', 'V', 'P', 'A', 'R', 'C', 'A', '1'};

void put32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void put64(std::string& out, uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t get64(const unsigned char* p) {
    return static_cast<uint64_t>(get32(p)) | static_cast<uint64_t>(get32(p + 4)) << 32;
}

}  // namespace

uint64_t chunkIndexSize(uint64_t chunkCount) {
    return kChunkIndexHeaderSize + kChunkIndexEntrySize * chunkCount;
}

std::string formatChunkIndex(const ChunkIndex& index) {
    std::string out(kMagic, sizeof kMagic);
    out.reserve(chunkIndexSize(index.chunks.size()));
    put32(out, index.params.minSize);
    put32(out, index.params.avgSize);
    put32(out, index.params.maxSize);
    put32(out, static_cast<uint32_t>(index.chunks.size()));
    put64(out, index.fileSize);
    for (const ChunkEntry& chunk : index.chunks) {
        put32(out, chunk.length);
        put64(out, chunk.fingerprint);
        out.append(reinterpret_cast<const char*>(chunk.strong), sizeof chunk.strong);
    }
    return out;
}

ChunkIndexFault parseChunkIndex(std::string_view bytes, uint64_t fileSize, ChunkIndex& index) {
    index = ChunkIndex{};
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < kChunkIndexHeaderSize || memcmp(p, kMagic, sizeof kMagic) != 0)
        return ChunkIndexFault::BadHeader;
    ChunkParams params{get32(p + 8), get32(p + 12), get32(p + 16)};
    uint64_t count = get32(p + 20);
    uint64_t size = get64(p + 24);
    if (!chunkParamsSane(params)) return ChunkIndexFault::BadParams;
    if (size != fileSize) return ChunkIndexFault::WrongFileSize;
    if (count > kMaxIndexChunks || bytes.size() != chunkIndexSize(count)) return ChunkIndexFault::BadSize;
    // Checked before anything is allocated for the chunks: every chunk but the last holds at least
    // the minimum, so a count the file cannot hold is refused here.
    if (count == 0 || (count - 1) > fileSize / params.minSize) return ChunkIndexFault::WrongTotal;

    index.params = params;
    index.fileSize = size;
    index.chunks.resize(static_cast<size_t>(count));
    uint64_t offset = 0;
    const unsigned char* entry = p + kChunkIndexHeaderSize;
    for (uint64_t i = 0; i < count; ++i, entry += kChunkIndexEntrySize) {
        ChunkEntry& chunk = index.chunks[static_cast<size_t>(i)];
        chunk.offset = offset;
        chunk.length = get32(entry);
        chunk.fingerprint = get64(entry + 4);
        memcpy(chunk.strong, entry + 12, sizeof chunk.strong);
        bool last = i + 1 == count;
        if (chunk.length == 0 || chunk.length > params.maxSize || (!last && chunk.length < params.minSize)) {
            index = ChunkIndex{};
            return ChunkIndexFault::BadLength;
        }
        offset += chunk.length;
    }
    if (offset != fileSize) {
        index = ChunkIndex{};
        return ChunkIndexFault::WrongTotal;
    }
    return ChunkIndexFault::None;
}

const char* chunkIndexFaultText(ChunkIndexFault fault) {
    switch (fault) {
        case ChunkIndexFault::None:
            return "saglam";
        case ChunkIndexFault::BadHeader:
            return "baslik taninmadi";
        case ChunkIndexFault::BadParams:
            return "parametreler sinir disinda";
        case ChunkIndexFault::WrongFileSize:
            return "baska boyutta bir dosyayi tarif ediyor";
        case ChunkIndexFault::BadSize:
            return "boyutu parca sayisina uymuyor";
        case ChunkIndexFault::BadLength:
            return "parca uzunlugu sinir disinda";
        case ChunkIndexFault::WrongTotal:
            return "parcalar dosya boyutunu tutmuyor";
    }
    return "bilinmeyen";
}
