#include <gtest/gtest.h>

#include "base/security.h"
#include "base/text.h"
#include "protocol/key_set.h"
#include "tests/support/dev_key.h"
#include "tests/support/keyed_program.h"
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
        {{L"dogrula", L"--hedef", L"x", L"--adres", L"http://127.0.0.1/"},
         PublisherExit::Usage},                                            // one or other
        {{L"dogrula", L"--hedef", L"x", L"--tam"}, PublisherExit::Usage},  // --tam is for a served tree
        {{L"dogrula"}, PublisherExit::Usage},
        {{L"hazirla", L"--oyun", L"a", L"--hedef", L"b", L"--ozel-anahtar", L"c"},
         PublisherExit::Usage},  // no key
        {{L"hazirla", L"--oyun", L"a", L"--hedef", L"b", L"--gelistirme"}, PublisherExit::Usage},
        {{L"imzala", L"--liste", L"a"}, PublisherExit::Usage},
        {{L"yerlestir"}, PublisherExit::Usage},
        {{L"temizle", L"--hedef", L"x"}, PublisherExit::Usage},
        {{L"temizle", L"--hedef", L"x", L"--sakla", L"0"}, PublisherExit::Usage},
        {{L"temizle", L"--hedef", L"x", L"--sakla", L"-1"}, PublisherExit::Usage},
        {{L"temizle", L"--hedef", L"x", L"--sakla", L"2", L"--sil"}, PublisherExit::Usage},
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
    KeySet keys;
    std::wstring hex =
        L"B7EF59CABB6488C2F21BC1F78DE3955F77EF3F9BCB7F922AFBBE7DCBA4F4DA79"
        L"fa76503944b588405abab8ae017932a7ec16d8c77a5296aa83ebf66e94d6d4de";
    ASSERT_TRUE(parsePublicKeyArgument(hex, keys));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0][0], 0xB7);
    EXPECT_EQ(keys[0][63], 0xDE);
    EXPECT_TRUE(parsePublicKeyArgument(sourcePath("keys/dev-public-key.hex"), keys));
    EXPECT_EQ(keys[0][32], 0xFA);
    // Several keys, as during a rotation; a repeated key counts once.
    std::wstring other(128, L'1');
    ASSERT_TRUE(parsePublicKeyArgument(hex + L"," + other + L", " + hex, keys));
    EXPECT_EQ(keys.size(), 2u);
    TempFolder t;
    t.write(L"anahtarlar.hex", toUtf8(hex) + "\r\n" + toUtf8(other) + "\r\n");
    ASSERT_TRUE(parsePublicKeyArgument(t.file(L"anahtarlar.hex"), keys));
    EXPECT_EQ(keys.size(), 2u);
    for (const std::wstring& bad : {hex.substr(0, 126) + L"zz", hex + L"," + other.substr(1), std::wstring(),
                                    std::wstring(L"Z:\\yok\\boyle-bir-dosya.hex")})
        EXPECT_FALSE(parsePublicKeyArgument(bad, keys)) << toUtf8(bad);
}

