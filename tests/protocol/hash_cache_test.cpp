#include "protocol/hash_cache.h"

#include <gtest/gtest.h>

#include "base/path_identity.h"
#include "tests/support/temp_folder.h"

namespace {

std::string cacheLine(const std::string& hash, const std::string& size, const std::string& mtime,
                      const std::string& path) {
    return hash + " " + size + " " + mtime + " " + path + "\n";
}

}  // namespace

TEST(HashCacheFile, ParsesLinesLeniently) {
    const std::string h(64, 'b'), h2(64, 'c');
    std::string text = cacheLine(h, "10", "20", "Pack/With Spaces/x.bin") +  // spaces kept, key normalised
                       cacheLine(std::string(63, 'd'), "1", "1", "short") +  // 63-character hash
                       cacheLine(std::string(65, 'd'), "1", "1", "long") +   // 65-character hash
                       cacheLine(h, "12ab", "", "digits") +  // digits then letters, empty field
                       h + " 1 2\n" +                        // third blank missing
                       h + " \n" +                           // first blank is the last byte
                       "\n\r\n" + cacheLine(h, "1", "1", "DUP\\A.bin") +
                       cacheLine(h2, "2", "2", "dup/a.bin") +
                       cacheLine(h, "5", "6", "");  // empty path: an entry under the empty key
    HashCache cache;
    parseHashCache(text, cache);
    ASSERT_EQ(4u, cache.size());
    EXPECT_EQ(10u, cache.at(pathKey(L"pack/with spaces/x.bin")).size);
    EXPECT_EQ(20u, cache.at(pathKey(L"pack/with spaces/x.bin")).mtime);
    EXPECT_EQ(12u, cache.at(pathKey(L"digits")).size);
    EXPECT_EQ(0u, cache.at(pathKey(L"digits")).mtime);
    EXPECT_EQ(h2, cache.at(pathKey(L"dup/a.bin")).hash);
    EXPECT_EQ(2u, cache.at(pathKey(L"dup/a.bin")).size);
    EXPECT_EQ(1u, cache.count(L""));
}

// A cache written by an earlier launcher (keys lowered in A-Z only) still vouches for its files.
TEST(HashCacheFile, KeysOfEarlierLaunchersLoadUnderTodaysIdentity) {
    const std::string h(64, 'b');
    HashCache cache;
    parseHashCache(cacheLine(h, "3", "4", "pack/\xc5\x9f" "ehir//harita.epk") + cacheLine(h, "5", "6", "./data\\x.bin"),
                   cache);
    ASSERT_EQ(2u, cache.size());
    EXPECT_EQ(3u, cache.at(pathKey(L"Pack/\u015eehir/Harita.epk")).size);
    EXPECT_EQ(5u, cache.at(pathKey(L"DATA/X.BIN")).size);
}

TEST(HashCacheFile, CrlfLoadsLikeLf) {
    const std::string h(64, 'e');
    std::string lf = cacheLine(h, "1", "2", "a/b") + cacheLine(h, "3", "4", "c d");
    std::string crlf = lf;
    for (size_t i = crlf.find('\n'); i != std::string::npos; i = crlf.find('\n', i + 2))
        crlf.insert(i, "\r");
    HashCache a, b;
    parseHashCache(lf, a);
    parseHashCache(crlf, b);
    EXPECT_EQ(formatHashCache(a), formatHashCache(b));
    EXPECT_EQ(2u, b.size());
}

TEST(HashCacheFile, SaveAndLoadRoundTrip) {
    TempFolder t;
    CreateDirectoryW(t.file(L"koruma").c_str(), nullptr);
    HashCache cache;
    cache[pathKey(L"pack/\u00e7i\u00e7ek dosya.epk")] = {std::string(64, 'f'), 123, 0x01d9000011112222ull};
    cache[pathKey(L"a.bin")] = {std::string(64, '0'), 0, 1};
    saveHashCache(t.path, cache);
    EXPECT_EQ(std::string(64, '0') + " 0 1 A.BIN\n", t.read(L"koruma/onbellek.txt").substr(0, 75));
    HashCache back;
    loadHashCache(t.path, back);
    EXPECT_EQ(formatHashCache(cache), formatHashCache(back));

    saveHashCache(t.path, HashCache{});
    EXPECT_TRUE(t.exists(L"koruma/onbellek.txt"));
    EXPECT_EQ("", t.read(L"koruma/onbellek.txt"));
}

TEST(HashCacheFile, SizeLimitIsSixtyFourMebibytes) {
    TempFolder t;
    const std::string line = cacheLine(std::string(64, 'a'), "1", "2", "x");
    for (uint64_t size : {67108864ull, 67108863ull}) {
        std::string bytes(static_cast<size_t>(size), '\n');
        bytes.replace(0, line.size(), line);
        t.write(L"koruma/onbellek.txt", bytes);
        HashCache cache;
        loadHashCache(t.path, cache);
        EXPECT_EQ(size < 67108864ull ? 1u : 0u, cache.size()) << size;
    }
}

TEST(HashCacheFile, MissingFileAddsNothing) {
    TempFolder t;
    HashCache cache;
    cache[L"kept"] = {};
    loadHashCache(t.path, cache);
    EXPECT_EQ(1u, cache.size());
}
