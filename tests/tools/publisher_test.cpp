#include <gtest/gtest.h>

#include <windows.h>

#include <map>

#include "tests/support/source_path.h"
#include "tests/support/temp_folder.h"
#include "tools/list_signing.h"
#include "tools/publisher.h"
#include "tools/tree_verify.h"
#include "update/hashing.h"
#include "update/manifest.h"
#include "update/manifest_fetch.h"

namespace {

SigningKey developmentKey() {
    SigningKey key;
    std::wstring error;
    EXPECT_TRUE(readSigningKeyFile(sourcePath("keys/dev-private-key.txt"), key, error)) << error.c_str();
    return key;
}

struct PublishFixture : ::testing::Test {
    TempFolder game;
    TempFolder server;
    SigningKey key = developmentKey();
    unsigned char publicKey[64] = {};

    void SetUp() override {
        publicKeyBytes(key, publicKey);
        game.write(L"Qorvane Launcher.exe", "MZ launcher bytes");
        game.write(L"Qorvane.exe", "MZ game bytes");
        game.write(L"pack/bos.dat", "");
        game.write(L"pack/Harita Çizimleri/İstanbul ağı şöğüç.bin", std::string(300000, 'x'));
        game.write(L"data/ses/müzik 1.ogg", "ses");
        game.write(L"ayarlar/kullanici.cfg", "ekran=1");
    }

