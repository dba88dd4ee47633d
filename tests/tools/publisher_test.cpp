#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "base/file.h"
#include "base/path_identity.h"
#include "base/sha256.h"
#include "base/text.h"
#include "protocol/chunk_index.h"
#include "protocol/key_set.h"
#include "protocol/manifest.h"
#include "protocol/object_path.h"
#include "tests/support/keyed_program.h"
#include "tests/support/random_text.h"
#include "tests/support/source_path.h"
#include "tests/support/temp_folder.h"
#include "tools/list_signing.h"
#include "tools/publisher.h"
#include "tools/tool_files.h"
#include "tools/tree_verify.h"

namespace {

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

SigningKey developmentSigningKey() {
    SigningKey key;
    EXPECT_FALSE(readSigningKeyFile(sourcePath("keys/dev-private-key.txt"), key).failed());
    return key;
}

bool hasNote(const PublishResult& r, const std::wstring& text) {
    for (const std::wstring& n : r.notes)
        if (n.find(text) != std::wstring::npos) return true;
    return false;
}

struct PublishFixture : ::testing::Test {
    TempFolder game;
    TempFolder server;
    SigningKey key = developmentSigningKey();
    KeySet keys;
    PublishOptions flags;  // the switches of the next publish

    void SetUp() override {
        keys = {::developmentKey()};
        flags.allowDevelopmentKey = true;
        // A launcher that trusts the development key, as the test build does.
        writeKeyedProgram(game.file(L"Qorvane Launcher.exe"), keys);
        game.write(L"Qorvane.exe", "MZ game bytes");
        game.write(L"pack/bos.dat", "");
        game.write(L"pack/Harita Çizimleri/İstanbul ağı şöğüç.bin", std::string(300000, 'x'));
        game.write(L"data/ses/müzik 1.ogg", "ses");
        game.write(L"ayarlar/kullanici.cfg", "ekran=1");
    }

