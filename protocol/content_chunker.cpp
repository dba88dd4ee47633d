#include "protocol/content_chunker.h"

#include <array>
#include <cstring>

#include "base/file.h"

namespace {

constexpr uint32_t kKiB = 1024;
constexpr uint32_t kMiB = 1024 * 1024;

// The Gear table: 256 outputs of splitmix64 from the state 0, so that any implementation can
// rebuild it without a copy of ours.
constexpr std::array<uint64_t, 256> makeGearTable() {
    std::array<uint64_t, 256> table{};
    uint64_t state = 0;
    for (uint64_t& value : table) {
        state += 0x9E3779B97F4A7C15ULL;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        value = z ^ (z >> 31);
    }
    return table;
}

constexpr std::array<uint64_t, 256> kGear = makeGearTable();

constexpr uint64_t kP1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t kP2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t kP3 = 0x165667B19E3779F9ULL;

inline uint64_t rotl(uint64_t x, int r) {
    return (x << r) | (x >> (64 - r));
}

// Little-endian, whatever the host; every Windows target is little-endian, so this is one load.
inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

inline uint64_t fingerprintRound(uint64_t acc, uint64_t word) {
    return rotl(acc + word * kP2, 31) * kP1;
}

int log2Exact(uint32_t value) {
    int bits = 0;
    while ((1u << bits) < value)
        ++bits;
    return bits;
}

// The top `bits` bits: the ones that depend on the most recent bytes of the rolling window (the
// Gear hash shifts left, so bit k carries the last k + 1 bytes).
uint64_t topMask(int bits) {
    return bits <= 0 ? 0 : ~0ULL << (64 - bits);
}

}  // namespace

ChunkParams defaultChunkParams() {
    return ChunkParams{16 * kKiB, 64 * kKiB, 256 * kKiB};
}

bool chunkParamsSane(const ChunkParams& p) {
    bool powerOfTwo = p.avgSize != 0 && (p.avgSize & (p.avgSize - 1)) == 0;
    return powerOfTwo && p.minSize >= kKiB && p.minSize <= p.avgSize && p.avgSize <= p.maxSize &&
           p.avgSize >= 4 * kKiB && p.avgSize <= kMiB && p.maxSize <= 4 * kMiB;
}

uint64_t gearValue(uint8_t byte) {
    return kGear[byte];
}

size_t findChunkCut(const uint8_t* data, size_t available, const ChunkParams& params) {
    if (available <= params.minSize) return available;
    // Normalised chunking: a harder mask before the average length, an easier one after it, so
    // lengths gather around the average instead of spreading out geometrically.
    const int bits = log2Exact(params.avgSize);
    const uint64_t hardMask = topMask(bits + 2);
    const uint64_t easyMask = topMask(bits - 2);
    const size_t normal = available < params.avgSize ? available : params.avgSize;
    const size_t limit = available < params.maxSize ? available : params.maxSize;
    uint64_t hash = 0;
    size_t i = params.minSize;
    for (; i < normal; ++i) {
        hash = (hash << 1) + kGear[data[i]];
        if ((hash & hardMask) == 0) return i + 1;
    }
    for (; i < limit; ++i) {
        hash = (hash << 1) + kGear[data[i]];
        if ((hash & easyMask) == 0) return i + 1;
    }
    return limit;
}

uint64_t chunkFingerprint(const uint8_t* data, size_t length) {
    uint64_t v0 = kP1, v1 = kP2, v2 = kP3, v3 = kP1 ^ kP2;
    size_t i = 0;
    for (; i + 32 <= length; i += 32) {
        v0 = fingerprintRound(v0, load64(data + i));
        v1 = fingerprintRound(v1, load64(data + i + 8));
        v2 = fingerprintRound(v2, load64(data + i + 16));
        v3 = fingerprintRound(v3, load64(data + i + 24));
    }
    uint64_t h = rotl(v0, 1) + rotl(v1, 7) + rotl(v2, 12) + rotl(v3, 18) + static_cast<uint64_t>(length);
    for (; i + 8 <= length; i += 8)
        h = rotl(h ^ fingerprintRound(0, load64(data + i)), 27) * kP1 + kP3;
    for (; i < length; ++i)
        h = rotl(h ^ (data[i] * kP3), 11) * kP1;
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    h ^= h >> 32;
    return h;
}

ChunkDigester::ChunkDigester() {
    ready = BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0;
}

bool ChunkDigester::digest(const uint8_t* data, size_t length, uint8_t strong[16]) {
    memset(strong, 0, 16);
    if (!ready || length > 0xFFFFFFFFu) return false;
    UniqueHash hash;
    unsigned char full[32];
    if (BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0) < 0 ||
        BCryptHashData(hash.get(), const_cast<PUCHAR>(data), static_cast<ULONG>(length), 0) < 0 ||
        BCryptFinishHash(hash.get(), full, sizeof full, 0) < 0)
        return false;
    memcpy(strong, full, 16);
    return true;
}

ChunkReader::ChunkReader(HANDLE handle, const ChunkParams& chunkParams) : file(handle), params(chunkParams) {
    // Room for several chunks per read, and never less than a whole maximum chunk behind the
    // cut being searched.
    capacity = params.maxSize * size_t{4};
    if (capacity < kMiB) capacity = kMiB;
    buffer.reset(new uint8_t[capacity]);
}

bool ChunkReader::next(ChunkView& chunk) {
    if (error) return false;
    if (filled - start < params.maxSize && !atEnd) {
        memmove(buffer.get(), buffer.get() + start, filled - start);
        filled -= start;
        start = 0;
        while (filled < capacity) {
            DWORD got = 0;
            DWORD want = static_cast<DWORD>(capacity - filled);
            if (!ReadFile(file, buffer.get() + filled, want, &got, nullptr)) {
                error = lastErrorOr(ERROR_READ_FAULT);
                return false;
            }
            if (got == 0) {
                atEnd = true;
                break;
            }
            filled += got;
        }
    }
    if (start == filled) return false;
    size_t cut = findChunkCut(buffer.get() + start, filled - start, params);
    chunk.offset = offset;
    chunk.data = buffer.get() + start;
    chunk.length = static_cast<uint32_t>(cut);
    start += cut;
    offset += cut;
    return true;
}
