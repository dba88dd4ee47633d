#include "protocol/content_chunker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "base/sha256.h"
#include "tests/support/temp_folder.h"

namespace {

std::vector<uint8_t> randomBytes(size_t size, uint64_t seed) {
    std::vector<uint8_t> data(size);
    uint64_t x = seed | 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        data[i] = static_cast<uint8_t>(x >> 24);
    }
    return data;
}

struct Piece {
    uint64_t offset;
    uint32_t length;
    uint64_t fingerprint;
};

std::vector<Piece> cutAll(const std::vector<uint8_t>& data, const ChunkParams& params) {
    std::vector<Piece> pieces;
    size_t at = 0;
    while (at < data.size()) {
        size_t length = findChunkCut(data.data() + at, data.size() - at, params);
        pieces.push_back(
            Piece{at, static_cast<uint32_t>(length), chunkFingerprint(data.data() + at, length)});
        at += length;
    }
    return pieces;
}

// Bytes of `after` in chunks that `before` does not have (by fingerprint and length).
uint64_t unmatchedBytes(const std::vector<Piece>& before, const std::vector<Piece>& after) {
    std::set<std::pair<uint64_t, uint32_t>> known;
    for (const Piece& p : before)
        known.insert({p.fingerprint, p.length});
    uint64_t bytes = 0;
    for (const Piece& p : after)
        if (!known.count({p.fingerprint, p.length})) bytes += p.length;
    return bytes;
}

const ChunkParams kSmall{1024, 4096, 16384};

}  // namespace

// Published indexes carry these values: changing the Gear table or the fingerprint would make every
// launcher find nothing in its own files, so they are pinned here.
TEST(ContentChunker, FormatConstantsArePinned) {
    EXPECT_EQ(0xE220A8397B1DCDAFULL, gearValue(0));  // splitmix64's first output from the state 0
    EXPECT_EQ(0x6E789E6AA1B965F4ULL, gearValue(1));
    const std::string abc = "abc";
    const std::string longer(100, 'q');
    struct Case {
        std::string bytes;
        uint64_t fingerprint;
    } cases[] = {
        {"", 0xB49C4D244CED8F56ULL},
        {abc, 0xEC9B8EC3A6B19421ULL},
        {longer, 0x5B0F1DB6CFF4EE38ULL},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.fingerprint,
                  chunkFingerprint(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()))
            << c.bytes.size() << " bytes: 0x" << std::hex
            << chunkFingerprint(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
    // And where the cuts fall: the lengths of the first chunks of a fixed byte sequence.
    std::vector<Piece> pieces = cutAll(randomBytes(40000, 7), kSmall);
    std::string lengths;
    for (size_t i = 0; i < 5 && i < pieces.size(); ++i)
        lengths += std::to_string(pieces[i].length) + " ";
    EXPECT_EQ("4242 6586 4186 5249 5673 ", lengths);
}

TEST(ContentChunker, ChunksStayWithinTheirBoundsAndCoverTheData) {
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        ChunkParams params;
    } cases[] = {
        {"random", randomBytes(3000000, 7), kSmall},
        {"zeros: every cut at the maximum", std::vector<uint8_t>(200000, 0), kSmall},
        {"shorter than the minimum", randomBytes(700, 3), kSmall},
        {"the default parameters", randomBytes(4000000, 11), defaultChunkParams()},
    };
    for (const Case& c : cases) {
        std::vector<Piece> pieces = cutAll(c.data, c.params);
        uint64_t total = 0;
        for (size_t i = 0; i < pieces.size(); ++i) {
            EXPECT_LE(pieces[i].length, c.params.maxSize) << c.name;
            if (i + 1 < pieces.size()) {
                EXPECT_GE(pieces[i].length, c.params.minSize) << c.name;
            }
            total += pieces[i].length;
        }
        EXPECT_EQ(c.data.size(), total) << c.name;
    }
    // On random bytes the lengths gather near the average (the minimum is skipped, so a little above).
    std::vector<Piece> pieces = cutAll(randomBytes(8000000, 5), kSmall);
    double mean = 8000000.0 / pieces.size();
    EXPECT_GT(mean, 0.8 * kSmall.avgSize);
    EXPECT_LT(mean, 1.6 * kSmall.avgSize);
}

