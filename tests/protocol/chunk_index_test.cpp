#include "protocol/chunk_index.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "protocol/manifest.h"

namespace {

ChunkIndex sampleIndex() {
    ChunkIndex index;
    index.params = ChunkParams{1024, 4096, 16384};
    const uint32_t lengths[] = {4000, 1024, 16384, 7};
    for (uint32_t i = 0; i < 4; ++i) {
        ChunkEntry chunk;
        chunk.length = lengths[i];
        chunk.fingerprint = 0x0102030405060708ULL * (i + 1);
        for (int b = 0; b < 16; ++b)
            chunk.strong[b] = static_cast<uint8_t>(i * 16 + b);
        index.chunks.push_back(chunk);
        index.fileSize += chunk.length;
    }
    return index;
}

void put32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

TEST(ChunkIndex, FormatsAndReadsBack) {
    const ChunkIndex index = sampleIndex();
    const std::string bytes = formatChunkIndex(index);
    ASSERT_EQ(chunkIndexSize(4), bytes.size());
    EXPECT_EQ(0, memcmp(bytes.data(), "QVPARCA1", 8));
    ChunkIndex read;
    ASSERT_EQ(ChunkIndexFault::None, parseChunkIndex(bytes, index.fileSize, read));
    ASSERT_EQ(4u, read.chunks.size());
    EXPECT_EQ(1024u, read.params.minSize);
    const uint64_t offsets[] = {0, 4000, 5024, 21408};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(offsets[i], read.chunks[i].offset) << i;
        EXPECT_EQ(index.chunks[i].length, read.chunks[i].length) << i;
        EXPECT_EQ(index.chunks[i].fingerprint, read.chunks[i].fingerprint) << i;
        EXPECT_EQ(0, memcmp(index.chunks[i].strong, read.chunks[i].strong, 16)) << i;
    }
}

// Every way an index can fail to describe the listed file is refused before a chunk is used.
TEST(ChunkIndex, RefusesWhatCannotDescribeTheFile) {
    const ChunkIndex index = sampleIndex();
    const std::string good = formatChunkIndex(index);
    const uint64_t size = index.fileSize;
    struct Case {
        const char* name;
        std::function<void(std::string&)> damage;
        uint64_t fileSize;
        ChunkIndexFault fault;
    } cases[] = {
        {"empty", [](std::string& b) { b.clear(); }, size, ChunkIndexFault::BadHeader},
        {"another magic", [](std::string& b) { b[7] = '2'; }, size, ChunkIndexFault::BadHeader},
        {"header cut short", [](std::string& b) { b.resize(31); }, size, ChunkIndexFault::BadHeader},
        {"average not a power of two", [](std::string& b) { put32(b, 12, 5000); }, size,
         ChunkIndexFault::BadParams},
        {"maximum of 64 MiB", [](std::string& b) { put32(b, 16, 67108864); }, size,
         ChunkIndexFault::BadParams},
        {"a file of another size", [](std::string&) {}, size + 1, ChunkIndexFault::WrongFileSize},
        {"one entry missing", [](std::string& b) { b.resize(b.size() - 28); }, size,
         ChunkIndexFault::BadSize},
        {"a byte too many", [](std::string& b) { b += 'x'; }, size, ChunkIndexFault::BadSize},
        {"a count of four billion", [](std::string& b) { put32(b, 20, 0xFFFFFFFFu); }, size,
         ChunkIndexFault::BadSize},
        {"no chunks",
         [](std::string& b) {
             put32(b, 20, 0);
             b.resize(32);
         },
         size, ChunkIndexFault::WrongTotal},
        {"a chunk of length 0", [](std::string& b) { put32(b, 32 + 28 * 3, 0); }, size,
         ChunkIndexFault::BadLength},
        {"a chunk over the maximum", [](std::string& b) { put32(b, 32 + 28 * 2, 16385); }, size,
         ChunkIndexFault::BadLength},
        {"a middle chunk under the minimum", [](std::string& b) { put32(b, 32 + 28, 1023); }, size,
         ChunkIndexFault::BadLength},
        {"lengths that fall short", [](std::string& b) { put32(b, 32, 3999); }, size,
         ChunkIndexFault::WrongTotal},
    };
    for (const Case& c : cases) {
        std::string bytes = good;
        c.damage(bytes);
        ChunkIndex read;
        EXPECT_EQ(c.fault, parseChunkIndex(bytes, c.fileSize, read)) << c.name;
        EXPECT_TRUE(read.chunks.empty()) << c.name;
    }
}

// "P" records: launchers without them ignore the line; this one keeps the last per file hash.
TEST(ChunkIndex, ListRecords) {
    const std::string file(64, 'a'), other(64, 'b'), index(64, 'c');
    const std::string head = "#QORVANEPC 1\nK " + file + " 5000000 pack/a.epk\n";
    struct Case {
        const char* name;
        std::string line;
        bool kept;
        uint64_t size;
    } cases[] = {
        {"plain", "P " + file + " " + index + " 1432\n", true, 1432},
        {"fields after the size are left for later", "P " + file + " " + index + " 60 x y\n", true, 60},
        {"size 0", "P " + file + " " + index + " 0\n", false, 0},
        {"no size", "P " + file + " " + index + "\n", false, 0},
        {"short file hash", "P " + file.substr(1) + " " + index + " 60\n", false, 0},
        {"short index hash", "P " + file + " " + index.substr(1) + " 60\n", false, 0},
    };
    for (const Case& c : cases) {
        Manifest m;
        ASSERT_TRUE(parseManifest(head + c.line, m)) << c.name;
        const ChunkIndexRef* ref = chunkIndexFor(m, file);
        ASSERT_EQ(c.kept, ref != nullptr) << c.name;
        if (ref) {
            EXPECT_EQ(index, ref->hash) << c.name;
            EXPECT_EQ(c.size, ref->size) << c.name;
        }
        EXPECT_EQ(1u, m.entries.size()) << c.name;
    }
    Manifest m;
    ASSERT_TRUE(
        parseManifest(head + "P " + file + " " + index + " 60\nP " + file + " " + other + " 90\n", m));
    EXPECT_EQ(other, chunkIndexFor(m, file)->hash);
    EXPECT_EQ(nullptr, chunkIndexFor(m, other));
}
