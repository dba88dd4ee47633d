#include "update/run_driver.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/contained_path.h"
#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/text.h"
#include "protocol/hash_cache.h"
#include "protocol/temp_journal.h"
#include "tests/support/folder_link.h"
#include "tests/update/engine_game.h"
#include "update/version_record.h"
#include "update/worker.h"

namespace {

void setWriteTime(const std::wstring& path, uint64_t value) {
    HANDLE h =
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME t{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
    SetFileTime(h, nullptr, nullptr, &t);
    CloseHandle(h);
}

size_t objectRequests(const LoopbackServer& server) {
    size_t n = 0;
    for (const LoopbackRequest& r : server.requests())
        if (r.path.find("/obj/") != std::string::npos) ++n;
    return n;
}

}  // namespace

TEST(RunDriver, CheckOnlyRunVerifiesAndLeavesTheFolderAlone) {
    EngineGame game;
    game.files["pack/a.bin"] = "aaaa";
    game.files["b.bin"] = "bbbbbb";
    game.version = 20261207;
    game.publish();
    game.server.addFile("/qorvane/pc/haberler_tr.txt", "08.12|Haber\n");
    StatusSnapshot s = game.run(false, true);
    EXPECT_EQ(UpdatePhase::ListChecked, s.phase);
    EXPECT_EQ(20261207u, s.manifestVersion);
    EXPECT_EQ(10u, s.requiredBytes);
    EXPECT_TRUE(s.listVerified);
    ASSERT_EQ(1u, s.news[0].size());
    EXPECT_FALSE(game.folder.exists(L"koruma"));
    EXPECT_FALSE(game.folder.exists(L"pack"));
    EXPECT_EQ(0u, objectRequests(game.server));
}

TEST(RunDriver, CorrectFolderEndsReadyAndSavesItsState) {
    EngineGame game;
    game.files["pack/a.bin"] = "aaaa";
    game.files["Data/B.bin"] = patternBytes(3 * 1048576 + 3, 1);
    game.rules = "O logs/today\n";
    game.publish();
    game.install();
    StatusSnapshot s = game.run();
    EXPECT_EQ(UpdatePhase::Ready, s.phase);
    EXPECT_EQ(2, s.filesTotal);
    EXPECT_EQ(s.bytesTotal, s.bytesDone);
    EXPECT_EQ(0, s.filesUpdated);
    std::string log = game.log();
    EXPECT_NE(std::string::npos, log.find("liste dogrulandi: surum 5, 2 dosya, 3145735 bayt"));
    EXPECT_NE(std::string::npos, log.find("tarama bitti: 2 dosya, 0 indirilecek"));
    EXPECT_NE(std::string::npos, log.find("HAZIR\r\n"));
    EXPECT_EQ(game.listText, game.folder.read(L"koruma/manifest.txt"));
    EXPECT_EQ(64u, game.folder.read(L"koruma/manifest.sig").size());
    EXPECT_TRUE(game.folder.exists(L"logs/today"));
    HashCache cache;
    loadHashCache(game.folder.path, cache);
    ASSERT_EQ(2u, cache.size());
    EXPECT_EQ(sha256Of(game.files["Data/B.bin"]), cache.at(pathKey(L"data/b.bin")).hash);
    EXPECT_EQ(0u, objectRequests(game.server));
}

TEST(RunDriver, DifferingFilesAreFetchedAndInstallOnlyFilesOnlyNeedToExist) {
    EngineGame game;
    game.files["same.bin"] = "same";
    game.files["missing.bin"] = "missing";
    game.files["changed.bin"] = "changed";
    game.files["resized.bin"] = "resized";
    game.installOnly["config.cfg"] = "default";
    game.installOnly["user.cfg"] = "default";
    game.publish();
    game.folder.write(L"same.bin", "same");
    game.folder.write(L"changed.bin", "CHANGED");
    game.folder.write(L"resized.bin", "resized, longer");
    game.folder.write(L"user.cfg", "the user's own, longer settings");
    StatusSnapshot s = game.run();
    ASSERT_EQ(UpdatePhase::Ready, s.phase) << static_cast<int>(s.errorCode) << " " << game.log();
    EXPECT_NE(std::string::npos, game.log().find("tarama bitti: 6 dosya, 4 indirilecek"));
    EXPECT_EQ(4, s.filesUpdated);
    EXPECT_EQ("changed", game.folder.read(L"changed.bin"));
    EXPECT_EQ("resized", game.folder.read(L"resized.bin"));
    EXPECT_EQ("missing", game.folder.read(L"missing.bin"));
    EXPECT_EQ("default", game.folder.read(L"config.cfg"));
    EXPECT_EQ("the user's own, longer settings", game.folder.read(L"user.cfg"));
}

TEST(RunDriver, AFolderWhereAFileBelongsCountsAsMissing) {
    EngineGame game;
    game.files["folder.bin"] = "a folder stands here";
    game.publish();
    CreateDirectoryW(game.folder.file(L"folder.bin").c_str(), nullptr);
    game.run();  // the folder itself is not removed, so placing the file fails
    EXPECT_NE(std::string::npos, game.log().find("tarama bitti: 1 dosya, 1 indirilecek"));
}

TEST(RunDriver, QuickScanTrustsMatchingCacheEntriesAndFullScanDoesNot) {
    EngineGame game;
    game.files["a.bin"] = "original";
    game.publish();
    game.install();
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    HashCache cache;
    loadHashCache(game.folder.path, cache);
    uint64_t mtime = cache.at(pathKey(L"a.bin")).mtime;

    // Same size, same time stamp, other bytes: only a full scan can notice.
    game.folder.write(L"a.bin", "ORIGINAL");
    setWriteTime(game.folder.file(L"a.bin"), mtime);
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    EXPECT_EQ("ORIGINAL", game.folder.read(L"a.bin"));
    ASSERT_EQ(UpdatePhase::Ready, game.run(true).phase);
    EXPECT_EQ("original", game.folder.read(L"a.bin"));

    // A changed time stamp alone makes the quick scan hash again.
    game.folder.write(L"a.bin", "0riginal");
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    EXPECT_EQ("original", game.folder.read(L"a.bin"));
    EXPECT_NE(std::string::npos, game.log().find("---- basla: tam tarama"));
}

// The program the play button starts is read in every run: whoever could replace it could also set
// its size and time back, which is all the cache compares.
TEST(RunDriver, TheGameClientIsHashedInEveryRun) {
    EngineGame game;
    game.files["Qorvane.exe"] = "the game";
    game.files["a.bin"] = "original";
    game.publish();
    game.install();
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    HashCache cache;
    loadHashCache(game.folder.path, cache);
    for (const wchar_t* name : {L"Qorvane.exe", L"a.bin"}) {
        const uint64_t mtime = cache.at(pathKey(name)).mtime;
        game.folder.write(name, name == std::wstring(L"a.bin") ? "ORIGINAL" : "THE GAME");
        setWriteTime(game.folder.file(name), mtime);
    }
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    EXPECT_NE(std::string::npos, game.log().rfind("tarama bitti: 2 dosya, 1 indirilecek")) << game.log();
    EXPECT_EQ("the game", game.folder.read(L"Qorvane.exe"));
    EXPECT_EQ("ORIGINAL", game.folder.read(L"a.bin")) << "other files still trust the cache";
}

// A stray name that Windows would read as a listed one ("data.pak." for "data.pak") is deleted as
// itself: the listed file stays, and the next run finds nothing to fetch.
TEST(RunDriver, CleanUpDeletesANameThatAliasesAListedFileAsItself) {
    EngineGame game;
    game.files["pack/data.pak"] = "listed";
    game.rules = "D pack\n";
    game.publish();
    game.install();
    for (const wchar_t* alias : {L"pack/data.pak.", L"pack/data.pak "}) {
        HANDLE stray = CreateFileW(exactPath(game.folder.path, alias).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(stray, INVALID_HANDLE_VALUE);
        CloseHandle(stray);
    }
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    EXPECT_EQ(2, countOf(game.log(), " silindi"));
    EXPECT_EQ("listed", game.folder.read(L"pack/data.pak"));
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    EXPECT_NE(std::string::npos, game.log().rfind("tarama bitti: 1 dosya, 0 indirilecek"));
    EXPECT_EQ(2, countOf(game.log(), "fazla dosya"));
}

// Nothing is written, created or deleted through a link below the game folder: a listed file whose
// folder is a link fails the run (kind 3, error 4395) and writes nothing outside, an "O" folder
// through a link is not made, a journal temp through a link is not deleted.
TEST(RunDriver, NothingIsWrittenOrDeletedThroughALink) {
    EngineGame game;
    TempFolder outside;
    outside.write(L"precious.doc.indir", "the player's");
    game.files["a.bin"] = "a";
    game.rules = "O linked/yeni\n";
    game.publish();
    game.install();
    if (!makeFolderLink(game.folder.file(L"linked"), outside.path))
        GTEST_SKIP() << "this system makes no folder links";
    ASSERT_EQ(writeTempJournal(game.folder.path, {L"linked/precious.doc.indir"}), 0u);
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    EXPECT_FALSE(outside.exists(L"yeni"));
    EXPECT_TRUE(outside.exists(L"precious.doc.indir"));
    EXPECT_NE(std::string::npos, game.log().find("baglanti uzerinden klasor olusturulmaz: linked/yeni"))
        << game.log();

    game.files["linked/b.bin"] = "b";
    game.publish();
    StatusSnapshot s = game.run();
    EXPECT_EQ(UpdatePhase::Error, s.phase);
    EXPECT_EQ(ErrorKind::FileWrite, s.errorCode);
    EXPECT_EQ(L"linked/b.bin", s.detailText);
    EXPECT_NE(std::string::npos, game.log().find("(son sistem hatasi 4395)")) << game.log();
    EXPECT_FALSE(outside.exists(L"b.bin"));
    EXPECT_FALSE(outside.exists(L"b.bin.indir"));
}

TEST(RunDriver, CleansExtraFilesCreatesFoldersAndSkipsOnlyTheTopLevelLauncher) {
    EngineGame game;
    game.files["Qorvane Launcher.exe"] = "launcher";
    game.files["tools/qorvane launcher.exe"] = "a helper with the launcher's name";
    game.rules = "D pack\nE .dll\nS pack/keep/*\n";
    game.publish();
    game.folder.write(L"Qorvane Launcher.exe", "some other build");
    game.folder.write(L"pack/old.bin", "x");
    game.folder.write(L"pack/keep/user.ini", "x");
    game.folder.write(L"pack/readonly.bin", "x");
    SetFileAttributesW(game.folder.file(L"pack/readonly.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    game.folder.write(L"stale.dll", "x");
    game.folder.write(L"pack/locked.bin", "x");
    HANDLE locked = CreateFileW(game.folder.file(L"pack/locked.bin").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    StatusSnapshot s = game.run();
    CloseHandle(locked);
    ASSERT_EQ(UpdatePhase::Ready, s.phase) << static_cast<int>(s.errorCode);
    EXPECT_EQ(1, s.filesTotal);  // only the helper below tools/
    EXPECT_EQ("some other build", game.folder.read(L"Qorvane Launcher.exe"));
    EXPECT_EQ("a helper with the launcher's name", game.folder.read(L"tools/qorvane launcher.exe"));
    std::string log = game.log();
    EXPECT_NE(std::string::npos, log.find("fazla dosya pack/old.bin silindi"));
    EXPECT_NE(std::string::npos, log.find("fazla dosya pack/readonly.bin silindi"));
    EXPECT_NE(std::string::npos, log.find("fazla dosya stale.dll silindi"));
    EXPECT_NE(std::string::npos, log.find("fazla dosya pack/locked.bin silinemedi"));
    EXPECT_FALSE(game.folder.exists(L"pack/readonly.bin"));
    EXPECT_TRUE(game.folder.exists(L"pack/keep/user.ini"));
}

TEST(RunDriver, ListWithOnlyTheLauncherIsReadyAtOnce) {
    EngineGame game;
    game.files["QORVANE LAUNCHER.EXE"] = "launcher";
    game.publish();
    StatusSnapshot s = game.run();
    EXPECT_EQ(UpdatePhase::Ready, s.phase);
    EXPECT_EQ(0, s.filesTotal);
    EXPECT_NE(std::string::npos, game.log().find("tarama bitti: 0 dosya, 0 indirilecek"));
}

TEST(RunDriver, StopWhileHashingEndsQuietlyWithoutSavingTheCache) {
    EngineGame game;
    std::string big(96 * 1048576, 'q');
    game.files["big.bin"] = big;
    game.publish();
    game.folder.write(L"big.bin", std::string(big.size(), 'r'));  // same size: it must be hashed
    startRun(game.u, true, false);
    bool sawHashing = false;
    for (int i = 0; i < 20000 && game.u.workerRunning; ++i) {
        StatusSnapshot s = copyStatus(game.u.status);
        if (s.phase == UpdatePhase::Scanning && s.bytesDone > 0) {
            sawHashing = true;
            break;
        }
        Sleep(1);
    }
    stopRun(game.u, 5000);
    ASSERT_TRUE(sawHashing) << "the hashing ended before the test could see it";
    StatusSnapshot s = copyStatus(game.u.status);
    EXPECT_EQ(UpdatePhase::Scanning, s.phase);
    EXPECT_LT(s.bytesDone, big.size());
    EXPECT_FALSE(game.folder.exists(L"koruma/onbellek.txt"));
    EXPECT_EQ(std::string::npos, game.log().find("tarama bitti"));
}

TEST(RunDriver, FailuresAndRetriesKeepWhatTheWindowShows) {
    EngineGame game;
    game.files["a.bin"] = "abc";
    game.publish();
    game.server.addFile("/qorvane/pc/haberler_en.txt", "1|news\n");
    game.install();
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);

    // A log held open elsewhere without sharing loses its lines; the run is unaffected.
    std::string before = game.log();
    HANDLE held = CreateFileW(game.folder.file(L"koruma/launcher_gunluk.txt").c_str(), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(UpdatePhase::Ready, game.run().phase);
    CloseHandle(held);
    EXPECT_EQ(before, game.log());

    // A signature that never matches: kind 2, and the previous list's figures and news stay shown.
    game.server.addFile("/qorvane/pc/manifest.sig", std::string(64, '\x01'));
    StatusSnapshot s = game.run();
    EXPECT_EQ(UpdatePhase::Error, s.phase);
    EXPECT_EQ(ErrorKind::ListRejected, s.errorCode);
    EXPECT_FALSE(s.listVerified);
    EXPECT_EQ(5u, s.manifestVersion);
    EXPECT_EQ(3u, s.requiredBytes);
    EXPECT_EQ(1u, s.news[1].size());
    // Why, and the signature check's own error (NTE_BAD_SIGNATURE).
    EXPECT_NE(std::string::npos,
              game.log().find("HATA 2 imza dogrulanamadi: liste bu launcher'in anahtarlariyla imzalanmamis "
                              "(son sistem hatasi 2148073478)\r\n"))
        << game.log();

    game.server.stop();
    s = game.run();
    EXPECT_EQ(UpdatePhase::Error, s.phase);
    EXPECT_EQ(ErrorKind::Connection, s.errorCode);
    EXPECT_EQ("abc", game.folder.read(L"a.bin"));
    // The refused connection's own error is in the line (ERROR_WINHTTP_CANNOT_CONNECT), not 0.
    std::string log = game.log();
    EXPECT_NE(std::string::npos, log.find("HATA 1 liste manifest.txt alinamadi (son sistem hatasi 12029)\r\n"))
        << log;
}

// A path listed twice (as "Data/x.bin" and "data\x.bin") is one file on disk: only its last record
// may decide, or an older record would fetch other bytes to the same place, in parallel with it.
TEST(RunDriver, APathListedTwiceIsJudgedByItsLastRecordOnly) {
    struct Case {
        const char* onDisk;  // nullptr: missing
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {{"new", {}}, {"old", {1}}, {nullptr, {1}}};
    for (const Case& c : cases) {
        TempFolder folder;
        if (c.onDisk) folder.write(L"data/x.bin", c.onDisk);
        Manifest m;
        addEntry(m, L"Data/x.bin", "old");
        addEntry(m, L"data\\x.bin", "new");
        Updater u;
        u.config.rootFolder = folder.path;
        HashCache cache;
        std::vector<uint32_t> downloadList;
        ScanCounts counted;
        ASSERT_TRUE(scanListedFiles(u.config.rootFolder, u.stop, u.status, m, cache, true, downloadList, counted).ok());
        EXPECT_EQ(c.expected, downloadList) << (c.onDisk ? c.onDisk : "missing");
        EXPECT_EQ(2, counted.files);
    }
}

namespace {

// Writes a file of the game under a wide path, as a player's disk may spell it.
void place(EngineGame& game, const std::wstring& path, const std::string& bytes) {
    game.folder.write(path, bytes);
}

}  // namespace

// Rules written loosely and names spelled in other letter case (Turkish letters included): the
// clean-up deletes no listed file, no install record and no game, and the next run fetches nothing.
TEST(RunDriver, LooseRulesAndOtherLetterCaseDeleteNothingListed) {
    EngineGame game;
    game.files["Qorvane.exe"] = "the game";
    game.files["pack/\xc5\x9f" "ehir/harita.epk"] = "map";         // pack/şehir/harita.epk
    game.files["data/\xc3\xa7i\xc3\xa7" "ek.dat"] = "flower";      // data/çiçek.dat
    game.files["ses/m\xc3\xbczik.ogg"] = "music";                  // ses/müzik.ogg
    game.files["\xc3\x96" "d\xc3\xbcl/liste.txt"] = "prizes";      // Ödül/liste.txt
    game.rules = "D pack/\nD ./data\nD .\nD ses\\\nD \xc3\xb6" "D\xc3\x9c" "L\n"  // öDÜL
                 "D PACK/\xc5\x9e" "EHIR\nD koruma\nD ./\nE .exe\n";
    game.publish();
    place(game, L"koruma/kurulum.txt", "Qorvane Launcher kurulumu\n");
    place(game, L"Qorvane Launcher.exe", "the launcher");
    place(game, L"PACK/\u015eEHIR/eski.epk", "removed from the game");
    place(game, L"\u00d6D\u00dcL/eski.txt", "removed too");

    StatusSnapshot s = game.run();
    ASSERT_EQ(UpdatePhase::Ready, s.phase) << game.log();
    std::string log = game.log();
    EXPECT_EQ(5, countOf(log, "indirildi "));
    EXPECT_EQ(2, countOf(log, "fazla dosya")) << log;
    EXPECT_FALSE(game.folder.exists(L"pack/\u015fehir/eski.epk"));
    EXPECT_FALSE(game.folder.exists(L"\u00f6d\u00fcl/eski.txt"));
    EXPECT_EQ("map", game.folder.read(L"pack/\u015fehir/harita.epk"));
    EXPECT_EQ("flower", game.folder.read(L"DATA/\u00c7I\u00c7EK.DAT"));
    EXPECT_EQ("music", game.folder.read(L"ses/m\u00fczik.ogg"));
    EXPECT_EQ("prizes", game.folder.read(L"\u00d6d\u00fcl/liste.txt"));
    EXPECT_EQ("the game", game.folder.read(L"Qorvane.exe"));
    EXPECT_EQ("the launcher", game.folder.read(L"Qorvane Launcher.exe"));
    EXPECT_TRUE(game.folder.exists(L"koruma/kurulum.txt"));

    s = game.run();
    ASSERT_EQ(UpdatePhase::Ready, s.phase);
    log = game.log();
    EXPECT_NE(std::string::npos, log.rfind("tarama bitti: 5 dosya, 0 indirilecek")) << log;
    EXPECT_EQ(5, countOf(log, "indirildi "));
    EXPECT_EQ(2, countOf(log, "fazla dosya"));
}

// A listed file whose full path, ".indir" included, is longer than MAX_PATH is fetched, committed,
// found again by the next scan and walked by the clean-up like any other.
TEST(RunDriver, DeepFoldersBeyondMaxPathWork) {
    EngineGame game;
    std::string deep;
    for (int i = 0; i < 5; ++i)
        deep += "uzun klas\xc3\xb6r ad\xc4\xb1 " + std::to_string(i) + std::string(40, 'x') + "/";
    game.files[deep + "harita.epk"] = "deep map";
    game.rules = "D " + deep.substr(0, deep.size() - 1) + "\n";
    game.publish();
    std::wstring wideDeep = fromUtf8(deep);
    ASSERT_GT(game.folder.path.size() + wideDeep.size() + 16, size_t{MAX_PATH});
    place(game, L"koruma/kurulum.txt", "Qorvane Launcher kurulumu\n");

    ASSERT_EQ(UpdatePhase::Ready, game.run().phase) << game.log();
    EXPECT_EQ("deep map", readFileBytes(fullPath(game.folder.path, wideDeep + L"harita.epk")));
    EXPECT_TRUE(leftoverTemps(fullPath(game.folder.path, L"uzun klas\u00f6r ad\u0131 0" + std::wstring(40, L'x'))).empty());

    writeFileBytes(fullPath(game.folder.path, wideDeep + L"eski.epk"), "extra");
    writeFileBytes(fullPath(game.folder.path, wideDeep + L"yarim.epk.indir"), "left by an ended process");
    ASSERT_EQ(writeTempJournal(game.folder.path, {wideDeep + L"yarim.epk.indir"}), 0u);
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    std::string log = game.log();
    EXPECT_NE(std::string::npos, log.rfind("tarama bitti: 1 dosya, 0 indirilecek")) << log;
    EXPECT_EQ(1, countOf(log, "fazla dosya"));
    EXPECT_EQ(1, countOf(log, "yarim kalan indirme silindi"));
    EXPECT_FALSE(pathExists(fullPath(game.folder.path, wideDeep + L"eski.epk")));
    EXPECT_FALSE(pathExists(fullPath(game.folder.path, wideDeep + L"yarim.epk.indir")));
    EXPECT_TRUE(pathExists(fullPath(game.folder.path, wideDeep + L"harita.epk")));
}

// A validly signed list older than the one the folder has verified (a stale cache, a mirror, an
// attacker on the path) is refused like a bad signature, naming both versions, and nothing is
// touched. The same version is accepted, and a new install accepts any.
TEST(RunDriver, AnOlderSignedListIsRefusedAndTheFolderKept) {
    EngineGame game;
    game.files["a.bin"] = "seven";
    game.version = 7;
    game.publish();
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    EXPECT_EQ("7\n", game.folder.read(L"koruma/liste_surumu.txt"));

    game.files["a.bin"] = "five";
    game.files["b.bin"] = "only in five";
    game.version = 5;
    game.publish();
    game.server.clearRequests();
    StatusSnapshot s = game.run();
    EXPECT_EQ(UpdatePhase::Error, s.phase);
    EXPECT_EQ(ErrorKind::ListRejected, s.errorCode);
    EXPECT_FALSE(s.listVerified);
    EXPECT_EQ(7u, s.manifestVersion);
    std::string log = game.log();
    EXPECT_NE(std::string::npos, log.find("HATA 2 eski liste: surum 5, bu klasor surum 7 listesini dogrulamisti "
                                          "(son sistem hatasi 1306)\r\n"))
        << log;
    EXPECT_EQ(2u, game.server.requestsFor("/qorvane/pc/manifest.txt").size());  // once more, 2 s later
    EXPECT_EQ(0u, objectRequests(game.server));
    EXPECT_EQ("seven", game.folder.read(L"a.bin"));
    EXPECT_FALSE(game.folder.exists(L"b.bin"));
    EXPECT_EQ("7\n", game.folder.read(L"koruma/liste_surumu.txt"));

    // Without the record (a damaged one, or a folder updated before records existed), the verified
    // list copy in koruma still holds the floor.
    for (const char* record : {"bozuk", static_cast<const char*>(nullptr)}) {
        if (record)
            game.folder.write(L"koruma/liste_surumu.txt", record);
        else
            DeleteFileW(game.folder.file(L"koruma/liste_surumu.txt").c_str());
        EXPECT_EQ(ErrorKind::ListRejected, game.run().errorCode) << (record ? record : "no record");
        EXPECT_EQ("seven", game.folder.read(L"a.bin"));
    }

    game.version = 7;
    game.publish();
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    EXPECT_EQ("five", game.folder.read(L"a.bin"));
    EXPECT_EQ("7\n", game.folder.read(L"koruma/liste_surumu.txt"));

    // The account keeps the floor too: a folder that lost koruma altogether still refuses the older list.
    removeTree(game.folder.file(L"koruma"));
    game.version = 5;
    game.publish();
    EXPECT_EQ(ErrorKind::ListRejected, game.run().errorCode);
    EXPECT_EQ("five", game.folder.read(L"a.bin"));
    EXPECT_EQ(7u, registeredVersion(game.folder.path));
    EXPECT_EQ(7u, registeredVersion(game.folder.path + L"\\.\\"));  // one folder, however spelled

    EngineGame fresh;
    fresh.files["a.bin"] = "three";
    fresh.version = 3;
    fresh.publish();
    ASSERT_EQ(UpdatePhase::Ready, fresh.run().phase);
    EXPECT_EQ("3\n", fresh.folder.read(L"koruma/liste_surumu.txt"));
    EXPECT_EQ(3u, registeredVersion(fresh.folder.path));
}

// The floor's file record cannot be written (a folder stands in the way of its temp file): the run
// goes on, the registry still holds the floor, and the log says what failed.
TEST(RunDriver, AFailedVersionRecordIsLogged) {
    EngineGame game;
    game.files["a.bin"] = "a";
    game.version = 9;
    game.publish();
    ASSERT_TRUE(createFolderTree(game.folder.file(L"koruma/liste_surumu.txt.yeni")));
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    EXPECT_NE(std::string::npos, game.log().find("liste surumu kaydedilemedi: dosya 5, kayit defteri 0"))
        << game.log();
    EXPECT_FALSE(game.folder.exists(L"koruma/liste_surumu.txt"));
    EXPECT_EQ(9u, registeredVersion(game.folder.path));
}

// A game folder so deep that its state files pass MAX_PATH keeps them all: the version record, the
// hash cache and the log.
TEST(RunDriver, ADeepGameFolderKeepsItsState) {
    EngineGame game;
    game.files["a.bin"] = "a";
    game.publish();
    const std::wstring deep =
        game.folder.path + L"\\" + std::wstring(235 - game.folder.path.size() - 1, L'd');
    ASSERT_EQ(deep.size(), 235u);
    ASSERT_TRUE(createFolderTree(deep));
    game.u.config.rootFolder = deep;
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    for (const wchar_t* name :
         {L"liste_surumu.txt", L"onbellek.txt", L"launcher_gunluk.txt", L"manifest.txt"}) {
        const std::wstring path = stateFilePath(deep, name);
        EXPECT_EQ(path.rfind(L"\\\\?\\", 0), 0u) << "not in the long form: " << toUtf8(path);
        EXPECT_TRUE(pathExists(path)) << toUtf8(name);
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kVersionFloorKey, folderKey(deep).c_str());
}
