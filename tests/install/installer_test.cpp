#include "install/installer.h"

#include <gtest/gtest.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <map>
#include <vector>

#include "base/file.h"
#include "base/process.h"
#include "base/security.h"
#include "base/text.h"
#include "build_config.h"
#include "install/game_folder.h"
#include "install/uninstaller.h"
#include "tests/support/dev_key.h"
#include "tests/support/temp_folder.h"
#include "tests/support/user_state.h"

using Microsoft::WRL::ComPtr;

namespace {
const std::string kLauncherBytes = "MZ launcher stand-in bytes\r\n\x01\x02";

struct Installer : ::testing::Test {
    UserInstallState userState;
    TempFolder temp;
    std::wstring source;
    UiLanguage language = UiLanguage::Turkish;  // the launcher's, handed to the installer

    void SetUp() override {
        temp.write(L"source/launcher.exe", kLauncherBytes);
        source = temp.file(L"source/launcher.exe");
    }

    InstallResult install(const std::wstring& folder, bool desktop, bool startMenu, uint64_t requiredBytes) {
        return installLauncher(source, folder, InstallChoices{desktop, startMenu, requiredBytes, language});
    }
};

struct LinkFields {
    std::wstring path, workingFolder, icon, description;
    int iconIndex = -1;
};
LinkFields readLink(const std::wstring& linkPath) {
    LinkFields fields;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))) ||
        FAILED(link.As(&file)) || FAILED(file->Load(linkPath.c_str(), STGM_READ)))
        return fields;
    wchar_t buffer[1024] = {};
    link->GetPath(buffer, 1024, nullptr, SLGP_RAWPATH);
    fields.path = buffer;
    buffer[0] = 0;
    link->GetWorkingDirectory(buffer, 1024);
    fields.workingFolder = buffer;
    buffer[0] = 0;
    link->GetIconLocation(buffer, 1024, &fields.iconIndex);
    fields.icon = buffer;
    buffer[0] = 0;
    link->GetDescription(buffer, 1024);
    fields.description = buffer;
    return fields;
}

}  // namespace

TEST_F(Installer, InstallsIntoANewFolderWithEverythingInPlace) {
    language = UiLanguage::English;
    std::wstring folder = temp.file(L"Games/Oyun/Qorvane");  // two levels that do not exist yet
    ASSERT_EQ(install(folder, true, true, 0).error.code, 0u);

    std::wstring copy = folder + L"\\Qorvane Launcher.exe";
    EXPECT_EQ(readFileBytes(copy), kLauncherBytes);
    EXPECT_EQ(readFileBytes(folder + L"\\koruma\\kurulum.txt"), std::string("Qorvane Launcher kurulumu\n"));
    EXPECT_EQ(readFileBytes(folder + L"\\koruma\\kurulum.txt").size(), 26u);
    EXPECT_EQ(readFileBytes(folder + L"\\pack\\dil.cfg"), "en");
    EXPECT_TRUE(isGameInstalled(folder));

    for (const std::wstring& link : {userState.desktopLink, userState.programsLink}) {
        ASSERT_FALSE(link.empty());
        LinkFields fields = readLink(link);
        EXPECT_EQ(fields.path, copy) << link;
        EXPECT_EQ(fields.workingFolder, folder) << link;
        EXPECT_EQ(fields.icon, copy) << link;
        EXPECT_EQ(fields.iconIndex, 0) << link;
        EXPECT_EQ(fields.description, L"Qorvane") << link;
    }
    EXPECT_EQ(shortcutTarget(userState.desktopLink), copy);
}

TEST_F(Installer, RegistersEveryUninstallValueWithItsTypeAndSize) {
    std::wstring folder = temp.file(L"Qorvane");
    std::wstring copy = folder + L"\\Qorvane Launcher.exe";
    ASSERT_EQ(install(folder, false, false, 5368709120ull).error.code, 0u);

    const struct {
        const wchar_t* name;
        std::wstring text;
    } strings[] = {
        {L"DisplayName", L"Qorvane"},
        {L"DisplayIcon", copy + L",0"},
        {L"DisplayVersion", QORVANE_VERSION_WTEXT},  // the version resource's too
        {L"Publisher", L"Qorvane"},
        {L"URLInfoAbout", L"https://www.qorvane.com"},
        {L"InstallLocation", folder},
        {L"UninstallString", L"\"" + copy + L"\" --kaldir"},
        {L"QuietUninstallString", L"\"" + copy + L"\" --kaldir --sessiz"},
    };
    for (const auto& s : strings) {
        RegistryValue value = readUninstallValue(s.name);
        ASSERT_TRUE(value.present) << s.name;
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << s.name;
        EXPECT_EQ(value.text, s.text) << s.name;
        EXPECT_EQ(value.size, (s.text.size() + 1) * 2) << s.name << ": the terminating null counts";
    }
    const struct {
        const wchar_t* name;
        DWORD number;
    } numbers[] = {{L"NoModify", 1}, {L"NoRepair", 1}, {L"EstimatedSize", 5242880}};
    for (const auto& n : numbers) {
        RegistryValue value = readUninstallValue(n.name);
        ASSERT_TRUE(value.present) << n.name;
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD)) << n.name;
        EXPECT_EQ(value.size, 4u) << n.name;
        EXPECT_EQ(value.number, n.number) << n.name;
    }
}