// An edit moves only the cuts near it: the rest of the file is found again, whatever it shifted.
TEST(ContentChunker, AnEditCostsLittleMoreThanItsOwnBytes) {
    const std::vector<uint8_t> original = randomBytes(2000000, 99);
    const std::vector<uint8_t> noise = randomBytes(5000, 1234);
    const std::vector<Piece> before = cutAll(original, kSmall);
    auto edited = [&](size_t at, size_t removed, size_t inserted) {
        std::vector<uint8_t> out(original.begin(), original.begin() + static_cast<ptrdiff_t>(at));
        out.insert(out.end(), noise.begin(), noise.begin() + static_cast<ptrdiff_t>(inserted));
        out.insert(out.end(), original.begin() + static_cast<ptrdiff_t>(at + removed), original.end());
        return out;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> after;
        uint64_t changed;
    } cases[] = {
        {"overwrite in the middle", edited(1000000, 3000, 3000), 3000},
        {"insert near the start", edited(10000, 0, 5000), 5000},
        {"one byte inserted", edited(500000, 0, 1), 1},
        {"delete", edited(700000, 4000, 0), 0},
        {"append", edited(original.size(), 0, 5000), 5000},
        {"unchanged", original, 0},
    };
    for (const Case& c : cases) {
        uint64_t unmatched = unmatchedBytes(before, cutAll(c.after, kSmall));
        // The edited bytes plus the chunks around them until the cuts fall into step again.
        EXPECT_LE(unmatched, c.changed + 4 * kSmall.maxSize) << c.name;
    }
    EXPECT_EQ(0u, unmatchedBytes(before, cutAll(original, kSmall)));
}

// Reading a file in blocks cuts exactly where cutting it whole in memory does.
TEST(ContentChunker, ReaderCutsAFileAsMemoryDoes) {
    TempFolder folder;
    const std::vector<uint8_t> data = randomBytes(6 * 1048576 + 12345, 42);
    folder.write(L"big.bin", std::string(data.begin(), data.end()));
    for (ChunkParams params : {kSmall, defaultChunkParams(), ChunkParams{1048576, 1048576, 4194304}}) {
        UniqueFile file(CreateFileW(folder.file(L"big.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        ChunkReader reader(file.get(), params);
        std::vector<Piece> expected = cutAll(data, params);
        ChunkView view;
        size_t i = 0;
        while (reader.next(view)) {
            ASSERT_LT(i, expected.size()) << params.avgSize;
            EXPECT_EQ(expected[i].offset, view.offset) << params.avgSize << " chunk " << i;
            EXPECT_EQ(expected[i].length, view.length) << params.avgSize << " chunk " << i;
            EXPECT_EQ(0, memcmp(data.data() + view.offset, view.data, view.length)) << params.avgSize;
            ++i;
        }
        EXPECT_EQ(0u, reader.error);
        EXPECT_EQ(expected.size(), i) << params.avgSize;
    }
}

TEST(ContentChunker, StrongCheckIsTheSha256Prefix) {
    ChunkDigester digester;
    for (size_t size : {size_t{0}, size_t{1}, size_t{65536}, size_t{300001}}) {
        std::vector<uint8_t> data = randomBytes(size, size + 1);
        uint8_t strong[16];
        ASSERT_TRUE(digester.digest(data.data(), data.size(), strong));
        unsigned char full[32];
        sha256Digest(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), full);
        EXPECT_EQ(0, memcmp(strong, full, 16)) << size;
    }
}

TEST(ContentChunker, SaneParameters) {
    struct Case {
        ChunkParams params;
        bool sane;
    } cases[] = {
        {defaultChunkParams(), true},
        {{1024, 4096, 16384}, true},
        {{1048576, 1048576, 4194304}, true},
        {{512, 4096, 16384}, false},        // minimum below 1 KiB
        {{8192, 4096, 16384}, false},       // minimum above the average
        {{1024, 5000, 16384}, false},       // average not a power of two
        {{1024, 2048, 16384}, false},       // average below 4 KiB
        {{1024, 2097152, 4194304}, false},  // average above 1 MiB
        {{1024, 65536, 32768}, false},      // maximum below the average
        {{1024, 65536, 8388608}, false},    // maximum above 4 MiB
        {{0, 0, 0}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.sane, chunkParamsSane(c.params))
            << c.params.minSize << "/" << c.params.avgSize << "/" << c.params.maxSize;
}
