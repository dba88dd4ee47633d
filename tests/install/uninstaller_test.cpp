#include "install/uninstaller.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/file.h"
#include "base/text.h"
#include "install/install_location.h"
#include "install/installer.h"
#include "tests/support/dev_key.h"
#include "tests/support/folder_link.h"
#include "tests/support/temp_folder.h"
#include "tests/support/user_state.h"

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
            installLauncher(temp.file(L"source.exe"), folder, InstallChoices{true, true, 1 << 20}).error.code, 0u);
        return folder + L"\\Qorvane Launcher.exe";
    }
};
}  // namespace

TEST(FolderRemoval, CommandWaitsThenDeletesTheLauncherAndAnEmptyFolder) {
    // No AutoRun, no delayed expansion, the waiting program by its full path, and the whole command
    // in one outer pair of quotes that "/s" strips; the folder is removed only when empty.
    std::wstring line = folderRemovalArguments(L"C:\\Windows\\system32", L"D:\\Oyun\\Qorvane",
                                               L"D:\\Oyun\\Qorvane\\Qorvane Launcher.exe");
    EXPECT_EQ(line,
              L"/d /v:off /s /c \"\"C:\\Windows\\system32\\PING.EXE\" -n 3 127.0.0.1 >nul & "
              L"del /f /q \"D:\\Oyun\\Qorvane\\Qorvane Launcher.exe\" & rmdir \"D:\\Oyun\\Qorvane\"\"");
}

TEST(FolderRemoval, CommandProcessorDeletesTheLauncherThenTheFolderOnlyWhenEmpty) {
    // "&", "^", "(", ")" and "!" are literal inside the double quotes.
    TempFolder temp;
    for (const wchar_t* name : {L"Qorvane & Co ^ (1)!", L"Kalan"}) {
        temp.write(std::wstring(name) + L"/Qorvane Launcher.exe", "MZ");
        SetFileAttributesW(temp.file(std::wstring(name) + L"/Qorvane Launcher.exe").c_str(),
                           FILE_ATTRIBUTE_READONLY);
    }
    temp.write(L"Kalan/oyuncunun.txt", "the player's own");
    for (const wchar_t* name : {L"Qorvane & Co ^ (1)!", L"Kalan"}) {
        const std::wstring folder = temp.file(name);
        DWORD started = GetTickCount();
        ASSERT_TRUE(startFolderRemoval(folder, folder + L"\\Qorvane Launcher.exe"));
        EXPECT_TRUE(fileExists(folder + L"\\Qorvane Launcher.exe"))
            << "deleted before the launcher could have exited";
        EXPECT_TRUE(waitUntilGone(folder + L"\\Qorvane Launcher.exe"));
        EXPECT_GE(GetTickCount() - started, 1000u);
    }
    EXPECT_TRUE(waitUntilGone(temp.file(L"Qorvane & Co ^ (1)!")));
    Sleep(500);
    EXPECT_EQ(temp.read(L"Kalan/oyuncunun.txt"), "the player's own");
}

TEST(FolderRemoval, AWaitingProgramInTheCurrentFolderIsNotRun) {
    // The command processor starts in the temporary folder; a "ping" planted there would run first
    // if the waiting program were found by name.
    wchar_t tempPath[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tempPath);
    const std::wstring planted = std::wstring(tempPath) + L"ping.bat";
    const std::wstring marker = std::wstring(tempPath) + L"qv_planted_ping_ran.txt";
    ASSERT_FALSE(fileExists(planted)) << "a real ping.bat lies in the temporary folder";
    DeleteFileW(marker.c_str());
    writeFileBytes(planted, "@echo ran> \"" + toUtf8(marker) + "\"\r\n");
    TempFolder temp;
    temp.write(L"Qorvane/Qorvane Launcher.exe", "MZ");
    const bool started =
        startFolderRemoval(temp.file(L"Qorvane"), temp.file(L"Qorvane/Qorvane Launcher.exe"));
    const bool gone = started && waitUntilGone(temp.file(L"Qorvane"));
    DeleteFileW(planted.c_str());
    EXPECT_TRUE(gone);
    EXPECT_FALSE(fileExists(marker)) << "the planted ping.bat ran";
    DeleteFileW(marker.c_str());
}

