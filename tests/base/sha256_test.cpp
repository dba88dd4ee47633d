// SHA-256 known answers, in one piece, fed in parts and of files, and the hexadecimal text both ways.
#include "base/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

const char kEmptySha[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const char kAbcSha[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
// The two-block message of the published test vectors.
const char kTwoBlocks[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const char kTwoBlocksSha[] = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";

TEST(Sha256, KnownAnswersWholeAndInParts) {
    EXPECT_EQ(sha256Hex(""), kEmptySha);
    EXPECT_EQ(sha256Hex("abc"), kAbcSha);
    EXPECT_EQ(sha256Hex(kTwoBlocks), kTwoBlocksSha);

    Sha256 parts;
    ASSERT_TRUE(parts.ready);
    parts.add("a", 1);
    parts.add(nullptr, 0);
    parts.add("bc", 2);
    EXPECT_EQ(parts.finishHex(), kAbcSha);
    EXPECT_FALSE(parts.ready) << "a finished digest takes no more data";

    unsigned char digest[32];
    sha256Digest("abc", digest);
    EXPECT_EQ(toHex(digest, 32), kAbcSha);
}

TEST(Hex, LowercaseOutAndEitherCaseInOfExactlyTheAskedLength) {
    const unsigned char bytes[] = {0x00, 0x3f, 0xa0, 0xff};
    EXPECT_EQ(toHex(bytes, 4), "003fa0ff");
    EXPECT_EQ(toHex(bytes, 0), "");

    unsigned char out[4] = {};
    ASSERT_TRUE(fromHex("003FA0ff", out, 4));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), std::string(reinterpret_cast<const char*>(bytes), 4));
    for (const char* bad : {"003fa0f", "003fa0fff", "003fa0fg", "003fa0f ", " 03fa0ff", "0x3fa0ff"})
        EXPECT_FALSE(fromHex(bad, out, 4)) << bad;
    EXPECT_TRUE(fromHex("", out, 0));
}

}  // namespace

TEST(Hashing, KnownAnswers) {
    TempFolder t;
    t.write(L"empty", "");
    t.write(L"abc", "abc");
    EXPECT_EQ(kEmptySha, hashFile(t.file(L"empty"), nullptr, nullptr));
    EXPECT_EQ(kAbcSha, hashFile(t.file(L"abc"), nullptr, nullptr));
    EXPECT_EQ("", hashFile(t.file(L"missing"), nullptr, nullptr));

    DWORD error = 0;
    EXPECT_EQ("", hashFile(t.file(L"missing"), nullptr, nullptr, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
}

TEST(Hashing, ProgressCountsBlocksAndCanStop) {
    TempFolder t;
    std::string big(2 * 1048576 + 5, 'x');
    t.write(L"big", big);
    t.write(L"small", "abc");
    std::vector<uint64_t> seen;
    auto record = [](void* c, uint64_t n) {
        static_cast<std::vector<uint64_t>*>(c)->push_back(n);
        return true;
    };
    std::string hash = hashFile(t.file(L"big"), record, &seen);
    EXPECT_EQ(sha256Hex(big), hash);
    EXPECT_EQ((std::vector<uint64_t>{1048576, 2097152, 2097157}), seen);

    auto refuse = [](void*, uint64_t) { return false; };
    DWORD error = 0;
    EXPECT_EQ("", hashFile(t.file(L"small"), refuse, nullptr, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), error);
}
