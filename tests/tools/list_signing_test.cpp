#include "tools/list_signing.h"

#include <gtest/gtest.h>

#include "protocol/key_set.h"
#include "tests/support/dev_key.h"
#include "tests/support/source_path.h"
#include "tests/support/temp_folder.h"

TEST(ListSigning, DevelopmentKeyMatchesTheCompiledInKey) {
    std::string hex = readFileBytes(sourcePath("keys/dev-public-key.hex"));
    EXPECT_EQ(hex.substr(0, 128), publicKeyHex(devSigningKey()));
    EXPECT_EQ(hex.substr(0, 128), keyHex(developmentKey()));
    // Test builds trust the development key, and only it.
    ASSERT_EQ(ownKeySet().size(), 1u);
    EXPECT_EQ(ownKeySet()[0], developmentKey());
}

TEST(ListSigning, SignaturesVerifyAndDifferEachTime) {
    std::string list = "#QORVANEPC 1\nK " + std::string(64, 'a') + " 1 a\n";
    std::string first = devSign(list), second = devSign(list);
    ASSERT_EQ(64u, first.size());
    EXPECT_NE(first, second);  // ECDSA draws a fresh nonce per signature
    EXPECT_TRUE(verifySignature(list, first));
    EXPECT_TRUE(verifySignature(list, second));
    EXPECT_FALSE(verifySignature(list + " ", first));
}

TEST(ListSigning, GeneratedKeysRoundTripThroughTheKeyFile) {
    SigningKey key;
    ASSERT_FALSE(generateSigningKey(key).failed());
    SigningKey back;
    ASSERT_FALSE(parseSigningKeyText(formatSigningKeyText(key), back).failed());
    EXPECT_EQ(publicKeyHex(key), publicKeyHex(back));
    std::string signature;
    ASSERT_FALSE(signList(back, "list", signature).failed());
    PublicKey pub;
    publicKeyBytes(key, pub.data());
    EXPECT_TRUE(verifyWithKey(pub, "list", signature));
    EXPECT_FALSE(verifySignature("list", signature));  // not the development key
}

TEST(ListSigning, KeyFileProblemsAreNamed) {
    const SigningKey& dev = devSigningKey();
    std::string good = formatSigningKeyText(dev);
    struct Case {
        std::string text;
        const wchar_t* mentions;
    } cases[] = {
        {"d " + std::string(64, '1') + "\nx " + std::string(64, '2') + "\n", L"d, x and y"},
        {good + "d " + std::string(64, '1') + "\n", L"twice"},
        {"curve P-384\n" + good, L"P-256"},
        {"d 12\n", L"64 hexadecimal"},
        {"z " + std::string(64, '1') + "\n", L"unknown"},
    };
    for (const Case& c : cases) {
        SigningKey k;
        SystemError error = parseSigningKeyText(c.text, k);
        EXPECT_EQ(error.code, static_cast<DWORD>(ERROR_INVALID_DATA)) << c.text;
        EXPECT_NE(std::wstring::npos, error.what.find(c.mentions)) << c.text;
    }
    // A key whose private half belongs to another public point cannot sign.
    SigningKey mixed = dev;
    mixed.d[31] ^= 1;
    std::string signature;
    EXPECT_TRUE(signList(mixed, "list", signature).failed());
    EXPECT_TRUE(signature.empty());
}

TEST(ListSigning, OpensslDerSignatureConvertsAndVerifies) {
    std::string list = readFileBytes(sourcePath("tests/fixtures/openssl-list.txt"));
    std::string der = readFileBytes(sourcePath("tests/fixtures/openssl-list.sig.der"));
    ASSERT_FALSE(list.empty());
    ASSERT_GE(der.size(), 8u);
    EXPECT_FALSE(verifySignature(list, der));  // the wrapped form is refused as it stands
    std::string raw;
    ASSERT_TRUE(derToRawSignature(der, raw));
    EXPECT_EQ(64u, raw.size());
    EXPECT_TRUE(verifySignature(list, raw));

    std::string broken = der;
    broken[0] = 0x31;
    EXPECT_FALSE(derToRawSignature(broken, raw));
    EXPECT_FALSE(derToRawSignature(der.substr(0, der.size() - 1), raw));
    EXPECT_FALSE(derToRawSignature(std::string(), raw));
}