    PublishResult publish(uint64_t version, const std::string& rules = std::string()) {
        PublishOptions options = flags;
        options.gameFolder = game.path;
        options.serverFolder = server.path + L"\\qorvane\\pc";
        options.version = version;
        options.signingKey = key;
        std::wstring error;
        EXPECT_TRUE(parseRules(rules, options.rules, error));
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
    EXPECT_EQ(m.pathIndex.count(pathKey(L"Qorvane Launcher.exe")), 1u);
    EXPECT_EQ(m.pathIndex.count(pathKey(L"data/ses/müzik 1.ogg")), 1u);
    EXPECT_TRUE(verifySignature(list, readFileBytes(tree(L"manifest.sig"))));

    VerifyReport report = verifyPublishedTree(tree(), keys);
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
        {"rule an installed launcher would misread",
         [](PublishFixture& f) { writeFileBytes(f.tree(L"manifest.txt"), f.listBytes() + "D pack/\n"); },
         L"gevsek"},
        {"hash that never matches",
         [](PublishFixture& f) {
             writeFileBytes(f.tree(L"manifest.txt"), f.listBytes() + "K " + std::string(64, 'A') + " 1 buyuk.bin\n");
         },
         L"64 kucuk"},
        {"one file listed twice in other letter case",
         [](PublishFixture& f) {
             std::wstring path = L"pack/Harita \u00c7izimleri/\u0130stanbul a\u011f\u0131 \u015f\u00f6\u011f\u00fc\u00e7.bin";
             std::string list = f.listBytes();
             size_t at = list.find(toUtf8(path));
             size_t lineStart = list.rfind('\n', at) + 1;
             std::string record = list.substr(lineStart, at - lineStart) + toUtf8(foldCase(path)) + "\n";
             writeFileBytes(f.tree(L"manifest.txt"), list + record);
         },
         L"ile ayni dosya"},
        {"name Windows cannot hold as written",
         [](PublishFixture& f) {
             // Appended text is not signed either, so the signature complaint comes too.
             writeFileBytes(f.tree(L"manifest.txt"),
                            f.listBytes() + "K " + std::string(64, 'a') + " 1 pack/nul.bin\n");
         },
         L"Windows bu adi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeTree(tree());
        ASSERT_TRUE(publish(7).ok);
        ASSERT_TRUE(verifyPublishedTree(tree(), keys).ok());
        c.damage(*this);
        VerifyReport report = verifyPublishedTree(tree(), keys);
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
    PublishOptions options = flags;
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

// Files of 4 MiB and more are listed with a chunk index that describes them; smaller ones are not,
// and an unchanged republish writes no index again.
TEST_F(PublishFixture, LargeFilesGetAChunkIndex) {
    game.write(L"pack/buyuk.epk", randomText(5 * 1048576, 17));
    game.write(L"pack/sinirda.epk", randomText(4194303, 18));  // a byte under the threshold
    PublishResult r = publish(8);
    ASSERT_TRUE(r.ok) << r.error.c_str();
    EXPECT_EQ(1, r.indexes);
    EXPECT_EQ(1, r.indexesWritten);
    Manifest m;
    ASSERT_TRUE(parseManifest(listBytes(), m));
    ASSERT_EQ(1u, m.chunkIndexes.size());
    const ManifestEntry& big = m.entries[m.pathIndex.at(pathKey(L"pack/buyuk.epk"))];
    const ChunkIndexRef* ref = chunkIndexFor(m, big.hash);
    ASSERT_NE(nullptr, ref);
    EXPECT_NE(std::string::npos, listBytes().find("pack/buyuk.epk\nP " + big.hash + " " + ref->hash + " "));
    std::string bytes = readFileBytes(joinPath(tree(), objectPath(ref->hash)));
    EXPECT_EQ(ref->size, bytes.size());
    EXPECT_EQ(ref->hash, sha256Hex(bytes));
    ChunkIndex index;
    ASSERT_EQ(ChunkIndexFault::None, parseChunkIndex(bytes, big.size, index));
    EXPECT_GT(index.chunks.size(), 40u);  // about 72 KiB a chunk

    VerifyReport report = verifyPublishedTree(tree(), keys);
    EXPECT_TRUE(report.ok());
    EXPECT_EQ(1, report.indexesChecked);
    PublishResult again = publish(9);
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(1, again.indexes);
    EXPECT_EQ(0, again.indexesWritten);
    flags.chunkIndexes = false;
    ASSERT_TRUE(publish(10).ok);
    EXPECT_EQ(std::string::npos, listBytes().find("\nP "));
}

// dogrula finds every index a launcher could not use, or one that does not describe its file.
TEST_F(PublishFixture, VerifyFindsDamagedChunkIndexes) {
    game.write(L"pack/buyuk.epk", randomText(5 * 1048576, 21));
    struct Case {
        const char* name;
        // (fixture, index object path, index bytes) -> the list's new P record's index bytes, or
        // empty to keep the list as it is.
        std::string (*damage)(PublishFixture&, const std::wstring&, std::string);
        const wchar_t* expected;
    } cases[] = {
        {"index missing",
         [](PublishFixture&, const std::wstring& object, std::string) {
             DeleteFileW(object.c_str());
             return std::string();
         },
         L"parca dizini eksik"},
        {"index longer",
         [](PublishFixture&, const std::wstring& object, std::string bytes) {
             writeFileBytes(object, bytes + "!");
             return std::string();
         },
         L"parca dizini boyutu yanlis"},
        {"index same size, other bytes",
         [](PublishFixture&, const std::wstring& object, std::string bytes) {
             bytes[40] ^= 1;
             writeFileBytes(object, bytes);
             return std::string();
         },
         L"parca dizini ozeti yanlis"},
        {"listed index of another format",
         [](PublishFixture&, const std::wstring&, std::string bytes) {
             bytes[7] = '9';
             return bytes;
         },
         L"parca dizini kullanilamaz"},
        {"listed index with a wrong fingerprint",
         [](PublishFixture&, const std::wstring&, std::string bytes) {
             bytes[32 + 28 * 3 + 4] ^= 1;  // the fourth chunk's fingerprint
             return bytes;
         },
         L"parca 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeTree(tree());
        ASSERT_TRUE(publish(7).ok);
        Manifest m;
        ASSERT_TRUE(parseManifest(listBytes(), m));
        ASSERT_EQ(1u, m.chunkIndexes.size());
        const std::string fileHash = m.chunkIndexes.begin()->first;
        const std::string indexHash = m.chunkIndexes.begin()->second.hash;
        const std::wstring object = joinPath(tree(), objectPath(indexHash));
        std::string listed = c.damage(*this, object, readFileBytes(object));
        if (!listed.empty()) {
            // A publisher gone wrong: the list names an index that is there, but is not the right one.
            const std::string newHash = sha256Hex(listed);
            const std::wstring placed = joinPath(tree(), objectPath(newHash));
            createFolderTree(placed.substr(0, placed.rfind(L'\\')));
            writeFileBytes(placed, listed);
            std::string list = listBytes();
            list.replace(list.find(indexHash), 64, newHash);
            writeFileBytes(tree(L"manifest.txt"), list);
        }
        VerifyReport report = verifyPublishedTree(tree(), keys);
        ASSERT_FALSE(report.ok());
        bool named = false;
        for (const std::wstring& p : report.problems)
            named = named || p.find(c.expected) != std::wstring::npos;
        EXPECT_TRUE(named) << std::string(report.problems[0].begin(), report.problems[0].end());
    }
}

// A file rewritten between hashing and copying must not land under the old content's address.
TEST_F(PublishFixture, FileChangedWhilePublishingStopsWithoutPlacingIt) {
    struct Editor {
        const TempFolder* game;
        bool done = false;
    } editor{&game};
    PublishOptions options = flags;
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
    ASSERT_FALSE(generateSigningKey(other).failed());
    PublicKey otherPublic;
    publicKeyBytes(other, otherPublic.data());
    VerifyReport report = verifyPublishedTree(tree(), {otherPublic});
    EXPECT_FALSE(report.ok());
    EXPECT_FALSE(report.signatureVerified);
    // Any key of a set will do: the rotation case of an old and a new key.
    report = verifyPublishedTree(tree(), {otherPublic, ::developmentKey()});
    EXPECT_TRUE(report.ok());
    EXPECT_EQ(report.signingKey, ::developmentKey());
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
    EXPECT_TRUE(verifyPublishedTree(tree(), keys).ok());
}

TEST_F(PublishFixture, ADamagedObjectIsWrittenAgainUnlessQuickIsAsked) {
    ASSERT_TRUE(publish(100).ok);
    // Same size, other bytes: only hashing tells it apart.
    const std::wstring object = objectOf(L"Qorvane.exe");
    ASSERT_EQ(readFileBytes(object), "MZ game bytes");
    writeFileBytes(object, "MZ gone bytes");

    PublishOptions quick = flags;
    quick.gameFolder = game.path;
    quick.serverFolder = tree();
    quick.version = 101;
    quick.signingKey = key;
    quick.quick = true;
    PublishResult fast = publishGame(quick, nullptr, nullptr);
    ASSERT_TRUE(fast.ok) << fast.error.c_str();
    EXPECT_EQ(fast.objectsReused, 6);
    EXPECT_EQ(fast.objectsRepaired, 0);
    bool said = false;
    for (const std::wstring& note : fast.notes)
        said = said || note.find(L"--hizli") != std::wstring::npos;
    EXPECT_TRUE(said) << "the quick run must say that it skipped the check";
    EXPECT_FALSE(verifyPublishedTree(tree(), keys).ok());

    PublishResult checked = publish(102);
    ASSERT_TRUE(checked.ok) << checked.error.c_str();
    EXPECT_EQ(checked.objectsRepaired, 1);
    EXPECT_EQ(checked.objectsWritten, 1);
    EXPECT_EQ(checked.objectsReused, 5);
    EXPECT_EQ(readFileBytes(object), "MZ game bytes");
    EXPECT_TRUE(verifyPublishedTree(tree(), keys).ok());
}

TEST_F(PublishFixture, ASecondPublishIntoTheSameTargetIsRefusedWhileOneRuns) {
    ASSERT_TRUE(publish(100).ok);
    EXPECT_FALSE(fileExists(tree(L"yayin.kilit"))) << "the lock outlives its publish";
    const std::string list = listBytes();

    // Another publisher's lock, held as that publisher holds it.
    HANDLE other = CreateFileW(tree(L"yayin.kilit").c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                               OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    game.write(L"Qorvane.exe", "MZ other game");
    PublishResult refused = publish(101);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find(L"another publish into this target is running"), std::wstring::npos)
        << refused.error.c_str();
    EXPECT_EQ(listBytes(), list);
    EXPECT_FALSE(fileExists(objectOf(L"Qorvane.exe"))) << "nothing is written beside the running publish";
    CloseHandle(other);

    PublishResult after = publish(101);
    EXPECT_TRUE(after.ok) << after.error.c_str();
}

TEST_F(PublishFixture, InstallOnlyRuleAndRuleRecordsReachTheList) {
    PublishResult r = publish(5,
                              "# kurallar\r\nD pack\nE .DLL\nS pack/*.log\nO ekran goruntuleri\n"
                              "I ayarlar/*.cfg\nX oyun-surumu 1\n");
    ASSERT_TRUE(r.ok) << r.error.c_str();
    Manifest m;
    ASSERT_TRUE(parseManifest(listBytes(), m));
    const ManifestEntry& settings = m.entries[m.pathIndex.at(pathKey(L"ayarlar/kullanici.cfg"))];
    EXPECT_EQ(settings.kind, 'I');
    EXPECT_EQ(m.entries[m.pathIndex.at(pathKey(L"Qorvane.exe"))].kind, 'K');
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
        "S koruma/*",    // the launcher's own state, for every kind of path rule
        "O KORUMA",      //
        "D pack/CON",    // a device, not a folder
        "O logs.",       // Windows drops the dot
        "D a\x01b",      // control character
        "D .",           // the whole game folder
        "D ./",          //
        "D PACK~1",      // the shape of a short name, which may alias another folder
        "O logs/GUNLUK~12",
    };
    for (const char* line : bad) {
        PublishRules rules;
        std::wstring error;
        EXPECT_FALSE(parseRules(std::string("D pack\n") + line + "\n", rules, error)) << line;
        EXPECT_NE(error.find(L"satir 2"), std::wstring::npos) << line;
    }
    // Loose spellings that installed launchers would misread: refused, naming the plain form.
    const char* loose[][2] = {
        {"D pack/", "pack"},        {"D ./data", "data"}, {"D data\\", "data"},
        {"S ./pack//*.log", "pack/*.log"}, {"O logs//today", "logs/today"}, {"I ayarlar\\*.cfg", "ayarlar/*.cfg"},
    };
    for (const auto& [line, plain] : loose) {
        PublishRules rules;
        std::wstring error;
        EXPECT_FALSE(parseRules(std::string(line) + "\n", rules, error)) << line;
        EXPECT_NE(error.find(L"gevsek"), std::wstring::npos) << line;
        EXPECT_NE(error.find(L": " + std::wstring(plain, plain + strlen(plain))), std::wstring::npos) << line;
    }
    PublishRules rules;
    std::wstring error;
    EXPECT_TRUE(parseRules("\xEF\xBB\xBF# yorum\r\n\r\n   \nD pack\r\nI Ayarlar/*.CFG\n", rules, error));
    ASSERT_EQ(rules.recordLines.size(), 1u);
    EXPECT_EQ(rules.recordLines[0], "D pack");
    EXPECT_TRUE(isInstallOnly(rules, L"ayarlar/kullanici.cfg"));
    EXPECT_FALSE(isInstallOnly(rules, L"pack/kullanici.cfg"));
}

TEST_F(PublishFixture, FolderContentsTheLauncherCannotHandleStopPublishing) {
    // Names a game built elsewhere (on Linux, say) can carry: written here through the prefix that
    // keeps Windows from changing them, or as Wine stores them.
    const wchar_t* names[] = {L"pack/eski..yedek.bin", L"pack/nul.txt", L"pack/son nokta.",
                              L"pack/son bosluk ",     L"pack/CON",     L"pack/QORVAN~1.EXE"};
    for (const wchar_t* name : names) {
        SCOPED_TRACE(testing::Message() << std::string(name, name + wcslen(name)));
        std::wstring path = L"\\\\?\\" + game.file(name);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;  // this system cannot hold the name at all
        CloseHandle(file);
        PublishResult r = publish(3);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(std::wstring(name).substr(5)), std::wstring::npos);
        EXPECT_FALSE(server.exists(L"qorvane/pc/manifest.txt"));
        EXPECT_TRUE(DeleteFileW(path.c_str()));
    }

    PublishOptions inside;
    inside.gameFolder = game.path;
    inside.serverFolder = game.path + L"\\Www\\qorvane\\pc";
    inside.signingKey = key;
    PublishResult intoItself = publishGame(inside, nullptr, nullptr);
    EXPECT_FALSE(intoItself.ok);
    EXPECT_FALSE(game.exists(L"Www"));

    TempFolder empty;
    PublishOptions options = flags;
    options.gameFolder = empty.path;
    options.serverFolder = tree();
    options.signingKey = key;
    EXPECT_FALSE(publishGame(options, nullptr, nullptr).ok);
}

TEST_F(PublishFixture, LauncherStateFolderIsLeftOutAndNewsAreCopiedOrRefused) {
    game.write(L"koruma/onbellek.txt", "state");
    game.write(L"koruma/kurulum.txt", "Qorvane Launcher kurulumu\n");
    TempFolder sources;
    sources.write(L"tr.txt", "14.10|Yeni *sezon* basladi\n");
    sources.write(L"en.txt", "# nothing here\n");
    PublishOptions options = flags;
    options.gameFolder = game.path;
    options.serverFolder = tree();
    options.version = 9;
    options.signingKey = key;
    options.newsTurkish = sources.file(L"tr.txt");
    options.newsEnglish = sources.file(L"missing.txt");
    // A first publish refused after the target was made leaves no target behind.
    PublishResult refused = publishGame(options, nullptr, nullptr);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find(L"haber dosyasi okunamadi"), std::wstring::npos) << refused.error.c_str();
    EXPECT_FALSE(pathExists(tree()));

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

// Launchers refuse a version below the highest they verified, so the publisher refuses to publish
// one unless told that no player has seen the higher one.
TEST_F(PublishFixture, VersionDefaultsToUnixTimeAndALowerVersionNeedsItsOption) {
    PublishResult now = publish(0);
    ASSERT_TRUE(now.ok);
    EXPECT_GT(now.version, 1700000000u);  // after 2023
    EXPECT_LT(now.version, 4102444800u);  // before 2100
    std::string published = listBytes();

    PublishResult older = publish(5);
    EXPECT_FALSE(older.ok);
    EXPECT_NE(older.error.find(L"surum 5, yayindaki surum " + std::to_wstring(now.version)), std::wstring::npos);
    EXPECT_NE(older.error.find(L"--dusuk-surum"), std::wstring::npos);
    EXPECT_EQ(listBytes(), published);  // nothing written

    PublishResult same = publish(now.version);
    ASSERT_TRUE(same.ok);
    EXPECT_TRUE(hasNote(same, L"ayni"));

    flags.allowLowerVersion = true;
    older = publish(5);
    ASSERT_TRUE(older.ok) << toUtf8(older.error);
    EXPECT_TRUE(hasNote(older, L"surum 5"));
    EXPECT_EQ(listBytes().rfind("#QORVANEPC 1\n#surum 5\n", 0), 0u);
}

// A launcher that cannot verify the list that ships it would take over every player's folder and
// reject every later list. A dev-key launcher in a tree signed with a release key is the usual way.
TEST_F(PublishFixture, TheLauncherMustCarryTheSigningKey) {
    SigningKey release;
    KeySet releaseKeys = freshKeySet(&release);
    key = release;
    std::string releaseHex = keyHex(releaseKeys[0]), devHex = keyHex(::developmentKey());

    // The test build's launcher carries the development key only.
    PublishResult r = publish(1);
    ASSERT_FALSE(r.ok);
    EXPECT_NE(r.error.find(L"Qorvane Launcher.exe"), std::wstring::npos);
    EXPECT_NE(r.error.find(fromUtf8(releaseHex)), std::wstring::npos) << toUtf8(r.error);
    EXPECT_NE(r.error.find(fromUtf8(devHex) + L" (gelistirme"), std::wstring::npos) << toUtf8(r.error);
    EXPECT_FALSE(server.exists(L"qorvane/pc/obj"));  // refused before anything was written

    // A file that is no program carries no keys either.
    game.write(L"Qorvane Launcher.exe", "MZ but not a program");
    r = publish(1);
    ASSERT_FALSE(r.ok);
    EXPECT_NE(r.error.find(L"anahtar kumesi"), std::wstring::npos);

    // A launcher that knows both keys (the rotation's bridge) may ship in either key's lists.
    writeKeyedProgram(game.file(L"Qorvane Launcher.exe"), {::developmentKey(), releaseKeys[0]});
    r = publish(2);
    ASSERT_TRUE(r.ok) << toUtf8(r.error);
    VerifyReport report = verifyPublishedTree(tree(), releaseKeys);
    EXPECT_TRUE(report.ok());
    EXPECT_EQ(report.signingKey, releaseKeys[0]);
}

// The tree that the publisher refuses can still reach a server by other means (an older
// publisher, a hand-made list): the verifier reports it naming both keys.
TEST_F(PublishFixture, VerifyReportsALauncherThatCannotVerifyItsList) {
    ASSERT_TRUE(publish(3).ok);
    // The launcher's object replaced by one that trusts another key, its record updated, the list
    // signed again with the key that signed it.
    TempFolder other;
    writeKeyedProgram(other.file(L"launcher.exe"), freshKeySet());
    std::string bytes = other.read(L"launcher.exe");
    std::string hash = sha256Hex(bytes);
    std::wstring object = objectPath(hash);
    for (wchar_t& c : object)
        if (c == L'/') c = L'\\';
    CreateDirectoryW(tree(object.substr(0, object.rfind(L'\\'))).c_str(), nullptr);
    writeFileBytes(tree(object), bytes);
    std::string list = listBytes();
    std::string oldHash = hashFile(game.file(L"Qorvane Launcher.exe"), nullptr, nullptr);
    size_t at = list.find(oldHash);
    ASSERT_NE(at, std::string::npos);
    size_t end = list.find('\n', at);
    list.replace(at, end - at, hash + " " + std::to_string(bytes.size()) + " Qorvane Launcher.exe");
    std::string signature;
    ASSERT_FALSE(signList(key, list, signature).failed());
    writeFileBytes(tree(L"manifest.txt"), list);
    writeFileBytes(tree(L"manifest.sig"), signature);

    VerifyReport report = verifyPublishedTree(tree(), keys);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_NE(report.problems[0].find(L"imzalayan anahtari tasimiyor"), std::wstring::npos);
    EXPECT_NE(report.problems[0].find(fromUtf8(keyHex(::developmentKey()))), std::wstring::npos);
    EXPECT_TRUE(report.signatureVerified);
}

TEST_F(PublishFixture, TheDevelopmentKeySignsOnlyWhenAskedTo) {
    flags.allowDevelopmentKey = false;
    PublishResult r = publish(1);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(L"--gelistirme"), std::wstring::npos);
    EXPECT_FALSE(server.exists(L"qorvane/pc"));
    flags.allowDevelopmentKey = true;
    r = publish(1);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(hasNote(r, L"gelistirme anahtariyla"));
}

// Files the new list drops stay on players' machines unless the new list's own D folders or
// top-level E extensions reach them; the publisher names each one, and --kati refuses.
TEST_F(PublishFixture, DroppedFilesOutsideTheCleanUpRulesAreNamed) {
    const std::string rules = "D pack\nE .dll\nS pack/*.log\n";
    game.write(L"beni_oku.txt", "readme");
    game.write(L"eski.dll", "top-level dll");
    game.write(L"data/alt/guvensiz.dll", "a dll below a folder no rule cleans");
    game.write(L"pack/kaldirilan.dat", "removed inside a D folder");
    game.write(L"pack/oyun.log", "kept by an S pattern");
    game.write(L"pack/derin/1/2/3/4/5/6/7/8/dokuz.dat", "deeper than the clean-up walks");
    ASSERT_TRUE(publish(10, rules).ok);
    std::string published = listBytes();
    for (const wchar_t* gone : {L"beni_oku.txt", L"eski.dll", L"data/alt/guvensiz.dll", L"pack/kaldirilan.dat",
                                L"pack/oyun.log", L"pack/derin/1/2/3/4/5/6/7/8/dokuz.dat"})
        ASSERT_TRUE(DeleteFileW(game.file(gone).c_str()));

    flags.strictRemovals = true;
    PublishResult strict = publish(11, rules);
    EXPECT_FALSE(strict.ok);
    EXPECT_NE(strict.error.find(L"--kati"), std::wstring::npos);
    EXPECT_EQ(listBytes(), published);

    flags.strictRemovals = false;
    PublishResult r = publish(11, rules);
    ASSERT_TRUE(r.ok) << toUtf8(r.error);
    std::vector<std::wstring> expected = {L"beni_oku.txt", L"data/alt/guvensiz.dll",
                                          L"pack/derin/1/2/3/4/5/6/7/8/dokuz.dat", L"pack/oyun.log"};
    std::vector<std::wstring> left = r.leftBehind;
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, expected);
    EXPECT_TRUE(hasNote(r, L"data/alt/guvensiz.dll"));
    // Republishing the same folder drops nothing.
    r = publish(12, rules);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.leftBehind.empty());
}

}  // namespace

