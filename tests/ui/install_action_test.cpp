// The install screen's primary action, driven through the built launcher's window, and the text
// that explains a failed install.
#include "ui/install_action.h"

#include <gtest/gtest.h>

#include "base/file.h"
#include "base/text.h"
#include "install/game_folder.h"
#include "install/install_location.h"
#include "install/installer.h"
#include "tests/support/launcher_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/user_state.h"
#include "ui/text_table.h"

namespace {
struct InstallAction : ::testing::Test {
    UserInstallState userState;
    TempFolder temp;
    // No server: the list never arrives, so nothing is known about the size to install.
    EnvironmentOverride server{L"QORVANE_SUNUCU", L"http://127.0.0.1:9/qorvane/pc/"};
    std::wstring downloaded;  // where the user ran the freshly downloaded launcher from

    void SetUp() override {
        if (!haveDisplay()) GTEST_SKIP() << "no X display for the launcher window";
        if (GetFileAttributesW(builtLauncher().c_str()) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "the launcher has not been built";
        createFolderTree(temp.file(L"Indirilen"));
        downloaded = temp.file(L"Indirilen/Qorvane Launcher.exe");
        ASSERT_TRUE(CopyFileW(builtLauncher().c_str(), downloaded.c_str(), FALSE));
    }
};
}  // namespace

TEST(InstallFailure, NamesThePathThenTheSystemsTextForTheError) {
    InstallResult result{{ERROR_ACCESS_DENIED, L"C:\\Oyunlar\\Qorvane\\koruma"}, {}};
    EXPECT_EQ(installFailureDetail(result), L"C:\\Oyunlar\\Qorvane\\koruma\n" + systemErrorText(5));
    const std::wstring text = installFailureDetail(result);
    EXPECT_EQ(text.substr(text.size() - 4), L" (5)");
}

// A folder another account owns is refused with the folder named; when it was the default folder,
// the screen moves to the player's own programs folder and says so, in either language.
TEST(ForeignFolder, NamesTheFolderAndProposesThePlayersOwnForTheDefault) {
    const InstallResult refused{{ERROR_INVALID_OWNER, L"C:\\Qorvane"}, L"", true};
    const std::wstring own = L"C:\\Users\\oyuncu\\AppData\\Local\\Programs\\Qorvane";
    const struct {
        const char* what;
        const wchar_t* chosen;
        std::wstring perUser;
        bool proposed;
    } cases[] = {
        {"the default folder", L"c:\\qorvane", own, true},
        {"a folder the player chose", L"D:\\Oyunlar\\Qorvane", own, false},
        {"no per-user folder known", L"C:\\Qorvane", L"", false},
    };
    for (UiLanguage language : {UiLanguage::Turkish, UiLanguage::English}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            const ForeignFolderAnswer answer =
                foreignFolderAnswer(textsFor(language), refused, c.chosen, L"C:\\Qorvane", c.perUser);
            EXPECT_NE(answer.text.find(L"\n\nC:\\Qorvane\n\n"), std::wstring::npos) << toUtf8(answer.text);
            EXPECT_EQ(answer.proposedFolder, c.proposed ? own : std::wstring());
            EXPECT_EQ(answer.text.find(own) != std::wstring::npos, c.proposed) << toUtf8(answer.text);
        }
    }
    EXPECT_NE(perUserInstallFolder().find(L"\\Programs\\Qorvane"), std::wstring::npos);
}

TEST_F(InstallAction, EnterInstallsAndHandsOverToTheInstalledCopy) {
    std::wstring folder = temp.file(L"Oyunlar/Qorvane");
    EnvironmentOverride target(L"QORVANE_KUR_KLASOR",
                               (folder + L"\\").c_str());  // trailing separator trimmed
    Launcher installer(downloaded);
    ASSERT_TRUE(installer.process.hProcess);
    HWND window = waitForWindow(L"QorvaneLauncher", downloaded);
    ASSERT_TRUE(window) << "install screen did not appear";
    PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(installer.endsWithin(30000)) << "the installer kept running after the install";

    std::wstring copy = folder + L"\\Qorvane Launcher.exe";
    EXPECT_EQ(readFileBytes(copy), readFileBytes(builtLauncher()));
    EXPECT_TRUE(isGameInstalled(folder));
    EXPECT_EQ(readUninstallValue(L"InstallLocation").text, folder);
    EXPECT_FALSE(readUninstallValue(L"EstimatedSize").present) << "size unknown without the list";
    EXPECT_TRUE(GetFileAttributesW(userState.desktopLink.c_str()) != INVALID_FILE_ATTRIBUTES);

    // The installed copy takes over: its own window, from the install folder.
    HWND installed = waitForWindow(L"QorvaneLauncher", copy);
    ASSERT_TRUE(installed) << "the installed launcher did not start";
    DWORD processId = 0;
    GetWindowThreadProcessId(installed, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
    PostMessageW(installed, WM_CLOSE, 0, 0);
    if (process) {
        if (WaitForSingleObject(process, 15000) != WAIT_OBJECT_0) TerminateProcess(process, 99);
        CloseHandle(process);
    }
}

TEST_F(InstallAction, RefusesARootOrRelativeFolderAndStaysOpen) {
    for (const wchar_t* refused : {L"D:\\", L"Oyunlar\\Qorvane"}) {
        EnvironmentOverride target(L"QORVANE_KUR_KLASOR", refused);
        Launcher installer(downloaded);
        ASSERT_TRUE(installer.process.hProcess) << "start failed with " << installer.startError << " for " << refused;
        HWND window = waitForWindow(L"QorvaneLauncher", downloaded);
        ASSERT_TRUE(window) << "install screen did not appear";
        PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
        HWND box = waitForWindow(L"#32770", downloaded, 15000);
        ASSERT_TRUE(box) << "no message box for " << refused;
        std::wstring shown = messageBoxText(box);
        std::wstring tail = std::wstring(L"\n\n") + refused;
        EXPECT_TRUE(shown.size() > tail.size() && shown.substr(shown.size() - tail.size()) == tail) << shown;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_FALSE(installer.endsWithin(1000)) << "the launcher closed after a refusal";
        EXPECT_FALSE(keyExists(kUninstallKey));
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(installer.endsWithin(15000));
    }
}