TEST_F(Installer, EstimatedSizeIsKibibytesInThirtyTwoBitsAndAbsentWhenUnknown) {
    const struct {
        uint64_t requiredBytes;
        bool present;
        DWORD kib;
    } cases[] = {
        {5368709120ull, true, 5242880},
        {1023, true, 0},  // less than one KiB still marks a known size
        {(1ull << 42) + 7 * 1024, true, 7},
        {0, false, 0},  // a reinstall before the size is known drops the earlier size
    };
    for (const auto& c : cases) {
        ASSERT_EQ(install(temp.file(L"Qorvane"), false, false, c.requiredBytes).error.code, 0u);
        RegistryValue value = readUninstallValue(L"EstimatedSize");
        EXPECT_EQ(value.present, c.present) << c.requiredBytes;
        if (c.present) {
            EXPECT_EQ(value.number, c.kib) << c.requiredBytes;
        }
        EXPECT_TRUE(readUninstallValue(L"DisplayName").present);
    }
}

TEST_F(Installer, InstallsIntoAnExistingFolderAndKeepsItsLanguageFile) {
    language = UiLanguage::English;
    std::wstring folder = temp.file(L"Existing");
    temp.write(L"Existing/pack/dil.cfg", "tr\r\nsomething the client keeps");
    temp.write(L"Existing/Qorvane Launcher.exe", "an older launcher");
    temp.write(L"Existing/koruma/kurulum.txt", "Qorvane Launcher kurulumu\n");
    temp.write(L"Existing/sorvik.cfg", "WIDTH 1024");
    ASSERT_EQ(install(folder, false, false, 0).error.code, 0u);
    EXPECT_EQ(readFileBytes(folder + L"\\pack\\dil.cfg"), "tr\r\nsomething the client keeps");
    EXPECT_EQ(readFileBytes(folder + L"\\Qorvane Launcher.exe"), kLauncherBytes)
        << "an older copy is replaced";

    // An unreadable language choice ("En") is replaced by the UI's language.
    temp.write(L"Existing/pack/dil.cfg", "En");
    language = UiLanguage::Turkish;
    ASSERT_EQ(install(folder, false, false, 0).error.code, 0u);
    EXPECT_EQ(readFileBytes(folder + L"\\pack\\dil.cfg"), "tr");
}

