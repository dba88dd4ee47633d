#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "app/startup.h"
#include "tests/support/command_line.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(ParseArguments, PassThroughListSurvivesARestart) {
    // Blanks, empty arguments, quotes and backslashes before quotes or at the end; quoting itself
    // is tested beside quoteArgument.
    const std::vector<std::wstring> args = {L"plain", L"a b", L"", L"a\"b", L"C:\\Oyun Klasoru\\",
                                            L"x\\\\\"y z", L"trailing\\", L"Türkçe ğüşiöç", L"\t"};
    CommandLine cl = parseArguments(args);
    EXPECT_EQ(splitLikeWindows(cl.passThroughArgs), args);
}

TEST(ParseArguments, SeparatesOptionsFromPassThroughArguments) {
    CommandLine cl = parseArguments({L"--guncellendi", L"foo", L"a b", L""});
    EXPECT_TRUE(cl.afterSelfUpdate);
    EXPECT_FALSE(cl.uninstall);
    EXPECT_FALSE(cl.preview);
    EXPECT_EQ(cl.passThroughArgs, L"foo \"a b\" \"\"");

    cl = parseArguments({L"a\"b"});
    EXPECT_EQ(cl.passThroughArgs, L"\"a\\\"b\"");
}

TEST(ParseArguments, PreviewNeedsAFolderAndOptionsIgnoreCase) {
    CommandLine cl = parseArguments({L"--ONIZLEME", L"C:\\out"});
    EXPECT_TRUE(cl.preview);
    EXPECT_EQ(cl.previewFolder, L"C:\\out");
    EXPECT_TRUE(cl.passThroughArgs.empty());

    cl = parseArguments({L"x", L"--onizleme"});
    EXPECT_FALSE(cl.preview);
    EXPECT_EQ(cl.passThroughArgs, L"x --onizleme");

    cl = parseArguments({L"--onizleme", L"a", L"--Kaldir", L"--onizleme", L"b", L"--SESSIZ", L"--kaldir"});
    EXPECT_TRUE(cl.uninstall);  // the entry takes the uninstall road before the preview road
    EXPECT_TRUE(cl.silent);
    EXPECT_TRUE(cl.preview);
    EXPECT_EQ(cl.previewFolder, L"b");
    EXPECT_TRUE(cl.passThroughArgs.empty());
}

TEST(GameInstalled, RecordOrGameExecutableMarksTheFolder) {
    TempFolder t;
    EXPECT_FALSE(isGameInstalled(t.path));
    t.write(L"Qorvane.exe", "MZ");
    EXPECT_TRUE(isGameInstalled(t.path));

    TempFolder r;
    r.write(L"koruma\\kurulum.txt", "Qorvane Launcher kurulumu\n");
    EXPECT_TRUE(isGameInstalled(r.path));

    TempFolder d;  // a folder of that name counts as well
    CreateDirectoryW(d.file(L"Qorvane.exe").c_str(), nullptr);
    EXPECT_TRUE(isGameInstalled(d.path));
}

TEST(DetectUiLanguage, ReadsTheFirstTwoBytesOnlyInOneCase) {
    struct Case {
        const char* content;
        bool found;
        int language;
    } cases[] = {
        {"en", true, 1},  {"EN\n", true, 1}, {"english", true, 1}, {"tr", true, 0}, {"TR\r\n", true, 0},
        {"En", false, 0}, {"tR", false, 0},  {"", false, 0},       {"e", false, 0}, {"de", false, 0},
    };
    for (const Case& c : cases) {
        TempFolder t;
        t.write(L"pack\\dil.cfg", c.content);
        int language = -1;
        EXPECT_EQ(detectUiLanguage(t.path, language), c.found) << c.content;
        if (c.found) {
            EXPECT_EQ(language, c.language) << c.content;
        }
    }
    TempFolder missing;
    int language = -1;
    EXPECT_FALSE(detectUiLanguage(missing.path, language));
    // Without a language file the user's UI language decides.
    EXPECT_EQ(startupUiLanguage(missing.path), defaultUiLanguage());
}

TEST(DetectUiLanguage, RefusesFilesOf64MiBOrMore) {
    TempFolder t;
    std::wstring path = t.file(L"pack\\dil.cfg");
    t.write(L"pack\\dil.cfg", "en");
    // Grow the file sparsely to exactly 64 MiB: the size check must refuse it before reading.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 67108864;
    SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    int language = -1;
    EXPECT_FALSE(detectUiLanguage(t.path, language));

    h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    size.QuadPart = 67108863;
    SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    EXPECT_TRUE(detectUiLanguage(t.path, language));
    EXPECT_EQ(language, 1);
}

TEST(SelfUpdateCleanup, RemovesOldAndLeftoverExecutables) {
    TempFolder t;
    std::wstring exe = t.file(L"Qorvane Launcher.exe");
    t.write(L"Qorvane Launcher.exe", "new");
    t.write(L"Qorvane Launcher.exe.eski", "old");
    t.write(L"Qorvane Launcher.exe.yeni", "partial");
    // Renaming keeps attributes: a read-only launcher leaves a read-only ".eski" behind.
    SetFileAttributesW((exe + L".eski").c_str(), FILE_ATTRIBUTE_READONLY);
    cleanupAfterSelfUpdate(exe, 3, 10);
    EXPECT_TRUE(t.exists(L"Qorvane Launcher.exe"));
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.eski"));
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.yeni"));
}

TEST(SelfUpdateCleanup, GivesUpOnALockedOldExecutable) {
    TempFolder t;
    std::wstring exe = t.file(L"L.exe");
    t.write(L"L.exe.eski", "old");
    HANDLE held = CreateFileW((exe + L".eski").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DWORD before = GetTickCount();
    cleanupAfterSelfUpdate(exe, 3, 10);
    EXPECT_LT(GetTickCount() - before, 2000u);
    EXPECT_TRUE(t.exists(L"L.exe.eski"));
    CloseHandle(held);
    cleanupAfterSelfUpdate(exe);
    EXPECT_FALSE(t.exists(L"L.exe.eski"));
}

}  // namespace
