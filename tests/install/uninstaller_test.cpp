#include "install/uninstaller.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/file.h"
#include "install/install_location.h"
#include "install/installer.h"
#include "tests/install/user_state.h"
#include "tests/support/temp_folder.h"

namespace {
const char kRecord[] = "Qorvane Launcher kurulumu\n";

struct Uninstaller : ::testing::Test {
    UserInstallState userState;
    TempFolder temp;

    // A launcher installed into temp\<name> with both shortcuts; returns its executable path.
    std::wstring installAt(const std::wstring& name) {
        temp.write(L"source.exe", "MZ stand-in");
        std::wstring folder = temp.file(name);
        EXPECT_EQ(
            installLauncher(temp.file(L"source.exe"), folder, InstallChoices{true, true, 1 << 20}).error, 0u);
        return folder + L"\\Qorvane Launcher.exe";
    }
};
}  // namespace

TEST(FolderRemoval, CommandWaitsThenRemovesTheQuotedFolder) {
    std::wstring line = folderRemovalArguments(L"D:\\Oyun\\Qorvane");
    EXPECT_EQ(line, L"/v:off /c ping -n 3 127.0.0.1 >nul & rmdir /s /q \"D:\\Oyun\\Qorvane\"");
    const std::wstring tail = L"rmdir /s /q \"D:\\Oyun\\Qorvane\"";
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
}

TEST(FolderRemoval, CommandProcessorRemovesTheFolderAfterItsDelay) {
    // "&", "^", "(", ")" and "!" are literal inside the double quotes.
    TempFolder temp;
    const std::wstring name = L"Qorvane & Co ^ (1)!";
    temp.write(name + L"/koruma/kurulum.txt", kRecord);
    temp.write(name + L"/deep/er/file.bin", "data");
    temp.write(L"Qorvane/keep.txt", "a sibling");
    std::wstring folder = temp.file(name);
    DWORD started = GetTickCount();
    ASSERT_TRUE(startFolderRemoval(folder));
    EXPECT_TRUE(fileExists(folder)) << "removed before the launcher could have exited";
    EXPECT_TRUE(waitUntilGone(folder));
    EXPECT_GE(GetTickCount() - started, 1000u);
    EXPECT_TRUE(fileExists(temp.file(L"Qorvane/keep.txt")));
}

TEST(FolderRemoval, CommandProcessorExpandsPercentNamesInsideQuotes) {
    // Why a folder with "%" is never handed to the command processor: the removal of
    // "...\%QV_VICTIM%" removes the folder the variable names.
    TempFolder temp;
    temp.write(L"victim/precious.txt", "must survive an uninstall");
    temp.write(L"%QV_VICTIM%/koruma/kurulum.txt", kRecord);
    SetEnvironmentVariableW(L"QV_VICTIM", L"victim");
    EXPECT_FALSE(isSafeToRemove(temp.file(L"%QV_VICTIM%")));
    ASSERT_TRUE(startFolderRemoval(temp.file(L"%QV_VICTIM%")));
    bool victimGone = waitUntilGone(temp.file(L"victim"), 8000);
    SetEnvironmentVariableW(L"QV_VICTIM", nullptr);
    EXPECT_TRUE(victimGone) << "the command processor no longer expands inside quotes";
    EXPECT_TRUE(fileExists(temp.file(L"%QV_VICTIM%/koruma/kurulum.txt")));
}

TEST(SafeToRemove, OnlyAnInstalledFolderThatHoldsNoUserFolder) {
    TempFolder temp;
    temp.write(L"Qorvane/koruma/kurulum.txt", kRecord);
    temp.write(L"Bare/Qorvane Launcher.exe", "MZ");
    temp.write(L"100%/koruma/kurulum.txt", kRecord);
    temp.write(L"a%TEMP%b/koruma/kurulum.txt", kRecord);
    EXPECT_TRUE(isSafeToRemove(temp.file(L"Qorvane")));
    EXPECT_FALSE(isSafeToRemove(temp.file(L"Bare"))) << "no install record";
    EXPECT_FALSE(isSafeToRemove(temp.file(L"Missing")));
    EXPECT_FALSE(isSafeToRemove(temp.file(L"100%")));
    EXPECT_FALSE(isSafeToRemove(temp.file(L"a%TEMP%b")));
    EXPECT_FALSE(isSafeToRemove(L"C:\\"));
    EXPECT_FALSE(isSafeToRemove(L"C:"));
}