// The game never goes into a folder that holds the user's other things, but into a "Qorvane" folder
// below it, as the folder picker does: a folder is the game's only when it holds nothing but the
// launcher's own names.
TEST_F(Installer, AFolderHoldingOtherThingsGetsTheGameInAFolderBelowIt) {
    temp.write(L"Games/other game/game.exe", "someone else's");
    temp.write(L"Games/notes.txt", "the user's");
    InstallResult result = install(temp.file(L"Games"), false, false, 0);
    ASSERT_EQ(result.error.code, 0u);
    EXPECT_EQ(result.folder, temp.file(L"Games/Qorvane"));
    EXPECT_TRUE(fileExists(temp.file(L"Games/Qorvane/koruma/kurulum.txt")));
    EXPECT_TRUE(fileExists(temp.file(L"Games/Qorvane/Qorvane Launcher.exe")));
    EXPECT_FALSE(fileExists(temp.file(L"Games/koruma")));
    EXPECT_FALSE(fileExists(temp.file(L"Games/Qorvane Launcher.exe")));
    EXPECT_EQ(readUninstallValue(L"InstallLocation").text, result.folder);

    // Folders the game owns, or may own as a whole, stay as chosen: nothing but the launcher (and its
    // leftovers), koruma with an install record, and the top-level names of the verified list copy.
    CreateDirectoryW(temp.file(L"Empty").c_str(), nullptr);
    temp.write(L"OnlyLauncher/Qorvane Launcher.exe", "the launcher that installs");
    temp.write(L"OnlyLauncher/Qorvane Launcher.exe.eski", "the one before");
    const std::string list = "#QORVANEPC 1\n#surum 3\nK " + std::string(64, 'a') + " 1 Qorvane.exe\nK " +
                             std::string(64, 'b') + " 1 Data/x.bin\n";
    for (const wchar_t* folder : {L"Installed", L"Tampered"}) {
        const std::wstring name = folder;
        temp.write(name + L"/koruma/kurulum.txt", "Qorvane Launcher kurulumu\n");
        temp.write(name + L"/koruma/manifest.txt", list);
        temp.write(name + L"/koruma/manifest.sig", devSign(list));
        temp.write(name + L"/Qorvane.exe", "game");
        temp.write(name + L"/data/x.bin", "x");
    }
    temp.write(L"Tampered/koruma/manifest.txt", list + "K " + std::string(64, 'c') + " 1 Belgelerim/a.doc\n");
    temp.write(L"Tampered/Belgelerim/a.doc", "the user's");
    for (const wchar_t* owned : {L"Empty", L"OnlyLauncher", L"Installed", L"Missing/Deeper"}) {
        result = install(temp.file(owned), false, false, 0);
        EXPECT_EQ(result.error.code, 0u) << owned;
        EXPECT_EQ(result.folder, temp.file(owned)) << owned;
    }
    // A loose game client beside other games, a state folder without an install record, a list copy
    // that no longer verifies: none of them makes the folder the game's.
    temp.write(L"Loose/Qorvane.exe", "a game client among other games");
    temp.write(L"Loose/Baska Oyun/oyun.exe", "another game");
    temp.write(L"WithState/koruma/onbellek.txt", "");
    temp.write(L"WithState/pack/y.bin", "y");
    for (const wchar_t* other : {L"Loose", L"WithState", L"Tampered"}) {
        result = install(temp.file(other), false, false, 0);
        EXPECT_EQ(result.error.code, 0u) << other;
        EXPECT_EQ(result.folder, temp.file(other) + L"\\Qorvane") << other;
    }

    // When the folder below holds other things too, nothing is installed at all.
    temp.write(L"Full/x.txt", "x");
    temp.write(L"Full/Qorvane/y.txt", "y");
    result = install(temp.file(L"Full"), false, false, 0);
    EXPECT_EQ(result.error.code, static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(result.error.what, temp.file(L"Full/Qorvane"));
    EXPECT_FALSE(fileExists(temp.file(L"Full/koruma")));
    EXPECT_FALSE(fileExists(temp.file(L"Full/Qorvane/koruma")));
}

TEST_F(Installer, ANewFolderAndItsStateFolderGetOwnRightsAnExistingOneIsProtectedWhenOthersMayWrite) {
    // Parents are made as needed; the rights belong to the game folder itself. Wine answers with a
    // DACL of its own making, so the stored one is compared only where the system keeps it.
    const std::wstring rights = privateFolderSddl(currentUserSid());
    const std::wstring fresh = temp.file(L"a/b/Qorvane");
    ASSERT_EQ(install(fresh, false, false, 0).error.code, 0u);
    for (const std::wstring& folder : {fresh, fresh + L"\\koruma"}) {
        const std::wstring stored = daclOf(folder);
        EXPECT_FALSE(stored.empty()) << toUtf8(folder);
        if (stored.rfind(L"D:P", 0) == 0) {
            EXPECT_EQ(stored, rights) << toUtf8(folder);
        }
    }
    EXPECT_NE(daclOf(temp.file(L"a/b")).rfind(L"D:P", 0), 0u) << "a parent made on the way keeps the default";

    // An existing folder that nobody else may change keeps its rights; one that every account may
    // write (a folder made on a second drive) gets the installer's before anything goes into it.
    // Wine keeps rights as the Unix mode, which shows the difference.
    const std::wstring user = currentUserSid();
    const std::wstring kept = temp.file(L"Kept");
    ASSERT_EQ(createFolderWithRights(kept, L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;0x1200a9;;;WD)"), 0u);
    const std::wstring before = daclOf(kept);
    ASSERT_EQ(install(kept, false, false, 0).error.code, 0u);
    EXPECT_EQ(daclOf(kept), before);

    const std::wstring open = temp.file(L"Open");
    temp.write(L"Open/koruma/kurulum.txt", "Qorvane Launcher kurulumu\n");
    for (const std::wstring& folder : {open, open + L"\\koruma"})
        ASSERT_EQ(protectFolder(folder, L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;WD)"), 0u);
    ASSERT_TRUE(readFolderTrust(open, user).othersMayWrite);
    ASSERT_EQ(install(open, false, false, 0).error.code, 0u);
    for (const std::wstring& folder : {open, open + L"\\koruma"}) {
        EXPECT_FALSE(readFolderTrust(folder, user).othersMayWrite) << toUtf8(daclOf(folder));
        const std::wstring stored = daclOf(folder);
        if (stored.rfind(L"D:P", 0) == 0) {
            EXPECT_EQ(stored, rights) << toUtf8(folder);
        }
    }
}

namespace {

// The rights the installer is shown, per path, as descriptors built in memory, and what it asked to
// protect: Wine keeps no owner but the current user.
struct FakeRights {
    static inline std::map<std::wstring, std::wstring> sddl;  // by path; missing: made by the installer
    static inline bool noRights = false;                      // a FAT or exFAT volume
    static inline DWORD protectError = 0;
    static inline std::vector<std::wstring> protectedPaths;
    static FolderTrust read(const std::wstring& path, const std::wstring& user) {
        FolderTrust trust;
        if (noRights) {
            trust.rightsKept = false;
            trust.othersMayWrite = true;
            return trust;
        }
        auto found = sddl.find(path);
        if (found == sddl.end()) return readFolderTrust(path, user);
        UniqueLocal descriptor = securityDescriptorFrom(found->second);
        return judgeDescriptor(descriptor.get(), user);
    }
    static DWORD protect(const std::wstring& path, const std::wstring& rights) {
        protectedPaths.push_back(path);
        EXPECT_EQ(rights, privateFolderSddl(currentUserSid()));
        return protectError;
    }
};

}  // namespace

// A folder, or a koruma inside it, that another account owns could have its programs replaced by
// that account later: it is refused before anything is written. One that others may write is
// protected first; when that fails, nothing is written either.
TEST_F(Installer, AFolderIsTrustedByItsOwnerAndProtectedBeforeAnythingIsWritten) {
    const std::wstring user = currentUserSid();
    const std::wstring other = L"S-1-5-21-1111-2222-3333-1002";
    const std::wstring fine = L"D:P(A;OICI;FA;;;" + user + L")";
    const std::wstring open = L"D:AI(A;OICI;FA;;;" + user + L")(A;OICIID;0x1301bf;;;AU)";
    const struct {
        const char* what;
        std::wstring folderSddl, stateSddl;  // empty: no such folder before the install
        bool noRights;
        DWORD protectError;
        DWORD error;
        bool foreign;
        const wchar_t* failedAt;  // "" the folder, "koruma" the state folder
        int protects;
    } cases[] = {
        {"the user's own", L"O:" + user + fine, L"", false, 0, 0, false, nullptr, 0},
        {"Administrators'", L"O:BA" + fine, L"O:SY" + fine, false, 0, 0, false, nullptr, 0},
        {"TrustedInstaller's", L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464" + fine,
         L"", false, 0, 0, false, nullptr, 0},
        {"another account's", L"O:" + other + fine, L"", false, 0, ERROR_INVALID_OWNER, true, L"", 0},
        {"its koruma another account's", L"O:" + user + fine, L"O:" + other + fine, false, 0,
         ERROR_INVALID_OWNER, true, L"koruma", 0},
        {"others may write", L"O:" + user + open, L"O:" + user + open, false, 0, 0, false, nullptr, 2},
        {"others may write and it cannot be changed", L"O:BA" + open, L"", false, ERROR_ACCESS_DENIED,
         ERROR_ACCESS_DENIED, false, L"", 1},
        {"a volume without rights", L"O:" + other + open, L"", true, 0, 0, false, nullptr, 0},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
        const std::wstring folder = temp.file(L"Durum" + std::to_wstring(n++));
        createFolderTree(folder);
        FakeRights::sddl = {{folder, c.folderSddl}};
        if (!c.stateSddl.empty()) {
            createFolderTree(folder + L"\\koruma");
            temp.write(L"Durum" + std::to_wstring(n - 1) + L"/koruma/kurulum.txt",
                       "Qorvane Launcher kurulumu\n");
            FakeRights::sddl[folder + L"\\koruma"] = c.stateSddl;
        }
        FakeRights::noRights = c.noRights;
        FakeRights::protectError = c.protectError;
        FakeRights::protectedPaths.clear();
        InstallResult result = installLauncher(source, folder, InstallChoices{false, false, 0, language},
                                               FolderRightsOps{FakeRights::read, FakeRights::protect});
        EXPECT_EQ(result.error.code, c.error);
        EXPECT_EQ(result.foreignOwner, c.foreign);
        EXPECT_EQ(static_cast<int>(FakeRights::protectedPaths.size()), c.protects);
        if (c.failedAt) {
            EXPECT_EQ(result.error.what, *c.failedAt ? folder + L"\\" + c.failedAt : folder);
            EXPECT_FALSE(fileExists(folder + L"\\Qorvane Launcher.exe")) << "written before the refusal";
            EXPECT_FALSE(keyExists(kUninstallKey));
        } else {
            EXPECT_EQ(result.folder, folder);
            EXPECT_TRUE(fileExists(folder + L"\\koruma\\kurulum.txt"));
        }
    }
}

TEST_F(Installer, WithoutShortcutChoicesWritesNoLinkButStillRegisters) {
    ASSERT_EQ(install(temp.file(L"Qorvane"), false, false, 0).error.code, 0u);
    EXPECT_FALSE(fileExists(userState.desktopLink));
    EXPECT_FALSE(fileExists(userState.programsLink));
    EXPECT_EQ(readUninstallValue(L"InstallLocation").text, temp.file(L"Qorvane"));

    ASSERT_EQ(install(temp.file(L"Qorvane"), false, true, 0).error.code, 0u);
    EXPECT_FALSE(fileExists(userState.desktopLink));
    EXPECT_TRUE(fileExists(userState.programsLink));
}

TEST_F(Installer, RunningFromTheTargetFolderSkipsTheCopy) {
    std::wstring folder = temp.file(L"Qorvane");
    temp.write(L"Qorvane/Qorvane Launcher.exe", "the running launcher");
    // The same file named in other letter case: copying it onto itself would fail or truncate it.
    std::wstring running = temp.path + L"\\QORVANE\\qorvane launcher.EXE";
    ASSERT_EQ(installLauncher(running, folder, InstallChoices{true, false, 0, language}).error.code, 0u);
    EXPECT_EQ(readFileBytes(folder + L"\\Qorvane Launcher.exe"), "the running launcher");
    EXPECT_TRUE(fileExists(folder + L"\\koruma\\kurulum.txt"));
    EXPECT_TRUE(fileExists(userState.desktopLink));
    EXPECT_TRUE(readUninstallValue(L"UninstallString").present);
}

TEST_F(Installer, FailuresNameWhatFailedAndLeaveEarlierStepsInPlace) {
    temp.write(L"blocker", "a file where a folder should go");
    {  // the folder cannot be created
        std::wstring folder = temp.file(L"blocker/Qorvane");
        InstallResult result = install(folder, true, true, 1024);
        EXPECT_NE(result.error.code, 0u);
        EXPECT_NE(result.error.code, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        EXPECT_EQ(result.error.what, folder);
    }
    {  // the launcher cannot be copied: the created folder stays
        std::wstring folder = temp.file(L"NoSource");
        InstallResult result =
            installLauncher(temp.file(L"missing.exe"), folder, InstallChoices{true, true, 1024});
        EXPECT_EQ(result.error.code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(result.error.what, folder + L"\\Qorvane Launcher.exe");
        EXPECT_TRUE(fileExists(folder));
        EXPECT_FALSE(fileExists(folder + L"\\koruma"));
    }
    {  // the install record cannot be written: the copy stays
        std::wstring folder = temp.file(L"NoRecord");
        createFolderTree(temp.file(L"NoRecord/koruma/kurulum.txt"));  // a folder where the record goes
        InstallResult result = install(folder, true, true, 1024);
        EXPECT_NE(result.error.code, 0u);
        EXPECT_EQ(result.error.what, folder + L"\\koruma");
        EXPECT_EQ(readFileBytes(folder + L"\\Qorvane Launcher.exe"), kLauncherBytes);
        EXPECT_FALSE(fileExists(folder + L"\\pack\\dil.cfg"));
    }
    // None of the failed installs got as far as the shortcuts or the entry.
    EXPECT_FALSE(fileExists(userState.desktopLink));
    EXPECT_FALSE(fileExists(userState.programsLink));
    EXPECT_FALSE(keyExists(kUninstallKey));
}

TEST(Shortcut, FailsWithoutAPlaceToSave) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    TempFolder temp;
    EXPECT_FALSE(createShortcut(L"", L"C:\\x.exe", L"C:\\"));
    EXPECT_FALSE(createShortcut(temp.file(L"missing/x.lnk"), L"C:\\x.exe", L"C:\\"));
    EXPECT_TRUE(createShortcut(temp.file(L"x.lnk"), L"C:\\Games\\x.exe", L"C:\\Games"));
    EXPECT_EQ(shortcutTarget(temp.file(L"x.lnk")), L"C:\\Games\\x.exe");
}