TEST(FolderRemoval, CommandProcessorExpandsPercentNamesInsideQuotes) {
    // Why a folder with "%" is never handed to the command processor: the removal for
    // "...\%QV_VICTIM%" deletes in the folder the variable names.
    TempFolder temp;
    temp.write(L"victim/Qorvane Launcher.exe", "another install's launcher");
    temp.write(L"%QV_VICTIM%/koruma/kurulum.txt", kRecord);
    temp.write(L"%QV_VICTIM%/Qorvane Launcher.exe", "MZ");
    SetEnvironmentVariableW(L"QV_VICTIM", L"victim");
    EXPECT_FALSE(isSafeToRemove(temp.file(L"%QV_VICTIM%")));
    ASSERT_TRUE(
        startFolderRemoval(temp.file(L"%QV_VICTIM%"), temp.file(L"%QV_VICTIM%/Qorvane Launcher.exe")));
    bool victimGone = waitUntilGone(temp.file(L"victim/Qorvane Launcher.exe"), 8000);
    SetEnvironmentVariableW(L"QV_VICTIM", nullptr);
    EXPECT_TRUE(victimGone) << "the command processor no longer expands inside quotes";
    EXPECT_TRUE(fileExists(temp.file(L"%QV_VICTIM%/Qorvane Launcher.exe")));
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
    std::vector<std::wstring> more;
    for (const KNOWNFOLDERID* id : {&FOLDERID_Pictures, &FOLDERID_Music, &FOLDERID_Videos, &FOLDERID_Public}) {
        std::wstring folder = knownFolderPath(*id);
        if (!folder.empty()) more.push_back(folder);
    }
    EXPECT_FALSE(more.empty()) << "no picture, music, video or public folder at all";
    for (const std::wstring& folder : more) {
        if (!planted.plant(folder)) GTEST_SKIP() << "a real koruma folder exists in " << folder;
    }
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
    for (const std::wstring& folder : more)
        EXPECT_FALSE(isSafeToRemove(folder)) << toUtf8(folder);

    // The same folder under its short name, or spelled with a trailing "\." or doubled separators,
    // is still that folder.
    wchar_t shortName[MAX_PATH] = {};
    DWORD length = GetShortPathNameW(documents.c_str(), shortName, MAX_PATH);
    if (length > 0 && length < MAX_PATH && documents != shortName) {
        EXPECT_FALSE(isSafeToRemove(shortName)) << toUtf8(shortName);
    }
    EXPECT_FALSE(isSafeToRemove(documents + L"\\."));
    EXPECT_FALSE(isSafeToRemove(parentFolder(documents) + L"\\\\" + documents.substr(documents.rfind(L'\\') + 1)));
    removeTree(gamesFolder);
}