    PublishResult publish(uint64_t version, const std::string& rules = std::string()) {
        PublishOptions options;
        options.gameFolder = game.path;
        options.serverFolder = server.path + L"\\qorvane\\pc";
        options.version = version;
        options.signingKey = key;
        std::wstring error;
        EXPECT_TRUE(parseRules(rules, options.rules, error)) << error.c_str();
        return publishGame(options, nullptr, nullptr);
    }
    std::wstring tree(const std::wstring& relative = L"") const {
        return server.path + L"\\qorvane\\pc" + (relative.empty() ? L"" : L"\\" + relative);
    }
    std::string listBytes() const { return readFileBytes(tree(L"manifest.txt")); }
    std::wstring objectOf(const std::wstring& gamePath) const {
        std::string hash = hashFile(game.file(gamePath), nullptr, nullptr);
        std::wstring relative = objectPath(hash);
        for (wchar_t& c : relative)
            if (c == L'/') c = L'\\';
        return tree(relative);
    }
};

TEST_F(PublishFixture, PublishedTreeVerifiesAndTheLauncherParserAcceptsIt) {
    PublishResult r = publish(42);
    ASSERT_TRUE(r.ok) << r.error.c_str();
    EXPECT_EQ(r.files, 6);
    EXPECT_EQ(r.objectsWritten, 6);
    std::string list = listBytes();
    EXPECT_EQ(list.rfind("#QORVANEPC 1\n#surum 42\n", 0), 0u);
    // UTF-8 paths with forward slashes and blanks, exactly as the launcher keys them.
    EXPECT_NE(list.find(" 300000 pack/Harita \xC3\x87izimleri/\xC4\xB0stanbul a\xC4\x9F\xC4\xB1 "
                        "\xC5\x9F\xC3\xB6\xC4\x9F\xC3\xBC\xC3\xA7.bin\n"),
              std::string::npos);
    EXPECT_NE(
        list.find("K e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 0 pack/bos.dat\n"),
        std::string::npos);

    Manifest m;
    ASSERT_TRUE(parseManifest(list, m));
    EXPECT_EQ(m.version, 42u);
    EXPECT_EQ(m.entries.size(), 6u);
    EXPECT_EQ(m.pathIndex.count(L"qorvane launcher.exe"), 1u);
    EXPECT_EQ(m.pathIndex.count(L"data/ses/müzik 1.ogg"), 1u);
    EXPECT_TRUE(verifySignature(list, readFileBytes(tree(L"manifest.sig"))));

    VerifyReport report = verifyPublishedTree(tree(), publicKey);
    EXPECT_TRUE(report.ok()) << (report.problems.empty()
                                     ? ""
                                     : std::string(report.problems[0].begin(), report.problems[0].end()));
    EXPECT_EQ(report.objectsChecked, 6);
    // Nothing staged is left behind for the web server to offer.
    EXPECT_FALSE(server.exists(L"qorvane/pc/manifest.txt.gecici"));
    EXPECT_FALSE(server.exists(L"qorvane/pc/manifest.sig.gecici"));
}

// Each damage to a published tree is found and named; an intact tree has no problem.
TEST_F(PublishFixture, VerifyFindsEveryKindOfDamage) {
    struct Case {
        const char* name;
        void (*damage)(PublishFixture&);
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"list byte changed",
         [](PublishFixture& f) {
             std::string list = f.listBytes();
             list[list.size() - 2] ^= 1;
             writeFileBytes(f.tree(L"manifest.txt"), list);
         },
         L"imza"},
        {"signature missing", [](PublishFixture& f) { DeleteFileW(f.tree(L"manifest.sig").c_str()); },
         L"manifest.sig yok"},
        {"object missing",
         [](PublishFixture& f) { DeleteFileW(f.objectOf(L"data/ses/müzik 1.ogg").c_str()); }, L"nesne eksik"},
        {"object longer",
         [](PublishFixture& f) {
             std::wstring o = f.objectOf(L"Qorvane.exe");
             writeFileBytes(o, readFileBytes(o) + "!");
         },
         L"nesne boyutu yanlis"},
        {"object same size, other bytes",
         [](PublishFixture& f) {
             std::wstring o = f.objectOf(L"Qorvane.exe");
             std::string bytes = readFileBytes(o);
             bytes[0] ^= 0x20;
             writeFileBytes(o, bytes);
         },
         L"nesne ozeti yanlis"},
        {"record the launcher would drop",
         [](PublishFixture& f) {
             // Appended text is not signed either, so the signature complaint comes too.
             writeFileBytes(f.tree(L"manifest.txt"),
                            f.listBytes() + "K " + std::string(63, 'a') + " 1 kisa-ozet.bin\n");
         },
         L"yok sayilir"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeTree(tree());
        ASSERT_TRUE(publish(7).ok);
        ASSERT_TRUE(verifyPublishedTree(tree(), publicKey).ok());
        c.damage(*this);
        VerifyReport report = verifyPublishedTree(tree(), publicKey);
        ASSERT_FALSE(report.ok());
        bool named = false;
        for (const std::wstring& p : report.problems)
            named = named || p.find(c.expected) != std::wstring::npos;
        EXPECT_TRUE(named) << std::string(report.problems[0].begin(), report.problems[0].end());
    }
}

TEST_F(PublishFixture, ProgressCountsEveryByteOnce) {
    game.write(L"pack/buyuk.bin", std::string(3 * 1048576 + 5, 'b'));  // several hashing blocks
    struct Seen {
        std::vector<PublishProgress> calls;
    } seen;
    PublishOptions options;
    options.gameFolder = game.path;
    options.serverFolder = tree();
    options.signingKey = key;
    PublishResult r = publishGame(
        options, [](void* c, const PublishProgress& p) { static_cast<Seen*>(c)->calls.push_back(p); }, &seen);
    ASSERT_TRUE(r.ok);
    ASSERT_FALSE(seen.calls.empty());
    for (size_t i = 1; i < seen.calls.size(); ++i) {
        EXPECT_GE(seen.calls[i].bytesDone, seen.calls[i - 1].bytesDone);
        EXPECT_LE(seen.calls[i].bytesDone, seen.calls[i].bytesTotal);
    }
    EXPECT_EQ(seen.calls.back().filesDone, 7);
    EXPECT_EQ(seen.calls.back().bytesDone, seen.calls.back().bytesTotal);
    EXPECT_EQ(seen.calls.back().bytesTotal, r.bytes);
}

// A file rewritten between hashing and copying must not land under the old content's address.
TEST_F(PublishFixture, FileChangedWhilePublishingStopsWithoutPlacingIt) {
    struct Editor {
        const TempFolder* game;
        bool done = false;
    } editor{&game};
    PublishOptions options;
    options.gameFolder = game.path;
    options.serverFolder = tree();
    options.signingKey = key;
    std::string before = hashFile(game.file(L"ayarlar/kullanici.cfg"), nullptr, nullptr);
    PublishResult r = publishGame(
        options,
        [](void* c, const PublishProgress& p) {
            auto* e = static_cast<Editor*>(c);
            if (!e->done && p.currentPath == L"ayarlar/kullanici.cfg") {
                // The hashing pass still holds the file open, so this write shares with it.
                HANDLE h = CreateFileW(e->game->file(p.currentPath).c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
                DWORD wrote = 0;
                e->done =
                    h != INVALID_HANDLE_VALUE && WriteFile(h, "EKRAN", 5, &wrote, nullptr) && wrote == 5;
                if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
            }
        },
        &editor);
    ASSERT_TRUE(editor.done);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(L"degisti"), std::wstring::npos);
    std::wstring object = objectPath(before);
    EXPECT_FALSE(server.exists(L"qorvane/pc/" + object));
    EXPECT_FALSE(server.exists(L"qorvane/pc/" + object + L".gecici"));
    EXPECT_FALSE(server.exists(L"qorvane/pc/manifest.txt"));
}

TEST_F(PublishFixture, VerifyRejectsAnotherKey) {
    ASSERT_TRUE(publish(1).ok);
    SigningKey other;
    std::wstring error;
    ASSERT_TRUE(generateSigningKey(other, error));
    unsigned char otherPublic[64];
    publicKeyBytes(other, otherPublic);
    EXPECT_FALSE(verifyPublishedTree(tree(), otherPublic).ok());
}

std::map<std::wstring, FILETIME> objectTimes(const std::wstring& objRoot) {
    std::map<std::wstring, FILETIME> times;
    WIN32_FIND_DATAW outer;
    HANDLE dirs = FindFirstFileW((objRoot + L"\\*").c_str(), &outer);
    if (dirs == INVALID_HANDLE_VALUE) return times;
    do {
        if (outer.cFileName[0] == L'.') continue;
        std::wstring sub = objRoot + L"\\" + outer.cFileName;
        WIN32_FIND_DATAW inner;
        HANDLE files = FindFirstFileW((sub + L"\\*").c_str(), &inner);
        if (files == INVALID_HANDLE_VALUE) continue;
        do {
            if (!(inner.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                times[sub + L"\\" + inner.cFileName] = inner.ftLastWriteTime;
        } while (FindNextFileW(files, &inner));
        FindClose(files);
    } while (FindNextFileW(dirs, &outer));
    FindClose(dirs);
    return times;
}

TEST_F(PublishFixture, RepublishingRewritesOnlyChangedContent) {
    ASSERT_TRUE(publish(100).ok);
    auto before = objectTimes(tree(L"obj"));
    ASSERT_EQ(before.size(), 6u);
    Sleep(50);

    PublishResult same = publish(101);
    ASSERT_TRUE(same.ok);
    EXPECT_EQ(same.objectsWritten, 0);
    EXPECT_EQ(same.objectsReused, 6);
    auto after = objectTimes(tree(L"obj"));
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [path, time] : before)
        EXPECT_EQ(CompareFileTime(&time, &after[path]), 0) << std::string(path.begin(), path.end());

    game.write(L"data/ses/müzik 1.ogg", "yeni ses");
    game.write(L"data/ses/yeni.ogg", "eklenen");
    PublishResult changed = publish(102);
    ASSERT_TRUE(changed.ok);
    EXPECT_EQ(changed.objectsWritten, 2);
    EXPECT_EQ(changed.bytesWritten, 15u);
    EXPECT_TRUE(verifyPublishedTree(tree(), publicKey).ok());
}

TEST_F(PublishFixture, InstallOnlyRuleAndRuleRecordsReachTheList) {
    PublishResult r = publish(5,
                              "# kurallar\r\nD pack\nE .DLL\nS pack/*.log\nO ekran goruntuleri\n"
                              "I ayarlar/*.cfg\nX oyun-surumu 1\n");
    ASSERT_TRUE(r.ok) << r.error.c_str();
    Manifest m;
    ASSERT_TRUE(parseManifest(listBytes(), m));
    const ManifestEntry& settings = m.entries[m.pathIndex.at(L"ayarlar/kullanici.cfg")];
    EXPECT_EQ(settings.kind, 'I');
    EXPECT_EQ(m.entries[m.pathIndex.at(L"qorvane.exe")].kind, 'K');
    ASSERT_EQ(m.cleanDirs.size(), 1u);
    EXPECT_EQ(m.cleanDirs[0], L"pack");
    ASSERT_EQ(m.rootExtensions.size(), 1u);
    EXPECT_EQ(m.rootExtensions[0], L".dll");
    EXPECT_EQ(m.keepPatterns.size(), 1u);
    ASSERT_EQ(m.createDirs.size(), 1u);
    EXPECT_EQ(m.createDirs[0], L"ekran goruntuleri");
    EXPECT_EQ(m.xValues.size(), 1u);
}

TEST(PublishRules, RejectsLinesTheLauncherWouldMisreadOrThatWouldHarmIt) {
    const char* bad[] = {
        "K 00 1 a.bin",  // file records come from the folder
        "Z something",   // unknown kind
        "D ../yukari",   // path rule
        "S C:/x/*",      // drive letter
        "O /mutlak",     // leading separator
        "D koruma",      // the launcher's own state
        "D Koruma/alt",  //
        "E dll",         // no dot
        "Dpack",         // no blank after the kind
    };
    for (const char* line : bad) {
        PublishRules rules;
        std::wstring error;
        EXPECT_FALSE(parseRules(std::string("D pack\n") + line + "\n", rules, error)) << line;
        EXPECT_NE(error.find(L"satir 2"), std::wstring::npos) << line;
    }
    PublishRules rules;
    std::wstring error;
    EXPECT_TRUE(parseRules("\xEF\xBB\xBF# yorum\r\n\r\n   \nD pack\r\nI Ayarlar\\*.CFG\n", rules, error));
    ASSERT_EQ(rules.recordLines.size(), 1u);
    EXPECT_EQ(rules.recordLines[0], "D pack");
    EXPECT_TRUE(isInstallOnly(rules, L"ayarlar/kullanici.cfg"));
    EXPECT_FALSE(isInstallOnly(rules, L"pack/kullanici.cfg"));
}

TEST_F(PublishFixture, FolderContentsTheLauncherCannotHandleStopPublishing) {
    game.write(L"pack/eski..yedek.bin", "x");
    PublishResult r = publish(3);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(L"eski..yedek.bin"), std::wstring::npos);
    EXPECT_FALSE(server.exists(L"qorvane/pc/manifest.txt"));

    DeleteFileW(game.file(L"pack/eski..yedek.bin").c_str());
    PublishOptions inside;
    inside.gameFolder = game.path;
    inside.serverFolder = game.path + L"\\Www\\qorvane\\pc";
    inside.signingKey = key;
    PublishResult intoItself = publishGame(inside, nullptr, nullptr);
    EXPECT_FALSE(intoItself.ok);
    EXPECT_FALSE(game.exists(L"Www"));

    TempFolder empty;
    PublishOptions options;
    options.gameFolder = empty.path;
    options.serverFolder = tree();
    options.signingKey = key;
    EXPECT_FALSE(publishGame(options, nullptr, nullptr).ok);
}

TEST_F(PublishFixture, LauncherStateFolderIsLeftOutAndNewsAreCopied) {
    game.write(L"koruma/onbellek.txt", "state");
    game.write(L"koruma/kurulum.txt", "Qorvane Launcher kurulumu\n");
    TempFolder sources;
    sources.write(L"tr.txt", "14.10|Yeni *sezon* basladi\n");
    sources.write(L"en.txt", "# nothing here\n");
    PublishOptions options;
    options.gameFolder = game.path;
    options.serverFolder = tree();
    options.version = 9;
    options.signingKey = key;
    options.newsTurkish = sources.file(L"tr.txt");
    options.newsEnglish = sources.file(L"en.txt");
    PublishResult r = publishGame(options, nullptr, nullptr);
    ASSERT_TRUE(r.ok) << r.error.c_str();
    EXPECT_EQ(r.files, 6);
    EXPECT_EQ(listBytes().find("koruma"), std::string::npos);
    EXPECT_EQ(readFileBytes(tree(L"haberler_tr.txt")), "14.10|Yeni *sezon* basladi\n");
    EXPECT_EQ(readFileBytes(tree(L"haberler_en.txt")), "# nothing here\n");
    bool emptyNewsNoted = false;
    for (const std::wstring& n : r.notes)
        emptyNewsNoted = emptyNewsNoted || n.find(L"haberler_en") != std::wstring::npos;
    EXPECT_TRUE(emptyNewsNoted);
}

TEST_F(PublishFixture, VersionDefaultsToUnixTimeAndAnOlderVersionIsNoted) {
    PublishResult now = publish(0);
    ASSERT_TRUE(now.ok);
    EXPECT_GT(now.version, 1700000000u);  // after 2023
    EXPECT_LT(now.version, 4102444800u);  // before 2100
    PublishResult older = publish(5);
    ASSERT_TRUE(older.ok);
    bool noted = false;
    for (const std::wstring& n : older.notes)
        noted = noted || n.find(L"surum 5") != std::wstring::npos;
    EXPECT_TRUE(noted);
}

}  // namespace