// Install records written into real user folders for one test, removed again however it ends.
struct PlantedRecords {
    std::vector<std::wstring> folders;
    bool plant(const std::wstring& folder) {
        for (const std::wstring& f : folders) {
            if (lstrcmpiW(f.c_str(), folder.c_str()) == 0) return true;  // Wine may map two ids to one folder
        }
        if (fileExists(folder + L"\\koruma")) return false;  // never touch a real one
        createFolderTree(folder + L"\\koruma");
        writeFileBytes(folder + L"\\koruma\\kurulum.txt", kRecord);
        folders.push_back(folder);
        return true;
    }
    ~PlantedRecords() {
        for (const std::wstring& folder : folders)
            removeTree(folder + L"\\koruma");
    }
};

TEST(SafeToRemove, NeverAUserFolderOrOneThatContainsIt) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    std::wstring documents = knownFolderPath(FOLDERID_Documents);
    std::wstring desktop = knownFolderPath(FOLDERID_Desktop);
    std::wstring profile = knownFolderPath(FOLDERID_Profile);
    ASSERT_FALSE(documents.empty());
    ASSERT_FALSE(desktop.empty());
    ASSERT_FALSE(profile.empty());
    std::wstring usersFolder = parentFolder(profile);  // holds the profile
    std::wstring gamesFolder = documents + L"\\QorvaneTestGames_" + std::to_wstring(GetCurrentProcessId());
    std::wstring inDocuments = gamesFolder + L"\\Qorvane";

    PlantedRecords planted;
    for (const std::wstring& folder : {documents, desktop, usersFolder, inDocuments}) {
        if (!planted.plant(folder)) GTEST_SKIP() << "a real koruma folder exists in " << folder;
    }
    EXPECT_FALSE(isSafeToRemove(documents));
    EXPECT_FALSE(isSafeToRemove(desktop));
    std::wstring upper = desktop;
    for (wchar_t& c : upper)
        c = towupper(c);
    EXPECT_FALSE(isSafeToRemove(upper));
    EXPECT_FALSE(isSafeToRemove(usersFolder)) << "removing it would remove the profile";
    EXPECT_TRUE(isSafeToRemove(inDocuments)) << "a game folder inside Documents is fine";
    removeTree(gamesFolder);
}

TEST_F(Uninstaller, UnregisteringTakesOwnLinksAndEntryAndTheFolderGoesAfterward) {
    std::wstring exe = installAt(L"Oyun/Qorvane");
    std::wstring folder = parentFolder(exe);
    // A desktop link of the same name that belongs to another program.
    ASSERT_TRUE(createShortcut(userState.desktopLink, L"C:\\Other\\Qorvane.exe", L"C:\\Other"));

    EXPECT_TRUE(unregisterLauncher(exe));
    EXPECT_TRUE(fileExists(userState.desktopLink));
    EXPECT_EQ(shortcutTarget(userState.desktopLink), L"C:\\Other\\Qorvane.exe");
    EXPECT_FALSE(fileExists(userState.programsLink));
    EXPECT_FALSE(keyExists(kUninstallKey));
    EXPECT_TRUE(fileExists(folder)) << "unregistering leaves the files";
    ASSERT_TRUE(startFolderRemoval(folder));
    EXPECT_TRUE(waitUntilGone(folder));
    EXPECT_TRUE(fileExists(temp.file(L"Oyun"))) << "only the game folder goes";
}

TEST_F(Uninstaller, AnEntryOfAnotherFolderStays) {
    std::wstring exe = installAt(L"Qorvane");
    writeUninstallValue(L"InstallLocation", L"E:\\Moved\\Qorvane");
    EXPECT_TRUE(unregisterLauncher(exe));
    EXPECT_EQ(readUninstallValue(L"InstallLocation").text, L"E:\\Moved\\Qorvane");
    EXPECT_FALSE(fileExists(userState.desktopLink));
}

TEST_F(Uninstaller, UnsafeFoldersLoseLinksAndEntryButAreNotToBeRemoved) {
    // One without an install record, one whose name the command processor would expand.
    std::wstring bare = installAt(L"Bare");
    removeTree(temp.file(L"Bare/koruma"));
    EXPECT_FALSE(unregisterLauncher(bare));
    EXPECT_FALSE(fileExists(userState.desktopLink));
    EXPECT_FALSE(fileExists(userState.programsLink));
    EXPECT_FALSE(keyExists(kUninstallKey));

    std::wstring percent = installAt(L"%QV_X%");
    EXPECT_FALSE(unregisterLauncher(percent));
    EXPECT_FALSE(fileExists(userState.desktopLink));
    EXPECT_FALSE(keyExists(kUninstallKey));
}