// The whole operator road: a new key, a publish signed with it, a verify against the printed key,
// and a verify against a different key that must fail.
TEST(PublisherCommandLine, GeneratedKeyPublishesAndVerifies) {
    TempFolder work;
    work.write(L"oyun/pack/ağaç.bin", std::string(1000, 'a'));
    std::wstring keyFile = work.file(L"anahtar.txt");

    std::wstring output;
    ASSERT_EQ(runPublisher({L"anahtar-uret", L"--ozel-anahtar", keyFile, L"--acik-anahtar-dosyasi",
                            work.file(L"acik.hex")},
                           &output),
              PublisherExit::Ok)
        << std::string(output.begin(), output.end());
    SigningKey key;
    ASSERT_FALSE(readSigningKeyFile(keyFile, key).failed());
    std::string printed = publicKeyHex(key);
    std::wstring publicHex(printed.begin(), printed.end());
    // The launcher the studio ships carries the new key.
    KeySet generated;
    ASSERT_TRUE(parseKeySet(printed, generated));
    writeKeyedProgram(work.file(L"oyun/Qorvane Launcher.exe"), generated);
    EXPECT_NE(output.find(publicHex + L"\n"), std::wstring::npos);
    // The private scalar never reaches the screen.
    std::string privateHex = formatSigningKeyText(key);
    size_t d = privateHex.find("\nd ");
    ASSERT_NE(d, std::string::npos);
    std::string scalar = privateHex.substr(d + 3, 64);
    EXPECT_EQ(output.find(std::wstring(scalar.begin(), scalar.end())), std::wstring::npos);

    // Readable by the generating account alone, whatever the folder passes on. Wine answers with
    // a DACL of its own making, so the stored one is compared only where the system keeps it.
    const std::wstring dacl = daclOf(keyFile);
    EXPECT_FALSE(dacl.empty());
    if (dacl.rfind(L"D:P", 0) == 0) {
        EXPECT_EQ(dacl, L"D:P(A;;FA;;;" + currentUserSid() + L")");
    }

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

// The committed development key signs only with --gelistirme, and the verifier says when a tree is
// signed with it; a publish that would leave files behind says so, and --kati refuses it.
TEST(PublisherCommandLine, DevelopmentKeyAndDroppedFilesAreSpokenAbout) {
    TempFolder work;
    writeKeyedProgram(work.file(L"oyun/Qorvane Launcher.exe"), {developmentKey()});
    work.write(L"oyun/beni_oku.txt", "readme");
    const std::wstring devKey = sourcePath("keys/dev-private-key.txt");
    auto publish = [&](std::initializer_list<std::wstring> extra, std::wstring& output) {
        std::vector<std::wstring> args = {L"yayinla", L"--oyun",         work.file(L"oyun"),
                                          L"--hedef", work.file(L"www"), L"--ozel-anahtar",
                                          devKey,     L"--sessiz"};
        args.insert(args.end(), extra);
        output.clear();
        return runPublisher(args, &output);
    };
    std::wstring output;
    EXPECT_EQ(publish({L"--surum", L"1"}, output), PublisherExit::Failed);
    EXPECT_NE(output.find(L"HATA: gelistirme anahtariyla imzalanmaz"), std::wstring::npos) << toUtf8(output);
    EXPECT_NE(output.find(L"--gelistirme"), std::wstring::npos);
    EXPECT_FALSE(work.exists(L"www/manifest.txt"));

    ASSERT_EQ(publish({L"--surum", L"1", L"--gelistirme"}, output), PublisherExit::Ok) << toUtf8(output);
    EXPECT_NE(output.find(L"not: gelistirme anahtariyla"), std::wstring::npos);
    output.clear();
    ASSERT_EQ(runPublisher({L"dogrula", L"--hedef", work.file(L"www"), L"--sessiz"}, &output),
              PublisherExit::Ok);
    EXPECT_NE(output.find(L"UYARI: liste gelistirme anahtariyla imzali"), std::wstring::npos)
        << toUtf8(output);
    EXPECT_NE(output.find(L"dogrulandi (verified): surum 1, 2 dosya"), std::wstring::npos);
    EXPECT_NE(output.find(L"gelistirme anahtariyla (with the development key)"), std::wstring::npos);

    DeleteFileW(work.file(L"oyun/beni_oku.txt").c_str());
    EXPECT_EQ(publish({L"--surum", L"2", L"--gelistirme", L"--kati"}, output), PublisherExit::Failed);
    EXPECT_NE(output.find(L"beni_oku.txt"), std::wstring::npos);
    ASSERT_EQ(publish({L"--surum", L"2", L"--gelistirme"}, output), PublisherExit::Ok);
    EXPECT_NE(output.find(L"\n  beni_oku.txt"), std::wstring::npos) << toUtf8(output);
    EXPECT_EQ(publish({L"--surum", L"1", L"--gelistirme"}, output), PublisherExit::Failed);
    EXPECT_EQ(publish({L"--surum", L"1", L"--gelistirme", L"--dusuk-surum"}, output), PublisherExit::Ok);
}

TEST(PublisherCommandLine, MirrorsAreWrittenKeptReplacedAndChecked) {
    TempFolder work;
    work.write(L"oyun/a.txt", "a");
    const std::wstring devKey = sourcePath("keys/dev-private-key.txt");
    int version = 0;
    auto publish = [&](const std::vector<std::wstring>& extra, std::wstring& output) {
        std::vector<std::wstring> args = {L"yayinla", L"--oyun", work.file(L"oyun"), L"--hedef", work.file(L"www"),
                                          L"--ozel-anahtar", devKey, L"--sessiz", L"--gelistirme", L"--surum",
                                          std::to_wstring(++version)};
        args.insert(args.end(), extra.begin(), extra.end());
        output.clear();
        return runPublisher(args, &output);
    };
    auto mirrorLines = [&] {
        std::string lines;
        forEachLine(work.read(L"www/manifest.txt"), [&](std::string_view line) {
            if (line.substr(0, 2) == "A ") lines += std::string(line) + "|";
            return true;
        });
        return lines;
    };
    const std::wstring one = L"https://ayna1.ornek.com/qorvane/pc/", two = L"http://127.0.0.1:8081/pc";
    struct Step {
        std::vector<std::wstring> options;
        PublisherExit exit;
        std::string lines;  // the A records afterwards
    } steps[] = {
        {{L"--ayna", one, L"--ayna", two, L"--ayna", one}, PublisherExit::Ok,
         "A https://ayna1.ornek.com/qorvane/pc/|A http://127.0.0.1:8081/pc|"},
        {{}, PublisherExit::Ok, "A https://ayna1.ornek.com/qorvane/pc/|A http://127.0.0.1:8081/pc|"},
        {{L"--ayna", two}, PublisherExit::Ok, "A http://127.0.0.1:8081/pc|"},
        {{L"--ayna", L"ftp://ayna.ornek.com/"}, PublisherExit::Usage, "A http://127.0.0.1:8081/pc|"},
        {{L"--ayna", one, L"--aynasiz"}, PublisherExit::Usage, "A http://127.0.0.1:8081/pc|"},
        {{L"--aynasiz"}, PublisherExit::Ok, ""},
        {{}, PublisherExit::Ok, ""},
    };
    for (const Step& step : steps) {
        std::wstring output;
        EXPECT_EQ(step.exit, publish(step.options, output)) << toUtf8(output);
        EXPECT_EQ(step.lines, mirrorLines()) << toUtf8(output);
        if (step.options.empty() && !step.lines.empty()) {
            EXPECT_NE(output.find(L"aynasi korundu"), std::wstring::npos) << toUtf8(output);
        }
    }

    // The tree check reads each mirror record as the launcher does.
    std::wstring output;
    ASSERT_EQ(publish({L"--ayna", one}, output), PublisherExit::Ok) << toUtf8(output);
    output.clear();
    ASSERT_EQ(runPublisher({L"dogrula", L"--hedef", work.file(L"www"), L"--sessiz"}, &output), PublisherExit::Ok);
    EXPECT_NE(output.find(L"not: ayna (mirror): " + one), std::wstring::npos) << toUtf8(output);
    const std::string list = work.read(L"www/manifest.txt") + "A https://ayna bosluklu/\n";
    work.write(L"www/manifest.txt", list);
    work.write(L"www/manifest.sig", devSign(list));
    output.clear();
    EXPECT_EQ(runPublisher({L"dogrula", L"--hedef", work.file(L"www"), L"--sessiz"}, &output), PublisherExit::Failed);
    EXPECT_NE(output.find(L"ayna adresi launcher tarafindan yok sayilir"), std::wstring::npos) << toUtf8(output);

    // A target list that cannot be read cannot hand its mirrors on: they are named, or dropped on purpose.
    work.write(L"www/manifest.txt", "bozuk\n");
    work.write(L"kurallar.txt", "S ayarlar.cfg\n");
    EXPECT_EQ(publish({L"--kurallar", work.file(L"kurallar.txt")}, output), PublisherExit::Failed);
    EXPECT_NE(output.find(L"aynalari korunamaz"), std::wstring::npos) << toUtf8(output);
    EXPECT_EQ(work.read(L"www/manifest.txt"), "bozuk\n");
    EXPECT_EQ(publish({L"--kurallar", work.file(L"kurallar.txt"), L"--aynasiz"}, output), PublisherExit::Ok)
        << toUtf8(output);
}

}  // namespace