TEST(SafeToRemove, NeverTheRootOfADrive) {
    // Longer than "C:\" and with an install record, but still the whole drive.
    wchar_t systemFolder[MAX_PATH] = {};
    GetSystemDirectoryW(systemFolder, MAX_PATH);
    const std::wstring root = std::wstring(systemFolder, 3);
    PlantedRecords planted;
    if (!planted.plant(root)) GTEST_SKIP() << "a real koruma folder exists in " << toUtf8(root);
    EXPECT_FALSE(isSafeToRemove(root + L"."));
    EXPECT_FALSE(isSafeToRemove(root + L"\\"));
    EXPECT_FALSE(isSafeToRemove(root + L"koruma\\.."));
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
    EXPECT_TRUE(removeGameFiles(folder, exe).empty());
    ASSERT_TRUE(startFolderRemoval(folder, exe));
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

namespace {

// A game folder as a run leaves it: the launcher, koruma with the install record and the verified
// list copy, the listed files, the files the launcher writes for the game.
std::wstring installedGame(TempFolder& temp, const std::wstring& name, const std::string& extraRecords = "") {
    const std::string list = "#QORVANEPC 1\n#surum 4\nD ekran\nO kayitlar\n" + extraRecords + "K " +
                             std::string(64, 'a') + " 1 Qorvane.exe\nK " + std::string(64, 'b') +
                             " 1 pack/veri/harita.pak\nK " + std::string(64, 'c') +
                             " 1 Qorvane Launcher.exe\n";
    for (const wchar_t* file :
         {L"Qorvane Launcher.exe", L"Qorvane Launcher.exe.eski", L"Qorvane.exe", L"pack/veri/harita.pak",
          L"pack/veri/harita.pak.indir", L"pack/dil.cfg", L"sorvik.cfg", L"zoom.cfg", L"koruma/onbellek.txt",
          L"koruma/launcher_gunluk.txt"})
        temp.write(name + L"/" + file, "x");
    createFolderTree(temp.file(name + L"/kayitlar"));
    createFolderTree(temp.file(name + L"/ekran"));
    temp.write(name + L"/koruma/kurulum.txt", kRecord);
    temp.write(name + L"/koruma/manifest.txt", list);
    temp.write(name + L"/koruma/manifest.sig", devSign(list));
    return temp.file(name + L"/Qorvane Launcher.exe");
}

}  // namespace

// The uninstaller removes what the launcher put into the folder and nothing else: the player's own
// files stay, and so does the folder then, named with what is in it.
TEST(RemoveGameFiles, OnlyWhatTheLauncherPutThere) {
    TempFolder temp;
    const std::wstring exe = installedGame(temp, L"Oyun");
    EXPECT_TRUE(removeGameFiles(parentFolder(exe), exe).empty());
    EXPECT_TRUE(fileExists(exe)) << "the running launcher goes after the process";
    EXPECT_FALSE(fileExists(temp.file(L"Oyun/koruma")));
    EXPECT_FALSE(fileExists(temp.file(L"Oyun/pack")));

    const std::wstring kept = installedGame(temp, L"Kalan");
    temp.write(L"Kalan/ekran/goruntu1.png", "the player's screenshot");
    temp.write(L"Kalan/notlar.txt", "the player's notes");
    temp.write(L"Kalan/pack/mod/kendi.pak", "the player's mod");
    EXPECT_EQ(removeGameFiles(parentFolder(kept), kept),
              (std::vector<std::wstring>{L"ekran", L"notlar.txt", L"pack"}));
    EXPECT_EQ(temp.read(L"Kalan/ekran/goruntu1.png"), "the player's screenshot");
    EXPECT_EQ(temp.read(L"Kalan/pack/mod/kendi.pak"), "the player's mod");
    EXPECT_FALSE(fileExists(temp.file(L"Kalan/pack/veri")));
    EXPECT_FALSE(fileExists(temp.file(L"Kalan/Qorvane.exe")));

    // A list copy that no longer verifies names nothing to delete.
    const std::wstring edited = installedGame(temp, L"Degisik");
    temp.write(L"Degisik/koruma/manifest.txt",
               temp.read(L"Degisik/koruma/manifest.txt") + "K " + std::string(64, 'd') + " 1 notlar.txt\n");
    temp.write(L"Degisik/notlar.txt", "the player's notes");
    EXPECT_EQ(removeGameFiles(parentFolder(edited), edited),
              (std::vector<std::wstring>{L"Qorvane.exe", L"ekran", L"kayitlar", L"notlar.txt", L"pack"}));
    EXPECT_EQ(temp.read(L"Degisik/notlar.txt"), "the player's notes");
}

// Nothing is deleted through a junction or link: not a listed file in a linked folder, not what a
// link inside koruma leads to.
TEST(RemoveGameFiles, NeverThroughALink) {
    TempFolder temp, outside;
    outside.write(L"veri/harita.pak", "the player's file of that name");
    outside.write(L"belge.doc", "the player's document");
    const std::wstring exe = installedGame(temp, L"Oyun");
    removeTree(temp.file(L"Oyun/pack/veri"));
    if (!makeFolderLink(temp.file(L"Oyun/pack/veri"), outside.file(L"veri")) ||
        !makeFolderLink(temp.file(L"Oyun/koruma/baglanti"), outside.path))
        GTEST_SKIP() << "this system makes no folder links";
    EXPECT_EQ(removeGameFiles(parentFolder(exe), exe), (std::vector<std::wstring>{L"koruma", L"pack"}));
    EXPECT_EQ(outside.read(L"veri/harita.pak"), "the player's file of that name");
    EXPECT_EQ(outside.read(L"belge.doc"), "the player's document");
    EXPECT_FALSE(fileExists(temp.file(L"Oyun/koruma/kurulum.txt")));
}
