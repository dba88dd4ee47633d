#include <gtest/gtest.h>

#include "tests/support/source_path.h"
#include "tests/support/temp_folder.h"
#include "tools/list_signing.h"
#include "tools/publisher_cli.h"

namespace {

TEST(PublisherCommandLine, UsageErrorsAndHelp) {
    struct Case {
        std::vector<std::wstring> args;
        PublisherExit exit;
    };
    const Case cases[] = {
        {{}, PublisherExit::Usage},
        {{L"yardim"}, PublisherExit::Ok},
        {{L"--help"}, PublisherExit::Ok},
        {{L"sil"}, PublisherExit::Usage},
        {{L"yayinla", L"--oyun", L"x"}, PublisherExit::Usage},               // missing options
        {{L"yayinla", L"--oyun"}, PublisherExit::Usage},                     // option without value
        {{L"dogrula", L"--hedef", L"x", L"--fazla"}, PublisherExit::Usage},  // unknown option
        {{L"yayinla", L"--oyun", L"a", L"--hedef", L"b", L"--ozel-anahtar", L"c", L"--surum", L"12x"},
         PublisherExit::Usage},
        {{L"yayinla", L"--oyun", L"a", L"--hedef", L"b", L"--ozel-anahtar", L"c", L"--surum", L"0"},
         PublisherExit::Usage},
        {{L"dogrula", L"--hedef", L"x", L"--acik-anahtar", std::wstring(127, L'a')}, PublisherExit::Usage},
    };
    for (const Case& c : cases) {
        std::wstring output;
        EXPECT_EQ(runPublisher(c.args, &output), c.exit)
            << (c.args.empty() ? "" : std::string(c.args[0].begin(), c.args[0].end()));
        EXPECT_FALSE(output.empty());
    }
    std::wstring help = publisherHelpText();
    EXPECT_NE(help.find(L"Kullanim"), std::wstring::npos);
    EXPECT_NE(help.find(L"Usage"), std::wstring::npos);
}

TEST(PublisherCommandLine, PublicKeyArgumentAsHexOrFile) {
    unsigned char key[64];
    std::wstring hex =
        L"B7EF59CABB6488C2F21BC1F78DE3955F77EF3F9BCB7F922AFBBE7DCBA4F4DA79"
        L"fa76503944b588405abab8ae017932a7ec16d8c77a5296aa83ebf66e94d6d4de";
    ASSERT_TRUE(parsePublicKeyArgument(hex, key));
    EXPECT_EQ(key[0], 0xB7);
    EXPECT_EQ(key[63], 0xDE);
    EXPECT_TRUE(parsePublicKeyArgument(sourcePath("keys/dev-public-key.hex"), key));
    EXPECT_EQ(key[32], 0xFA);
    EXPECT_FALSE(parsePublicKeyArgument(hex.substr(0, 126) + L"zz", key));
    EXPECT_FALSE(parsePublicKeyArgument(L"Z:\\yok\\boyle-bir-dosya.hex", key));
}

// The whole operator road: a new key, a publish signed with it, a verify against the printed key,
// and a verify against a different key that must fail.
TEST(PublisherCommandLine, GeneratedKeyPublishesAndVerifies) {
    TempFolder work;
    work.write(L"oyun/Qorvane Launcher.exe", "MZ");
    work.write(L"oyun/pack/ağaç.bin", std::string(1000, 'a'));
    std::wstring keyFile = work.file(L"anahtar.txt");

    std::wstring output;
    ASSERT_EQ(runPublisher({L"anahtar-uret", L"--ozel-anahtar", keyFile, L"--acik-anahtar-dosyasi",
                            work.file(L"acik.hex")},
                           &output),
              PublisherExit::Ok)
        << std::string(output.begin(), output.end());
    SigningKey key;
    std::wstring error;
    ASSERT_TRUE(readSigningKeyFile(keyFile, key, error));
    std::string printed = publicKeyHex(key);
    std::wstring publicHex(printed.begin(), printed.end());
    EXPECT_NE(output.find(publicHex + L"\n"), std::wstring::npos);
    // The private scalar never reaches the screen.
    std::string privateHex = formatSigningKeyText(key);
    size_t d = privateHex.find("\nd ");
    ASSERT_NE(d, std::string::npos);
    std::string scalar = privateHex.substr(d + 3, 64);
    EXPECT_EQ(output.find(std::wstring(scalar.begin(), scalar.end())), std::wstring::npos);

    // An existing key is never replaced.
    std::string keyText = work.read(L"anahtar.txt");
    output.clear();
    EXPECT_EQ(runPublisher({L"anahtar-uret", L"--ozel-anahtar", keyFile}, &output), PublisherExit::Failed);
    EXPECT_EQ(work.read(L"anahtar.txt"), keyText);

    output.clear();
    ASSERT_EQ(runPublisher({L"yayinla", L"--oyun", work.file(L"oyun"), L"--hedef", work.file(L"www"),
                            L"--ozel-anahtar", keyFile, L"--surum", L"3", L"--sessiz"},
                           &output),
              PublisherExit::Ok)
        << std::string(output.begin(), output.end());
    EXPECT_NE(output.find(L"surum 3, 2 dosya"), std::wstring::npos);

    output.clear();
    EXPECT_EQ(
        runPublisher({L"dogrula", L"--hedef", work.file(L"www"), L"--acik-anahtar", work.file(L"acik.hex")},
                     &output),
        PublisherExit::Ok)
        << std::string(output.begin(), output.end());
    output.clear();
    EXPECT_EQ(runPublisher({L"dogrula", L"--hedef", work.file(L"www"), L"--acik-anahtar",
                            sourcePath("keys/dev-public-key.hex")},
                           &output),
              PublisherExit::Failed);
    EXPECT_NE(output.find(L"SORUN: imza"), std::wstring::npos);

    output.clear();
    EXPECT_EQ(runPublisher({L"yayinla", L"--oyun", work.file(L"oyun"), L"--hedef", work.file(L"www"),
                            L"--ozel-anahtar", work.file(L"yok.txt")},
                           &output),
              PublisherExit::Failed);
}

}  // namespace
