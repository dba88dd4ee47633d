// Content-defined chunking in memory: how fast the cutting, the fingerprints and the per-chunk
// SHA-256 run against a bare CNG hash of the same bytes, and, for several average chunk lengths,
// what a change of C bytes (an overwrite in the middle, an insert near the start, an append) would
// cost on the wire: the index plus every chunk of the new file that the old one lacks.
//
//   chunk_bench.exe [MiB]      (default 1024)
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "bench/processor_time.h"
#include "protocol/chunk_index.h"
#include "protocol/content_chunker.h"

namespace {

double now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / frequency.QuadPart;
}

void fillRandom(std::vector<uint8_t>& data, uint64_t seed) {
    uint64_t x = seed | 1;
    for (size_t i = 0; i + 8 <= data.size(); i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        memcpy(&data[i], &x, 8);
    }
}

struct Cut {
    uint64_t fingerprint;
    uint32_t length;
    bool operator<(const Cut& o) const {
        return fingerprint != o.fingerprint ? fingerprint < o.fingerprint : length < o.length;
    }
};

std::vector<Cut> cutAll(const std::vector<uint8_t>& data, const ChunkParams& params) {
    std::vector<Cut> cuts;
    size_t at = 0;
    while (at < data.size()) {
        size_t length = findChunkCut(data.data() + at, data.size() - at, params);
        cuts.push_back(Cut{chunkFingerprint(data.data() + at, length), static_cast<uint32_t>(length)});
        at += length;
    }
    return cuts;
}

// Index bytes plus the chunks of `after` that `before` lacks.
uint64_t wireBytes(const std::vector<Cut>& before, const std::vector<Cut>& after) {
    std::set<Cut> known(before.begin(), before.end());
    uint64_t bytes = chunkIndexSize(after.size());
    for (const Cut& c : after)
        if (!known.count(c)) bytes += c.length;
    return bytes;
}

void speed(const std::vector<uint8_t>& data, const ChunkParams& params) {
    const double mib = data.size() / 1048576.0;
    double t0 = now(), c0 = threadSeconds();
    size_t chunks = 0, at = 0;
    uint64_t sink = 0;
    while (at < data.size()) {
        size_t length = findChunkCut(data.data() + at, data.size() - at, params);
        sink ^= chunkFingerprint(data.data() + at, length);
        at += length;
        ++chunks;
    }
    double cutTime = now() - t0, cutCpu = threadSeconds() - c0;

    t0 = now();
    for (size_t i = 0; i + 65536 <= data.size(); i += 65536)
        sink ^= chunkFingerprint(data.data() + i, 65536);
    double fingerprintTime = now() - t0;

    ChunkDigester digester;
    uint8_t strong[16];
    t0 = now();
    at = 0;
    while (at < data.size()) {
        size_t length = findChunkCut(data.data() + at, data.size() - at, params);
        digester.digest(data.data() + at, length, strong);
        at += length;
    }
    double digestTime = now() - t0;

    BCRYPT_ALG_HANDLE alg;
    BCRYPT_HASH_HANDLE hash;
    BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0);
    t0 = now();
    for (size_t i = 0; i < data.size(); i += 1048576)
        BCryptHashData(hash, const_cast<PUCHAR>(data.data() + i),
                       static_cast<ULONG>(std::min<size_t>(1048576, data.size() - i)), 0);
    unsigned char digest[32];
    BCryptFinishHash(hash, digest, 32, 0);
    double bareTime = now() - t0;
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(alg, 0);

    printf("average %u KiB: %zu chunks (mean %.1f KiB), index %.0f KiB\n", params.avgSize / 1024, chunks,
           data.size() / 1024.0 / chunks, chunkIndexSize(chunks) / 1024.0);
    printf("  cut + fingerprint        %8.0f MiB/s (processor %.2f s)\n", mib / cutTime, cutCpu);
    printf("  fingerprint alone        %8.0f MiB/s\n", mib / fingerprintTime);
    printf("  cut + SHA-256 per chunk  %8.0f MiB/s\n", mib / digestTime);
    printf("  bare CNG SHA-256         %8.0f MiB/s\n", mib / bareTime);
    printf("figure: cut_mib_s_%u %.0f\n", params.avgSize / 1024, mib / cutTime);
    printf("figure: chunk_sha_mib_s_%u %.0f\n", params.avgSize / 1024, mib / digestTime);
    printf("figure: bare_sha_mib_s %.0f\n", mib / bareTime);
    if (sink == 42) printf(" ");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const uint64_t mebibytes = argc > 1 ? _wtoi64(argv[1]) : 1024;
    std::vector<uint8_t> original(static_cast<size_t>(mebibytes) * 1048576);
    fillRandom(original, 0x1234567);
    const uint32_t averages[] = {16384, 32768, 65536, 131072, 262144};
    const uint64_t changes[] = {4096, 65536, 1048576, original.size() / 100};

    printf("== speed on %llu MiB of random bytes\n", static_cast<unsigned long long>(mebibytes));
    for (uint32_t avg : averages)
        speed(original, ChunkParams{avg / 4, avg, avg * 4});

    printf("\n== bytes on the wire (index included) for a change of C bytes; goal 2*C + 1 MiB\n");
    printf(
        "| average | C | overwrite middle | insert near start | append | goal "
        "|\n|---|---|---|---|---|---|\n");
    std::vector<uint8_t> noise(static_cast<size_t>(changes[3]));
    fillRandom(noise, 0xabcdef);
    for (uint32_t avg : averages) {
        ChunkParams params{avg / 4, avg, avg * 4};
        std::vector<Cut> before = cutAll(original, params);
        for (uint64_t c : changes) {
            std::vector<uint8_t> overwrite = original;
            memcpy(overwrite.data() + overwrite.size() / 2, noise.data(), c);
            std::vector<uint8_t> insert;
            insert.reserve(original.size() + c);
            insert.insert(insert.end(), original.begin(), original.begin() + 1048576);
            insert.insert(insert.end(), noise.begin(), noise.begin() + static_cast<ptrdiff_t>(c));
            insert.insert(insert.end(), original.begin() + 1048576, original.end());
            std::vector<uint8_t> append = original;
            append.insert(append.end(), noise.begin(), noise.begin() + static_cast<ptrdiff_t>(c));
            uint64_t goal = 2 * c + 1048576;
            uint64_t a = wireBytes(before, cutAll(overwrite, params));
            uint64_t b = wireBytes(before, cutAll(insert, params));
            uint64_t d = wireBytes(before, cutAll(append, params));
            printf("| %u KiB | %llu | %.0f KiB%s | %.0f KiB%s | %.0f KiB%s | %.0f KiB |\n", avg / 1024,
                   static_cast<unsigned long long>(c), a / 1024.0, a > goal ? " (over)" : "", b / 1024.0,
                   b > goal ? " (over)" : "", d / 1024.0, d > goal ? " (over)" : "", goal / 1024.0);
            fflush(stdout);
        }
    }
    return 0;
}
