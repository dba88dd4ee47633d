#include "update/range_fetch.h"

#include <gtest/gtest.h>

#include <string>

#include "base/handles.h"
#include "tests/support/random_text.h"
#include "tests/support/temp_folder.h"

namespace {

// An index of fixed-length chunks over `bytes`.
ChunkIndex indexOf(const std::string& bytes, uint32_t length) {
    ChunkIndex index;
    index.params = ChunkParams{1024, 4096, 16384};
    ChunkDigester digester;
    for (size_t at = 0; at < bytes.size(); at += length) {
        ChunkEntry chunk;
        chunk.offset = at;
        chunk.length = static_cast<uint32_t>(std::min<size_t>(length, bytes.size() - at));
        digester.digest(reinterpret_cast<const uint8_t*>(bytes.data()) + at, chunk.length, chunk.strong);
        index.chunks.push_back(chunk);
    }
    index.fileSize = bytes.size();
    return index;
}

struct Counter {
    int64_t bytes = 0;
    bool stop = false;
};

}  // namespace

// Every chunk of a range is checked before it is written; a bad one stops the body there, and
// nothing of it or after it reaches the file.
TEST(RangeFetch, ChunksAreWrittenOnlyOnceChecked) {
    const std::string file = randomText(10 * 3000, 1);
    const ChunkIndex index = indexOf(file, 3000);
    const FetchRange range{6000, 12000, 2, 4};  // chunks 2 to 5
    const std::string body = file.substr(6000, 12000);
    struct Case {
        const char* name;
        std::string body;
        size_t block;
        bool stop;
        bool accepted;
        uint64_t written;
    } cases[] = {
        {"whole range in odd blocks", body, 777, false, true, 12000},
        {"in one block", body, 12000, false, true, 12000},
        {"third chunk damaged", body.substr(0, 7000) + "X" + body.substr(7001), 1000, false, false, 6000},
        // The block that would pass the range is refused whole, as the whole-file sink does.
        {"a byte beyond the range", body + "!", 4096, false, false, 6000},
        {"stopped", body, 1000, true, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string blank(file.size(), '\0');
        writeFileBytes(folder.file(L"t.indir"), blank);
        UniqueFile handle(CreateFileW(folder.file(L"t.indir").c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
        ASSERT_TRUE(handle);
        Counter counter;
        counter.stop = c.stop;
        ChunkCheckSink sink(handle.get(), index, range);
        sink.context = &counter;
        sink.stop = [](void* context) { return static_cast<Counter*>(context)->stop; };
        sink.count = [](void* context, int64_t bytes) { static_cast<Counter*>(context)->bytes += bytes; };
        bool accepted = true;
        uint64_t total = 0;
        for (size_t at = 0; at < c.body.size() && accepted; at += c.block) {
            size_t length = std::min(c.block, c.body.size() - at);
            total += length;
            accepted = chunkCheckSinkCallback(&sink, reinterpret_cast<const uint8_t*>(c.body.data()) + at,
                                              length, total);
        }
        handle.reset();
        EXPECT_EQ(c.accepted, accepted);
        EXPECT_EQ(c.accepted, sink.complete());
        EXPECT_EQ(c.written, sink.written);
        EXPECT_EQ(static_cast<int64_t>(sink.received), counter.bytes);
        std::string expected = blank;
        expected.replace(6000, c.written, file.substr(6000, c.written));
        EXPECT_TRUE(expected == readFileBytes(folder.file(L"t.indir")));
    }
}
