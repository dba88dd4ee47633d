#include "install/install_location.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"
#include "tests/support/user_state.h"

namespace {
std::wstring unmappedDriveRoot() {
    DWORD drives = GetLogicalDrives();
    for (int letter = 'Z'; letter >= 'D'; --letter) {
        if (!(drives & (1u << (letter - 'A')))) return std::wstring(1, static_cast<wchar_t>(letter)) + L":\\";
    }
    return std::wstring();
}
}  // namespace

TEST(ParentFolder, KeepsDriveRootsAndDropsTheLastComponent) {
    const struct {
        const wchar_t* path;
        const wchar_t* parent;
    } cases[] = {
        {L"C:\\Games", L"C:\\"},
        {L"C:\\", L"C:\\"},
        {L"C:\\Games\\Qorvane", L"C:\\Games"},
        {L"D:/Oyun/Qorvane", L"D:/Oyun"},
        {L"C:\\Games\\", L"C:\\Games"},
        {L"Qorvane", L""},
        {L"", L""},
        {L"\\Qorvane", L""},
        {L"\\\\server\\share\\Qorvane", L"\\\\server\\share"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parentFolder(c.path), c.parent) << c.path;
}

TEST(InstallFolderForChoice, AppendsTheGameNameUnlessAlreadyThere) {
    const struct {
        const wchar_t* chosen;
        const wchar_t* folder;
    } cases[] = {
        {L"E:\\Qorvane", L"E:\\Qorvane"},
        {L"E:\\qorvane", L"E:\\qorvane"},
        {L"E:\\Games\\QORVANE\\", L"E:\\Games\\QORVANE"},
        {L"E:\\Oyunlar", L"E:\\Oyunlar\\Qorvane"},
        {L"E:\\Oyunlar\\\\", L"E:\\Oyunlar\\Qorvane"},
        {L"D:\\", L"D:\\Qorvane"},
        {L"E:\\QorvaneOld", L"E:\\QorvaneOld\\Qorvane"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(installFolderForChoice(c.chosen), c.folder) << c.chosen;
}

TEST(InstallFolderForChoice, KeepsAFolderThatAlreadyHoldsTheGameAndNothingElse) {
    TempFolder withRecord, beside, loose, empty;
    withRecord.write(L"koruma/kurulum.txt", "Qorvane Launcher kurulumu\n");
    withRecord.write(L"Qorvane Launcher.exe", "MZ");
    withRecord.write(L"pack/dil.cfg", "tr");
    EXPECT_EQ(installFolderForChoice(withRecord.path + L"\\"), withRecord.path);
    // An install beside other things, a loose game client, an empty folder: the game gets its own.
    beside.write(L"koruma/kurulum.txt", "Qorvane Launcher kurulumu\n");
    beside.write(L"Baska Oyun/oyun.exe", "MZ");
    loose.write(L"Qorvane.exe", "MZ");
    for (const TempFolder* folder : {&beside, &loose, &empty})
        EXPECT_EQ(installFolderForChoice(folder->path), folder->path + L"\\Qorvane");
}

TEST(DefaultInstallFolder, OverrideOrSystemDrive) {
    std::wstring longest(259, L'x');
    std::wstring tooLong(260, L'x');
    const struct {
        const wchar_t* overrideValue;  // null: unset
        const wchar_t* systemDrive;    // null: unset
        std::wstring expected;
    } cases[] = {
        {nullptr, L"D:", L"D:\\Qorvane"},
        {nullptr, nullptr, L"C:\\Qorvane"},
        {L"  E:\\Oyun\\ ", L"D:", L"  E:\\Oyun\\ "},  // taken exactly as set
        {longest.c_str(), L"D:", longest},
        {tooLong.c_str(), L"D:", L"D:\\Qorvane"},
        {nullptr, L"ABCDEFGHIJKLMNOPQRSTUVWXYZ", L"C:\\Qorvane"},  // 16 or more characters: not a drive
    };
    for (const auto& c : cases) {
        EnvironmentOverride folder(L"QORVANE_KUR_KLASOR", c.overrideValue);
        EnvironmentOverride drive(L"SystemDrive", c.systemDrive);
        EXPECT_EQ(defaultInstallFolder(), c.expected)
            << (c.overrideValue ? c.overrideValue : L"(unset)") << " / "
            << (c.systemDrive ? c.systemDrive : L"(unset)");
    }
}

TEST(FreeSpace, AMissingFolderMeasuresItsNearestExistingAncestor) {
    TempFolder temp;
    std::wstring missing = temp.path + L"\\a\\b\\c";
    EXPECT_EQ(nearestExistingPath(missing), temp.path);
    EXPECT_EQ(nearestExistingPath(temp.path), temp.path);

    ULARGE_INTEGER expected{};
    ASSERT_TRUE(GetDiskFreeSpaceExW((temp.path + L"\\").c_str(), &expected, nullptr, nullptr));
    uint64_t measured = freeSpaceAt(missing);
    // Other processes write to the same disk meanwhile: equal up to what they may have used.
    EXPECT_GT(measured, 0u);
    uint64_t difference =
        measured > expected.QuadPart ? measured - expected.QuadPart : expected.QuadPart - measured;
    EXPECT_LT(difference, 256ull << 20);
}

TEST(FreeSpace, UnknownWithoutAnyExistingAncestor) {
    std::wstring root = unmappedDriveRoot();
    ASSERT_FALSE(root.empty()) << "every drive letter is mapped";
    EXPECT_EQ(nearestExistingPath(root + L"A\\B"), L"");
    EXPECT_EQ(freeSpaceAt(root + L"A\\B"), 0u);
    EXPECT_EQ(freeSpaceAt(root), 0u);
    EXPECT_EQ(freeSpaceAt(L"no_such_relative_name_qv"), 0u);
    EXPECT_EQ(freeSpaceAt(L""), 0u);
}

TEST(InstallFolderForm, TrimsSeparatorsAndAcceptsOnlyDriveOrNetworkPaths) {
    const struct {
        const wchar_t* folder;
        const wchar_t* trimmed;
        bool accepted;
    } cases[] = {
        {L"D:\\Games\\Qorvane\\", L"D:\\Games\\Qorvane", true},
        {L"D:\\Games\\Qorvane\\/\\", L"D:\\Games\\Qorvane", true},
        {L"D:/Games/Qorvane", L"D:/Games/Qorvane", true},
        {L"D:\\", L"D:\\", false},
        {L"D:\\\\\\", L"D:\\", false},
        {L"D:", L"D:", false},
        {L"D:Games", L"D:Games", false},
        {L"Games\\Qorvane", L"Games\\Qorvane", false},
        {L"\\Games\\Qorvane", L"\\Games\\Qorvane", false},
        {L"\\\\server\\share\\Qorvane\\", L"\\\\server\\share\\Qorvane", true},
        {L"", L"", false},
    };
    for (const auto& c : cases) {
        std::wstring trimmed = trimInstallFolder(c.folder);
        EXPECT_EQ(trimmed, c.trimmed) << c.folder;
        EXPECT_EQ(isAcceptableInstallFolder(trimmed), c.accepted) << c.folder;
    }
}

TEST(KnownFolderPath, GivesTheUsersFoldersAndNothingForAnUnknownId) {
    std::wstring desktop = knownFolderPath(FOLDERID_Desktop);
    ASSERT_FALSE(desktop.empty());
    EXPECT_NE(GetFileAttributesW(desktop.c_str()), INVALID_FILE_ATTRIBUTES);
    const GUID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(knownFolderPath(unknown), L"");
}
