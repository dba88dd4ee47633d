#include "protocol/key_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "base/text.h"
#include "tests/support/built_program.h"
#include "tests/support/dev_key.h"
#include "tests/support/keyed_program.h"
#include "tests/support/temp_folder.h"
#include "tools/list_signing.h"

namespace {

const std::string kHexA =
    "b7ef59cabb6488c2f21bc1f78de3955f77ef3f9bcb7f922afbbe7dcba4f4da79"
    "fa76503944b588405abab8ae017932a7ec16d8c77a5296aa83ebf66e94d6d4de";
const std::string kHexB(128, '1');
const std::string kSignedList = "#QORVANEPC 1\n#surum 7\nK " + std::string(64, 'a') + " 3 a.bin\n";

}  // namespace

TEST(KeySet, TextFormOfTheBuildOptionAndTheResource) {
    struct Case {
        std::string text;
        size_t keys;  // 0: refused
    };
    const Case cases[] = {
        {kHexA, 1},
        {kHexA + "," + kHexB, 2},
        {" " + kHexA + ",\r\n" + kHexB + "\n", 2},
        {kHexA + "," + kHexA, 1},  // a repeated key counts once
        {"", 0},
        {",", 0},
        {kHexA.substr(0, 127), 0},
        {kHexA + "0", 0},
        {kHexA + "," + kHexB.substr(2), 0},
        {kHexA.substr(0, 126) + "zz", 0},
    };
    for (const Case& c : cases) {
        KeySet keys;
        EXPECT_EQ(parseKeySet(c.text, keys), c.keys != 0) << c.text;
        EXPECT_EQ(keys.size(), c.keys) << c.text;
    }
    KeySet keys;
    ASSERT_TRUE(parseKeySet("B7EF" + kHexA.substr(4), keys));  // either case
    EXPECT_EQ(keyHex(keys[0]), kHexA);
}

TEST(KeySet, ReadFromAProgramFileWithoutRunningIt) {
    // This test binary is built like the launcher: it trusts the build's keys, the development key.
    ASSERT_EQ(ownKeySet(), KeySet{developmentKey()});
    KeySet read;
    DWORD error = 0;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_TRUE(readProgramKeySet(self, read, &error)) << error;
    EXPECT_EQ(read, ownKeySet());

    TempFolder t;
    KeySet two = freshKeySet();
    two.push_back(developmentKey());
    writeKeyedProgram(t.file(L"iki.exe"), two);
    EXPECT_TRUE(readProgramKeySet(t.file(L"iki.exe"), read));
    EXPECT_EQ(read, two);
    // A published object has no extension; the loader must not look for "<name>.dll".
    ASSERT_TRUE(CopyFileW(t.file(L"iki.exe").c_str(), t.file(L"0123abcd").c_str(), FALSE));
    EXPECT_TRUE(readProgramKeySet(t.file(L"0123abcd"), read));
    EXPECT_EQ(read, two);
    // Replacing the set leaves exactly the new one.
    ASSERT_EQ(setProgramKeySet(t.file(L"iki.exe"), {two[0]}), 0u);
    EXPECT_TRUE(readProgramKeySet(t.file(L"iki.exe"), read));
    EXPECT_EQ(read, KeySet{two[0]});

    struct Failure {
        const char* name;
        std::wstring path;
        DWORD error;
    };
    t.write(L"metin.exe", "MZ, but no program");
    const Failure failures[] = {
        {"a program without a key set", builtProgramPath(L"tests\\fixtures\\Qorvane.exe"), ERROR_NOT_FOUND},
        {"no program at all", t.file(L"metin.exe"), ERROR_BAD_EXE_FORMAT},
        {"missing", t.file(L"yok.exe"), ERROR_FILE_NOT_FOUND},
    };
    for (const Failure& f : failures) {
        error = 0;
        EXPECT_FALSE(readProgramKeySet(f.path, read, &error)) << f.name;
        EXPECT_TRUE(read.empty()) << f.name;
        EXPECT_EQ(error, f.error) << f.name;
    }
}

