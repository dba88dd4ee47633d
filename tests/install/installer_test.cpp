#include "install/installer.h"

#include <gtest/gtest.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "app/startup.h"
#include "base/file.h"
#include "base/process.h"
#include "base/text.h"
#include "install/uninstaller.h"
#include "tests/install/user_state.h"
#include "tests/support/temp_folder.h"
#include "ui/text_table.h"

using Microsoft::WRL::ComPtr;

namespace {
const std::string kLauncherBytes = "MZ launcher stand-in bytes\r\n\x01\x02";

struct Installer : ::testing::Test {
    UserInstallState userState;
    TempFolder temp;
    std::wstring source;
    int savedLanguage = uiLanguage;

    void SetUp() override {
        temp.write(L"source/launcher.exe", kLauncherBytes);
        source = temp.file(L"source/launcher.exe");
    }
    void TearDown() override { uiLanguage = savedLanguage; }

    bool install(const std::wstring& folder, bool desktop, bool startMenu, uint64_t requiredBytes,
                 std::wstring& errorText) {
        return installLauncher(source, folder, desktop, startMenu, requiredBytes, errorText);
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

// The code at the end of a system error text: "... (5)" gives 5.
unsigned long trailingCode(const std::wstring& text) {
    size_t open = text.rfind(L" (");
    if (open == std::wstring::npos || text.back() != L')') return 0;
    return std::wcstoul(text.c_str() + open + 2, nullptr, 10);
}
}  // namespace

TEST_F(Installer, InstallsIntoANewFolderWithEverythingInPlace) {
    uiLanguage = English;
    std::wstring folder = temp.file(L"Games/Oyun/Qorvane");  // two levels that do not exist yet
    std::wstring errorText;
    ASSERT_TRUE(install(folder, true, true, 0, errorText)) << errorText;
    EXPECT_EQ(errorText, L"");

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
    std::wstring errorText;
    ASSERT_TRUE(install(folder, false, false, 5368709120ull, errorText)) << errorText;

    const struct {
        const wchar_t* name;
        std::wstring text;
    } strings[] = {
        {L"DisplayName", L"Qorvane"},
        {L"DisplayIcon", copy + L",0"},
        {L"DisplayVersion", L"1.0"},
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
        std::wstring errorText;
        ASSERT_TRUE(install(temp.file(L"Qorvane"), false, false, c.requiredBytes, errorText)) << errorText;
        RegistryValue value = readUninstallValue(L"EstimatedSize");
        EXPECT_EQ(value.present, c.present) << c.requiredBytes;
        if (c.present) {
            EXPECT_EQ(value.number, c.kib) << c.requiredBytes;
        }
        EXPECT_TRUE(readUninstallValue(L"DisplayName").present);
    }
}

TEST_F(Installer, InstallsIntoAnExistingFolderAndKeepsItsLanguageFile) {
    uiLanguage = English;
    std::wstring folder = temp.file(L"Existing");
    temp.write(L"Existing/pack/dil.cfg", "tr\r\nsomething the client keeps");
    temp.write(L"Existing/Qorvane Launcher.exe", "an older launcher");
    std::wstring errorText;
    ASSERT_TRUE(install(folder, false, false, 0, errorText)) << errorText;
    EXPECT_EQ(readFileBytes(folder + L"\\pack\\dil.cfg"), "tr\r\nsomething the client keeps");
    EXPECT_EQ(readFileBytes(folder + L"\\Qorvane Launcher.exe"), kLauncherBytes)
        << "an older copy is replaced";

    // An unreadable language choice ("En") is replaced by the UI's language.
    temp.write(L"Existing/pack/dil.cfg", "En");
    uiLanguage = Turkish;
    ASSERT_TRUE(install(folder, false, false, 0, errorText)) << errorText;
    EXPECT_EQ(readFileBytes(folder + L"\\pack\\dil.cfg"), "tr");
}

TEST_F(Installer, WithoutShortcutChoicesWritesNoLinkButStillRegisters) {
    std::wstring errorText;
    ASSERT_TRUE(install(temp.file(L"Qorvane"), false, false, 0, errorText)) << errorText;
    EXPECT_FALSE(fileExists(userState.desktopLink));
    EXPECT_FALSE(fileExists(userState.programsLink));
    EXPECT_EQ(readUninstallValue(L"InstallLocation").text, temp.file(L"Qorvane"));

    ASSERT_TRUE(install(temp.file(L"Qorvane"), false, true, 0, errorText)) << errorText;
    EXPECT_FALSE(fileExists(userState.desktopLink));
    EXPECT_TRUE(fileExists(userState.programsLink));
}

TEST_F(Installer, RunningFromTheTargetFolderSkipsTheCopy) {
    std::wstring folder = temp.file(L"Qorvane");
    temp.write(L"Qorvane/Qorvane Launcher.exe", "the running launcher");
    // The same file named in other letter case: copying it onto itself would fail or truncate it.
    std::wstring running = temp.path + L"\\QORVANE\\qorvane launcher.EXE";
    std::wstring errorText;
    ASSERT_TRUE(installLauncher(running, folder, true, false, 0, errorText)) << errorText;
    EXPECT_EQ(readFileBytes(folder + L"\\Qorvane Launcher.exe"), "the running launcher");
    EXPECT_TRUE(fileExists(folder + L"\\koruma\\kurulum.txt"));
    EXPECT_TRUE(fileExists(userState.desktopLink));
    EXPECT_TRUE(readUninstallValue(L"UninstallString").present);
}

TEST_F(Installer, FailuresNameWhatFailedAndLeaveEarlierStepsInPlace) {
    temp.write(L"blocker", "a file where a folder should go");
    {  // the folder cannot be created
        std::wstring folder = temp.file(L"blocker/Qorvane");
        std::wstring errorText;
        EXPECT_FALSE(install(folder, true, true, 1024, errorText));
        unsigned long code = trailingCode(errorText);
        EXPECT_NE(code, 0u) << errorText;
        EXPECT_NE(code, static_cast<unsigned long>(ERROR_ALREADY_EXISTS));
        EXPECT_EQ(errorText, folder + L"\n" + systemErrorText(code));
    }
    {  // the launcher cannot be copied: the created folder stays
        std::wstring folder = temp.file(L"NoSource");
        std::wstring errorText;
        EXPECT_FALSE(installLauncher(temp.file(L"missing.exe"), folder, true, true, 1024, errorText));
        EXPECT_EQ(errorText, folder + L"\\Qorvane Launcher.exe\n" + systemErrorText(ERROR_FILE_NOT_FOUND));
        EXPECT_TRUE(fileExists(folder));
        EXPECT_FALSE(fileExists(folder + L"\\koruma"));
    }
    {  // the install record cannot be written: the copy stays
        std::wstring folder = temp.file(L"NoRecord");
        temp.write(L"NoRecord/koruma", "a file where the state folder should go");
        std::wstring errorText;
        EXPECT_FALSE(install(folder, true, true, 1024, errorText));
        unsigned long code = trailingCode(errorText);
        EXPECT_NE(code, 0u) << errorText;
        EXPECT_EQ(errorText, folder + L"\\koruma\n" + systemErrorText(code));
        EXPECT_EQ(readFileBytes(folder + L"\\Qorvane Launcher.exe"), kLauncherBytes);
        EXPECT_FALSE(fileExists(folder + L"\\pack\\dil.cfg"));
    }
    // None of the failed installs got as far as the shortcuts or the entry.
    EXPECT_FALSE(fileExists(userState.desktopLink));
    EXPECT_FALSE(fileExists(userState.programsLink));
    EXPECT_FALSE(keyExists(kUninstallKey));
}

TEST(GameLanguageFile, HoldsExactlyTheTwoLetterCode) {
    TempFolder temp;
    const struct {
        int language;
        const char* bytes;
    } cases[] = {{English, "en"}, {Turkish, "tr"}, {7, "tr"}};
    for (const auto& c : cases) {
        temp.write(L"pack/dil.cfg", "english, and a longer old file");
        writeGameLanguage(temp.path, c.language);
        EXPECT_EQ(temp.read(L"pack/dil.cfg"), c.bytes) << c.language;
    }
    TempFolder fresh;
    writeGameLanguage(fresh.file(L"new/folder"), English);
    EXPECT_EQ(fresh.read(L"new/folder/pack/dil.cfg"), "en");
}

TEST(Shortcut, FailsWithoutAPlaceToSave) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    TempFolder temp;
    EXPECT_FALSE(createShortcut(L"", L"C:\\x.exe", L"C:\\"));
    EXPECT_FALSE(createShortcut(temp.file(L"missing/x.lnk"), L"C:\\x.exe", L"C:\\"));
    EXPECT_TRUE(createShortcut(temp.file(L"x.lnk"), L"C:\\Games\\x.exe", L"C:\\Games"));
    EXPECT_EQ(shortcutTarget(temp.file(L"x.lnk")), L"C:\\Games\\x.exe");
}
