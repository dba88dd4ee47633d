// The uninstall road: the unit that takes the user's answer, and the built launcher started with
// "--kaldir" asking, removing and closing.
#include "app/uninstall_road.h"

#include <gtest/gtest.h>

#include "install/install_location.h"
#include "install/installer.h"
#include "tests/support/launcher_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/user_state.h"

namespace {

struct UninstallRoad : ::testing::Test {
    UserInstallState userState;
    TempFolder temp;

    // A launcher installed into temp\<name> with both shortcuts; returns its executable path.
    std::wstring installAt(const std::wstring& name, const std::wstring& source) {
        std::wstring folder = temp.file(name);
        EXPECT_EQ(installLauncher(source, folder, InstallChoices{true, true, 1 << 20}).error.code, 0u);
        return folder + L"\\Qorvane Launcher.exe";
    }
    std::wstring installStandIn(const std::wstring& name) {
        temp.write(L"source.exe", "MZ stand-in");
        return installAt(name, temp.file(L"source.exe"));
    }
};

}  // namespace

TEST_F(UninstallRoad, AnsweringNoChangesNothing) {
    std::wstring exe = installStandIn(L"Qorvane");
    EXPECT_EQ(uninstallLauncherAt(exe, false, IDNO), 1);
    EXPECT_EQ(uninstallLauncherAt(exe, false, IDCANCEL), 1);
    EXPECT_TRUE(fileExists(userState.desktopLink));
    EXPECT_TRUE(fileExists(userState.programsLink));
    EXPECT_TRUE(keyExists(kUninstallKey));
    Sleep(5000);  // long enough for a removal that should not happen to have happened
    EXPECT_TRUE(fileExists(exe));
}

TEST_F(UninstallRoad, SilentRemovalNeedsNoAnswerAndRemovesOnlyASafeFolder) {
    std::wstring exe = installStandIn(L"Oyun/Qorvane");
    EXPECT_EQ(uninstallLauncherAt(exe, true, IDNO), 0) << "no question when silent";
    EXPECT_FALSE(fileExists(userState.desktopLink));
    EXPECT_FALSE(keyExists(kUninstallKey));
    EXPECT_TRUE(waitUntilGone(parentFolder(exe)));
    EXPECT_TRUE(fileExists(temp.file(L"Oyun")));

    // Without its install record the folder is not known to be the launcher's: it stays, and the
    // exit code says so.
    std::wstring bare = installStandIn(L"Bare");
    removeTree(temp.file(L"Bare/koruma"));
    EXPECT_EQ(uninstallLauncherAt(bare, true, 0), 1);
    EXPECT_FALSE(keyExists(kUninstallKey));
    Sleep(5000);
    EXPECT_TRUE(fileExists(bare));
}

// Only what the launcher put there goes: a folder holding the player's own files stays with them,
// the launcher itself is still removed, and a silent removal says so by its exit code.
TEST_F(UninstallRoad, ThePlayersOwnFilesStayAndMakeASilentRemovalFail) {
    std::wstring exe = installStandIn(L"Oyun/Qorvane");
    temp.write(L"Oyun/Qorvane/ekran goruntuleri/1.png", "the player's");
    temp.write(L"Oyun/Qorvane/pack/dil.cfg", "tr");
    EXPECT_EQ(uninstallLauncherAt(exe, true, IDNO), 1);
    EXPECT_FALSE(keyExists(kUninstallKey));
    EXPECT_TRUE(waitUntilGone(exe)) << "the launcher itself still goes";
    Sleep(1000);
    EXPECT_EQ(temp.read(L"Oyun/Qorvane/ekran goruntuleri/1.png"), "the player's");
    EXPECT_FALSE(fileExists(temp.file(L"Oyun/Qorvane/koruma")));
    EXPECT_FALSE(fileExists(temp.file(L"Oyun/Qorvane/pack")));
}

TEST(UninstallMessage, NamesTheFolderAndWhatStaysInIt) {
    EXPECT_EQ(keptDetail(L"D:\\Oyun", {}), L"D:\\Oyun");
    EXPECT_EQ(keptDetail(L"D:\\Oyun", {L"a.txt", L"kayitlar"}), L"D:\\Oyun\n    a.txt\n    kayitlar");
    std::vector<std::wstring> many;
    for (int i = 0; i < 12; ++i)
        many.push_back(L"f" + std::to_wstring(i));
    const std::wstring shown = keptDetail(L"D:\\Oyun", many);
    EXPECT_NE(shown.find(L"\n    f7\n    \u2026"), std::wstring::npos);
    EXPECT_EQ(shown.find(L"f8"), std::wstring::npos);
}