// Two keys trusted at once, as while a key is replaced: a list signed by either verifies, a list
// signed by a third key does not.
TEST(KeySet, AnyKeyOfTheSetVerifies) {
    SigningKey oldKey, newKey, third;
    KeySet set = freshKeySet(&oldKey);
    set.push_back(freshKeySet(&newKey)[0]);
    KeySet thirdSet = freshKeySet(&third);
    const std::string list = "#QORVANEPC 1\n#surum 3\nK " + std::string(64, 'a') + " 1 a\n";
    std::string byOld, byNew, byThird;
    ASSERT_FALSE(signList(oldKey, list, byOld).failed());
    ASSERT_FALSE(signList(newKey, list, byNew).failed());
    ASSERT_FALSE(signList(third, list, byThird).failed());
    EXPECT_EQ(verifyingKey(set, list, byOld), &set[0]);
    EXPECT_EQ(verifyingKey(set, list, byNew), &set[1]);
    EXPECT_EQ(verifyingKey(set, list, byThird), nullptr);
    EXPECT_EQ(verifyingKey(set, list + " ", byOld), nullptr);
    EXPECT_EQ(verifyingKey({}, list, byOld), nullptr);
    std::wstring described = describeKeySet({set[0], developmentKey()});
    EXPECT_NE(described.find(fromUtf8(keyHex(set[0]))), std::wstring::npos);
    EXPECT_NE(described.find(L"(gelistirme anahtari"), std::wstring::npos);
}

TEST(SignatureCheck, RawSignaturesOnly) {
    std::string signature = devSign(kSignedList);
    EXPECT_TRUE(verifySignature(kSignedList, signature));
    std::string flipped = kSignedList;
    flipped.back() ^= 1;
    EXPECT_FALSE(verifySignature(flipped, signature));
    std::string badSignature = signature;
    badSignature[10] ^= 0x40;
    EXPECT_FALSE(verifySignature(kSignedList, badSignature));
    EXPECT_FALSE(verifySignature(kSignedList, signature + "x"));  // 65 bytes
    EXPECT_FALSE(verifySignature(kSignedList, signature.substr(0, 63)));
    EXPECT_FALSE(verifySignature(kSignedList, ""));
    EXPECT_TRUE(verifySignature("", devSign("")));  // an empty list still has a digest
}

// The key set of a downloaded launcher is read from its bytes, before anything else trusts them: a
// damaged program, however damaged, gives its true set or none, and never a read past its end.
TEST(KeySet, ADamagedProgramGivesItsSetOrNone) {
    TempFolder t;
    const KeySet keys = freshKeySet();
    writeKeyedProgram(t.file(L"yeni.exe"), keys);
    const std::string original = t.read(L"yeni.exe");
    auto read = [](const std::string& bytes, DWORD& error) {
        KeySet found;
        error = 0;
        // An exact-size copy: a read past the end would leave the buffer.
        std::unique_ptr<unsigned char[]> copy(new unsigned char[bytes.size() + 1]);
        memcpy(copy.get(), bytes.data(), bytes.size());
        const bool read = readImageKeySet(copy.get(), bytes.size(), found, &error);
        EXPECT_EQ(read, !found.empty());
        return found;
    };
    DWORD error = 0;
    ASSERT_EQ(read(original, error), keys);

    const size_t rsrc = original.find(".rsrc");
    ASSERT_NE(rsrc, std::string::npos);
    uint32_t rsrcOffset = 0;
    memcpy(&rsrcOffset, original.data() + rsrc + 20, 4);  // the section's PointerToRawData
    const struct {
        const char* name;
        size_t size;
    } cuts[] = {{"empty", 0},
                {"no PE header", 63},
                {"headers only", 512},
                {"before the resources", rsrcOffset},
                {"inside the resources", rsrcOffset + 40}};
    for (const auto& cut : cuts) {
        EXPECT_TRUE(read(original.substr(0, cut.size), error).empty()) << cut.name;
        EXPECT_NE(error, 0u) << cut.name;
    }

    // Bytes flipped at random in the headers and in the resource section.
    uint32_t seed = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = original;
        for (int flips = 0; flips < 4; ++flips) {
            seed = seed * 1103515245u + 12345u;
            const size_t at = (seed >> 8) % 2 ? (seed >> 9) % 1024 : rsrcOffset + (seed >> 9) % 512;
            damaged[at] = static_cast<char>(damaged[at] ^ (1u << ((seed >> 4) % 8)));
        }
        const KeySet found = read(damaged, error);
        EXPECT_TRUE(found.empty() || found == keys || found.size() == 1) << "round " << round;
    }
}
