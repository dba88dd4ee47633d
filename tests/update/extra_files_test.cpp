#include "update/extra_files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/handles.h"
#include "base/path_identity.h"
#include "protocol/manifest.h"
#include "tests/support/folder_link.h"
#include "tests/support/temp_folder.h"

namespace {

const std::string kHash(64, 'a');

std::vector<std::wstring> extrasOf(const TempFolder& t, const std::string& listRules) {
    Manifest m;
    EXPECT_TRUE(parseManifest("#QORVANEPC 1\n" + listRules, m));
    std::vector<std::wstring> result;
    findExtraFiles(t.path, m, result);
    std::sort(result.begin(), result.end());
    return result;
}

std::string listed(const std::string& path) {
    return "K " + kHash + " 1 " + path + "\n";
}

}  // namespace

TEST(ExtraFiles, TopLevelByExtensionOnly) {
    TempFolder t;
    for (const wchar_t* name : {L"readme.txt", L"QORVANE LAUNCHER.EXE", L"old.DLL", L"Kept.dll", L"LICENSE",
                                L"game.exe", L"notes.txt.bak"})
        t.write(name, "x");
    t.write(L"sub/inside.dll", "x");  // below the top level, and "sub" is no "D" folder
    EXPECT_EQ((std::vector<std::wstring>{L"old.DLL"}), extrasOf(t, listed("kept.dll") + "E .dll\n"));
    EXPECT_EQ((std::vector<std::wstring>{L"game.exe", L"old.DLL", L"readme.txt"}),
              extrasOf(t, listed("kept.dll") + "E .dll\nE .TXT\nE .exe\n"));
    EXPECT_TRUE(extrasOf(t, listed("kept.dll")).empty());
}