TEST_F(UninstallRoad, InstalledLauncherRemovesItselfSilently) {
    if (!fileExists(builtLauncher())) GTEST_SKIP() << "the launcher has not been built";
    std::wstring folder = temp.file(L"Qorvane");
    installAt(L"Qorvane", builtLauncher());
    ASSERT_TRUE(fileExists(userState.desktopLink));

    Launcher uninstall(folder + L"\\Qorvane Launcher.exe", L"--kaldir --sessiz");
    EXPECT_TRUE(uninstall.endsWithin(30000));
    EXPECT_EQ(uninstall.exitCode(), 0u);
    EXPECT_FALSE(fileExists(userState.desktopLink));
    EXPECT_FALSE(fileExists(userState.programsLink));
    EXPECT_FALSE(keyExists(kUninstallKey));
    EXPECT_TRUE(waitUntilGone(folder)) << "the folder outlived its launcher";
}

TEST_F(UninstallRoad, InstalledLauncherAsksFirstWithNoAsTheDefault) {
    if (!haveDisplay()) GTEST_SKIP() << "no X display for the message boxes";
    if (!fileExists(builtLauncher())) GTEST_SKIP() << "the launcher has not been built";
    std::wstring folder = temp.file(L"Qorvane");
    std::wstring copy = folder + L"\\Qorvane Launcher.exe";
    installAt(L"Qorvane", builtLauncher());

    for (int answer : {IDNO, IDYES}) {
        Launcher uninstall(copy, L"--kaldir");
        HWND question = waitForWindow(L"#32770", copy, 20000);
        ASSERT_TRUE(question) << "no question";
        std::wstring text = messageBoxText(question);
        EXPECT_NE(text.find(L"\n\n" + folder), std::wstring::npos) << text;
        HWND noButton = GetDlgItem(question, IDNO);
        HWND yesButton = GetDlgItem(question, IDYES);
        EXPECT_TRUE(GetWindowLongW(noButton, GWL_STYLE) & BS_DEFPUSHBUTTON) << "No is the default";
        EXPECT_FALSE(GetWindowLongW(yesButton, GWL_STYLE) & BS_DEFPUSHBUTTON);
        PostMessageW(question, WM_COMMAND, answer, 0);
        if (answer == IDNO) {
            EXPECT_TRUE(uninstall.endsWithin(15000));
            EXPECT_EQ(uninstall.exitCode(), 1u);
            EXPECT_TRUE(fileExists(userState.desktopLink));
            EXPECT_TRUE(keyExists(kUninstallKey));
            continue;
        }
        // The closing message comes before the folder is removed.
        Sleep(500);
        HWND done = waitForWindow(L"#32770", copy, 20000);
        ASSERT_TRUE(done) << "no closing message";
        EXPECT_NE(done, question);
        EXPECT_FALSE(fileExists(userState.desktopLink));
        EXPECT_FALSE(keyExists(kUninstallKey));
        EXPECT_TRUE(fileExists(folder));
        PostMessageW(done, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(uninstall.endsWithin(15000));
        EXPECT_EQ(uninstall.exitCode(), 0u);
        EXPECT_TRUE(waitUntilGone(folder));
    }
}

// When the folder cannot be removed, the closing message says where the game files stay instead of
// claiming they are gone, and the exit code is 1.
TEST_F(UninstallRoad, AFolderThatStaysIsNamedInTheClosingMessage) {
    if (!haveDisplay()) GTEST_SKIP() << "no X display for the message boxes";
    if (!fileExists(builtLauncher())) GTEST_SKIP() << "the launcher has not been built";
    // ASCII only: Wine's shell links lose letters outside the ANSI code page (see README), and the
    // shortcut must go here as it does on Windows.
    std::wstring folder = temp.file(L"Kayit Yok");
    std::wstring copy = installAt(L"Kayit Yok", builtLauncher());
    removeTree(folder + L"\\koruma");

    Launcher uninstall(copy, L"--kaldir");
    HWND question = waitForWindow(L"#32770", copy, 20000);
    ASSERT_TRUE(question) << "no question";
    PostMessageW(question, WM_COMMAND, IDYES, 0);
    Sleep(500);
    HWND done = waitForWindow(L"#32770", copy, 20000);
    ASSERT_TRUE(done) << "no closing message";
    std::wstring text = messageBoxText(done);
    EXPECT_NE(text.find(L"\n\n" + folder), std::wstring::npos) << text;
    EXPECT_EQ(text.find(L"Qorvane kald\u0131r\u0131ld\u0131."), std::wstring::npos) << text;
    PostMessageW(done, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(uninstall.endsWithin(15000));
    EXPECT_EQ(uninstall.exitCode(), 1u);
    EXPECT_FALSE(fileExists(userState.desktopLink));
    Sleep(4000);  // longer than a removal would wait before it starts
    EXPECT_TRUE(fileExists(copy));
}