namespace {

char kindOf(const Manifest& m, const wchar_t* path) {
    auto found = m.pathIndex.find(pathKey(path));
    return found == m.pathIndex.end() ? '-' : m.entries[found->second].kind;
}

// The rules live with the tree: a publish without a rules file keeps the published list's rules,
// "I" wildcards included, so a settings file added later is still install-only.
TEST_F(PublishFixture, RepublishingWithoutRulesKeepsThePublishedRules) {
    const std::string rules =
        "D pack\nE .dll\nS pack/*.log\nO ekran goruntuleri\nI ayarlar/*.cfg\nX oyun 1\n";
    ASSERT_TRUE(publish(1, rules).ok);
    Manifest first;
    ASSERT_TRUE(parseManifest(listBytes(), first));
    game.write(L"ayarlar/yeni.cfg", "eklenen");

    flags.keepPublishedRules = true;
    PublishResult r = publish(2);
    ASSERT_TRUE(r.ok) << toUtf8(r.error);
    EXPECT_TRUE(hasNote(r, L"6 kurali korundu"));
    Manifest second;
    ASSERT_TRUE(parseManifest(listBytes(), second));
    EXPECT_EQ(second.cleanDirs, first.cleanDirs);
    EXPECT_EQ(second.rootExtensions, first.rootExtensions);
    EXPECT_EQ(second.keepPatterns, first.keepPatterns);
    EXPECT_EQ(second.createDirs, first.createDirs);
    EXPECT_EQ(second.xValues, first.xValues);
    EXPECT_EQ(kindOf(second, L"ayarlar/kullanici.cfg"), 'I');
    EXPECT_EQ(kindOf(second, L"ayarlar/yeni.cfg"), 'I');
    EXPECT_EQ(kindOf(second, L"Qorvane.exe"), 'K');
    EXPECT_NE(listBytes().find("\n#kural I ayarlar/*.cfg\n"), std::string::npos);
    EXPECT_TRUE(verifyPublishedTree(tree(), keys).ok());
}

// A list from before the patterns were carried names only the install-only files: each stays
// install-only by its exact path. A list whose rules would not pass as a rules file, or that cannot
// be read, is not silently published over without rules.
TEST_F(PublishFixture, RulesOfOlderOrUnreadableListsAreKeptOrRefused) {
    ASSERT_TRUE(publish(1, "D pack\nI ayarlar/*.cfg\n").ok);
    std::string list = listBytes();
    const std::string mark = "#kural I ayarlar/*.cfg\n";
    ASSERT_NE(list.find(mark), std::string::npos);
    std::string older = list;
    older.erase(older.find(mark), mark.size());
    game.write(L"ayarlar/yeni.cfg", "eklenen");
    flags.keepPublishedRules = true;

    struct Case {
        const char* name;
        std::string list;  // what the target serves before the publish
        bool ok;
        const wchar_t* errorText;
    };
    std::string loose = older;
    loose.insert(loose.find("D pack\n"), "D data/\n");
    const Case cases[] = {
        {"older list", older, true, nullptr},
        {"loose rule", loose, false, L"D data/"},
        {"unreadable list", "kirik", false, L"--kurallar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(writeFileReplacing(tree(L"manifest.txt"), c.list), 0u);
        PublishResult r = publish(2);
        EXPECT_EQ(r.ok, c.ok) << toUtf8(r.error);
        if (!c.ok) {
            EXPECT_NE(r.error.find(c.errorText), std::wstring::npos) << toUtf8(r.error);
            EXPECT_EQ(listBytes(), c.list);
            continue;
        }
        Manifest m;
        ASSERT_TRUE(parseManifest(listBytes(), m));
        EXPECT_EQ(m.cleanDirs, std::vector<std::wstring>{L"pack"});
        EXPECT_EQ(kindOf(m, L"ayarlar/kullanici.cfg"), 'I');
        EXPECT_EQ(kindOf(m, L"ayarlar/yeni.cfg"), 'K');
    }
}

// A rules file replaces the published rules: every rule it drops is named, and an install-only
// file turning checked (players' edits overwritten) is refused unless its option is given.
TEST_F(PublishFixture, ARulesFileNamesWhatItDropsAndInstallOnlyToCheckedNeedsItsOption) {
    ASSERT_TRUE(publish(1, "D pack\nE .dll\nS pack/*.log\nI ayarlar/*.cfg\nO ekran\n").ok);
    const std::string published = listBytes();

    PublishResult refused = publish(2, "D Pack\nO ekran\n");
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find(L"ayarlar/kullanici.cfg"), std::wstring::npos) << toUtf8(refused.error);
    EXPECT_NE(refused.error.find(L"--denetime-al"), std::wstring::npos);
    EXPECT_EQ(listBytes(), published);

    flags.allowInstallOnlyToChecked = true;
    PublishResult r = publish(2, "D Pack\nO ekran\n");
    ASSERT_TRUE(r.ok) << toUtf8(r.error);
    // "D Pack" is "D pack" as the launcher reads it; the others are gone.
    EXPECT_EQ(r.droppedRules, (std::vector<std::wstring>{L"E .dll", L"S pack/*.log", L"I ayarlar/*.cfg"}));
    EXPECT_EQ(r.turnedChecked, std::vector<std::wstring>{L"ayarlar/kullanici.cfg"});
    EXPECT_TRUE(hasNote(r, L"S pack/*.log"));
    Manifest m;
    ASSERT_TRUE(parseManifest(listBytes(), m));
    EXPECT_EQ(kindOf(m, L"ayarlar/kullanici.cfg"), 'K');

    // The same rules again drop nothing; a file turning install-only needs no option.
    flags.allowInstallOnlyToChecked = false;
    r = publish(3, "D Pack\nO ekran\nI Qorvane.exe\n");
    ASSERT_TRUE(r.ok) << toUtf8(r.error);
    EXPECT_TRUE(r.droppedRules.empty());
    EXPECT_TRUE(r.turnedChecked.empty());
}

// The launcher's name is the one file players' launchers replace themselves from: a file merely
// named like it would be published as a game file no rule removes, so it stops the publish; a tree
// without the launcher is published with one warning line; an unsigned launcher gets a note.
TEST_F(PublishFixture, LauncherLookalikesAreRefusedAndAMissingLauncherIsWarnedAbout) {
    for (const wchar_t* name :
         {L"Qorvane Launcher-imzasiz.exe", L"qorvane launcher (2).EXE", L"Qorvane Launcher.exe.exe"}) {
        SCOPED_TRACE(toUtf8(name));
        writeKeyedProgram(game.file(name), keys);
        PublishResult r = publish(1);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(name), std::wstring::npos) << toUtf8(r.error);
        EXPECT_FALSE(server.exists(L"qorvane/pc/manifest.txt"));
        ASSERT_TRUE(DeleteFileW(game.file(name).c_str()));
    }
    PublishResult r = publish(1);
    ASSERT_TRUE(r.ok) << toUtf8(r.error);
    EXPECT_TRUE(r.warnings.empty());
    EXPECT_TRUE(hasNote(r, L"launcher imzasiz"));