TEST(ExtraFiles, CleanFoldersKeepListedAndProtectedFiles) {
    TempFolder t;
    t.write(L"Pack/Data.EPK", "x");
    t.write(L"Pack/Maps/Old.epk", "x");
    t.write(L"Pack/Maps/new.epk.indir", "x");
    t.write(L"pack/readonly.bin", "x");
    SetFileAttributesW(t.file(L"pack/readonly.bin").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    t.write(L"screenshot/a.png", "x");
    t.write(L"screenshot/2026/deep/b.png", "x");
    t.write(L"logs/keep.log", "x");
    t.write(L"logs/other.log", "x");
    std::string rules = listed("pack/data.epk") +
                        "D pack\nD screenshot\nD logs\nD missing\nS screenshot/*\nS logs/keep.log\n";
    EXPECT_EQ((std::vector<std::wstring>{L"logs/other.log", L"pack/Maps/Old.epk", L"pack/Maps/new.epk.indir",
                                         L"pack/readonly.bin"}),
              extrasOf(t, rules));
    EXPECT_EQ((std::vector<std::wstring>{L"screenshot/2026/deep/b.png"}),
              extrasOf(t, listed("x") + "D screenshot\nS screenshot/?.png\n"));
}

TEST(ExtraFiles, DepthLimitIsEightFoldersBelowACleanFolder) {
    TempFolder t;
    std::wstring eight = L"pack/1/2/3/4/5/6/7/8";
    t.write(eight + L"/at8.bin", "x");
    t.write(eight + L"/9/at9.bin", "x");
    EXPECT_EQ((std::vector<std::wstring>{eight + L"/at8.bin"}), extrasOf(t, listed("x") + "D pack\n"));
}

TEST(ExtraFiles, ReparsePointFoldersAreNotWalkable) {
    WIN32_FIND_DATAW data = {};
    data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    EXPECT_TRUE(isWalkableFolder(data));
    data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    data.dwReserved0 = IO_REPARSE_TAG_MOUNT_POINT;
    EXPECT_FALSE(isWalkableFolder(data));
    data.dwReserved0 = IO_REPARSE_TAG_SYMLINK;
    EXPECT_FALSE(isWalkableFolder(data));
    data.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    EXPECT_FALSE(isWalkableFolder(data));
}

// A link below the game folder is never passed: not inside a "D" folder, not as the "D" folder
// itself, not as one of its parents. Wine makes neither junctions nor directory links, so there the
// link is a host symbolic link, which Wine shows and resolves the same way.
TEST(ExtraFiles, LinksAreNeverEntered) {
    TempFolder game, outside;
    outside.write(L"precious.doc", "user data");
    outside.write(L"maps/precious.map", "user data");
    game.write(L"pack/old.bin", "x");
    game.write(L"data/plain/old.bin", "x");
    if (!makeFolderLink(game.file(L"pack/link"), outside.path) ||
        !makeFolderLink(game.file(L"linked"), outside.path) ||
        !makeFolderLink(game.file(L"data/linked"), outside.path))
        GTEST_SKIP() << "this system makes no folder links";
    // The links really lead outside: the files are visible through them.
    ASSERT_TRUE(game.exists(L"pack/link/precious.doc"));
    ASSERT_TRUE(game.exists(L"linked/maps/precious.map"));
    const struct {
        const char* rules;
        std::vector<std::wstring> extras;
    } cases[] = {
        {"D pack\n", {L"pack/old.bin"}},        // a link inside the folder
        {"D linked\n", {}},                     // the folder itself
        {"D linked/maps\n", {}},                // a parent of the folder
        {"D data\n", {L"data/plain/old.bin"}},  // a link inside, beside a plain folder
        {"D data/linked\nD data/plain\n", {L"data/plain/old.bin"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.extras, extrasOf(game, listed("x") + c.rules)) << c.rules;
    EXPECT_TRUE(outside.exists(L"precious.doc"));
}

// The same decisions through the folder-listing seam, where links are only what the listing says.
TEST(ExtraFiles, AFolderOnTheWayThatIsALinkStopsItsWalk) {
    // "pack" and "deep/er" are links; "deep", "data" and "data/inner" real folders, each holding "x.bin".
    const FolderLister list = [](const std::wstring& folder, std::vector<FolderEntry>& entries) {
        const std::wstring key = pathKey(folder);
        if (key.empty()) {
            entries = {{L"pack", true, false}, {L"deep", true, true}, {L"data", true, true}};
            return true;
        }
        if (key == L"DEEP") {
            entries = {{L"er", true, false}, {L"x.bin", false, false}};
            return true;
        }
        if (key == L"DATA") {
            entries = {{L"inner", true, true}, {L"x.bin", false, false}};
            return true;
        }
        entries = {{L"x.bin", false, false}};
        return true;
    };
    const struct {
        const char* rules;
        std::vector<std::wstring> extras;
    } cases[] = {
        {"D pack\n", {}},
        {"D PACK/inner\n", {}},
        {"D deep/er/est\n", {}},
        {"D deep\n", {L"deep/x.bin"}},
        {"D data/inner\n", {L"data/inner/x.bin"}},
    };
    for (const auto& c : cases) {
        Manifest m;
        ASSERT_TRUE(parseManifest("#QORVANEPC 1\n" + listed("y") + c.rules, m));
        std::vector<std::wstring> found;
        findExtraFiles(list, m, found);
        EXPECT_EQ(c.extras, found) << c.rules;
    }
}

// The publisher judges dropped files with the clean-up's rules but without a disk: for every file
// of a tree, that judgement must equal what the walk of the same list finds.
TEST(ExtraFiles, TheDiskFreeRuleAgreesWithTheWalk) {
    const std::string rules = "D pack\nD Data/Ses\nE .dll\nE .txt\nS pack/*.log\nS pack/kalsin/*\n" +
                              listed("pack/listed.bin") + listed("ana.dll");
    const std::vector<std::wstring> files = {
        L"ana.dll",          L"eski.dll",         L"beni_oku.txt",     L"LICENSE",
        L"Qorvane Launcher.exe",                  L"alt/klasor.dll",   L"pack/listed.bin",
        L"pack/old.bin",     L"pack/oyun.log",    L"pack/kalsin/a.ini", L"pack/a/b/c.bin",
        L"pack/1/2/3/4/5/6/7/8/derin.bin",        L"pack/1/2/3/4/5/6/7/8/9/daha.bin",
        L"data/ses/muzik.ogg", L"data/baska.bin", L"packed/x.bin"};
    TempFolder t;
    for (const std::wstring& f : files)
        t.write(f, "x");
    Manifest m;
    ASSERT_TRUE(parseManifest("#QORVANEPC 1\n" + rules, m));
    std::vector<std::wstring> walked;
    findExtraFiles(t.path, m, walked);
    std::vector<std::wstring> walkedKeys;
    for (const std::wstring& w : walked)
        walkedKeys.push_back(pathKey(w));
    std::sort(walkedKeys.begin(), walkedKeys.end());
    std::vector<std::wstring> judged;
    for (const std::wstring& f : files)
        if (cleanupCovers(m, f)) judged.push_back(pathKey(f));
    std::sort(judged.begin(), judged.end());
    EXPECT_EQ(judged, walkedKeys);
    EXPECT_EQ(judged.size(), 6u);  // eski.dll, beni_oku.txt, old.bin, a/b/c.bin, derin.bin, muzik.ogg
}
