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

TEST(StartupOptions, TheLauncherFolderDecidesInstallModeAndTheCommandLineTheRest) {
    TempFolder t;
    CommandLine cl = parseArguments({L"--guncellendi", L"a b"});
    StartupOptions options = startupOptions(cl, t.file(L"Qorvane Launcher.exe"), SW_SHOWMINIMIZED);
    EXPECT_TRUE(options.run.installMode);  // no game beside the launcher yet
    EXPECT_TRUE(options.run.afterSelfUpdate);
    EXPECT_EQ(options.run.launcherFolder, t.path);
    EXPECT_EQ(options.run.launcherExePath, t.path + L"\\Qorvane Launcher.exe");
    EXPECT_EQ(options.run.passThroughArgs, L"\"a b\"");
    EXPECT_EQ(options.showCommand, SW_SHOWMINIMIZED);

    t.write(L"koruma\\kurulum.txt", "Qorvane Launcher kurulumu\n");
    options = startupOptions(parseArguments({}), t.file(L"Qorvane Launcher.exe"), 1);
    EXPECT_FALSE(options.run.installMode);
    EXPECT_FALSE(options.run.afterSelfUpdate);
    EXPECT_TRUE(options.run.passThroughArgs.empty());
}

TEST(StartupLanguage, TheGamesLanguageFileWinsOverTheUsersDefault) {
    TempFolder t;
    EXPECT_EQ(startupUiLanguage(t.path), defaultUiLanguage());
    t.write(L"pack\\dil.cfg", "en");
    EXPECT_EQ(startupUiLanguage(t.path), UiLanguage::English);
    t.write(L"pack\\dil.cfg", "tr");
    EXPECT_EQ(startupUiLanguage(t.path), UiLanguage::Turkish);
    t.write(L"pack\\dil.cfg", "de");  // names no language: the default again
    EXPECT_EQ(startupUiLanguage(t.path), defaultUiLanguage());
}

// At start-up only an unfinished download goes; the old executable is the way back until this
// launcher's first run has reached Ready.
TEST(SelfUpdateCleanup, RemovesTheLeftoverDownloadAndKeepsTheOldExecutable) {
    TempFolder t;
    std::wstring exe = t.file(L"Qorvane Launcher.exe");
    t.write(L"Qorvane Launcher.exe", "new");
    t.write(L"Qorvane Launcher.exe.eski", "old");
    t.write(L"Qorvane Launcher.exe.yeni", "partial");
    SetFileAttributesW((exe + L".yeni").c_str(), FILE_ATTRIBUTE_READONLY);
    cleanupAfterSelfUpdate(exe);
    EXPECT_EQ(t.read(L"Qorvane Launcher.exe"), "new");
    EXPECT_EQ(t.read(L"Qorvane Launcher.exe.eski"), "old");
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.yeni"));
}

}  // namespace