    ASSERT_TRUE(DeleteFileW(game.file(L"Qorvane Launcher.exe").c_str()));
    game.write(L"bin/Qorvane Launcher.exe", "not at the top");
    r = publish(2);
    ASSERT_TRUE(r.ok) << toUtf8(r.error);
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find(L"launcher yok"), std::wstring::npos);
    EXPECT_FALSE(hasNote(r, L"launcher imzasiz"));
}

}  // namespace
// Nothing from outside the build folder is published: a file with a second name elsewhere (a hard
// link) is refused, and every such file is named. (Symbolic links to files are refused by their
// attribute; Wine shows a host symbolic link as a plain file, so that case is seen only on Windows.)
TEST_F(PublishFixture, FilesWithOtherNamesOutsideTheBuildAreRefusedByName) {
    TempFolder elsewhere;
    elsewhere.write(L"gizli.txt", "private, outside the build");
    ASSERT_TRUE(CreateHardLinkW(game.file(L"pack/baglanti.dat").c_str(), elsewhere.file(L"gizli.txt").c_str(),
                                nullptr));
    game.write(L"data/ikinci ad.bin", "two names inside");
    ASSERT_TRUE(CreateHardLinkW(game.file(L"data/ucuncu ad.bin").c_str(),
                                game.file(L"data/ikinci ad.bin").c_str(), nullptr));
    PublishResult r = publish(4);
    EXPECT_FALSE(r.ok);
    for (const wchar_t* named : {L"pack/baglanti.dat", L"data/ikinci ad.bin", L"data/ucuncu ad.bin"})
        EXPECT_NE(r.error.find(named), std::wstring::npos) << toUtf8(r.error);
    EXPECT_FALSE(server.exists(L"qorvane/pc/manifest.txt"));

    DeleteFileW(game.file(L"pack/baglanti.dat").c_str());
    DeleteFileW(game.file(L"data/ucuncu ad.bin").c_str());
    EXPECT_TRUE(publish(4).ok);
}
