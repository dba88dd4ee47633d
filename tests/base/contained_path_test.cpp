#include "base/contained_path.h"

#include <gtest/gtest.h>

#include "base/file.h"
#include "base/text.h"
#include "tests/support/folder_link.h"
#include "tests/support/temp_folder.h"

namespace {

// Creates a file under its exact name (a trailing dot or blank kept), as a game built elsewhere or
// another program may leave it.
bool plant(const std::wstring& root, const std::wstring& relative, const std::string& bytes) {
    HANDLE file = CreateFileW(exactPath(root, relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return true;
}

bool existsExactly(const std::wstring& root, const std::wstring& relative) {
    return GetFileAttributesW(exactPath(root, relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// A name that Windows would read as another name is deleted as itself: "data.pak." and "data.pak "
// are not "data.pak", which the list wants.
TEST(ContainedPath, DeletesTheExactNameFoundOnDisk) {
    TempFolder game;
    game.write(L"pack/data.pak", "listed");
    const ContainedRoot root = resolveRoot(game.path);
    for (const wchar_t* alias : {L"pack/data.pak.", L"pack/data.pak ", L"pack/data.pak. ."}) {
        SCOPED_TRACE(toUtf8(alias));
        ASSERT_TRUE(plant(game.path, alias, "stray"));
        ASSERT_TRUE(existsExactly(game.path, alias));
        EXPECT_EQ(deleteFileBelow(root, alias), 0u);
        EXPECT_FALSE(existsExactly(game.path, alias));
        EXPECT_EQ(game.read(L"pack/data.pak"), "listed");
    }
    EXPECT_EQ(exactPath(L"C:\\Oyun\\.\\Qorvane\\", L"pack/a. "), L"\\\\?\\C:\\Oyun\\Qorvane\\pack\\a. ");
    EXPECT_EQ(exactPath(L"\\\\sunucu\\pay\\Qorvane", L"a.bin"), L"\\\\?\\UNC\\sunucu\\pay\\Qorvane\\a.bin");
}

TEST(ContainedPath, DeletesReadOnlyFilesButNeverAFolder) {
    TempFolder game;
    game.write(L"pack/salt.bin", "x");
    SetFileAttributesW(game.file(L"pack/salt.bin").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    game.write(L"pack/alt/x.bin", "x");
    const ContainedRoot root = resolveRoot(game.path);
    EXPECT_EQ(deleteFileBelow(root, L"pack/salt.bin"), 0u);
    EXPECT_FALSE(game.exists(L"pack/salt.bin"));
    EXPECT_NE(deleteFileBelow(root, L"pack/alt"), 0u);
    EXPECT_TRUE(game.exists(L"pack/alt/x.bin"));
    EXPECT_EQ(deleteFileBelow(root, L"pack/yok.bin"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Nothing below the game folder is written or deleted through a junction or link, however deep;
// the game folder itself may be one.
TEST(ContainedPath, NeverPassesALinkBelowTheRoot) {
    TempFolder game, outside;
    outside.write(L"precious.doc", "the player's");
    game.write(L"pack/x.bin", "x");
    const std::wstring deep = L"uzun " + std::wstring(120, L'a') + L"/uzun " + std::wstring(120, L'b');
    ASSERT_EQ(createFolderBelow(resolveRoot(game.path), deep), 0u);
    if (!makeFolderLink(game.file(L"pack/link"), outside.path) ||
        !makeFolderLink(fullPath(game.path, deep + L"/link"), outside.path))
        GTEST_SKIP() << "this system makes no folder links";
    const ContainedRoot root = resolveRoot(game.path);
    ASSERT_FALSE(root.resolved.empty());
    EXPECT_TRUE(isPlainFolder(root, L""));
    EXPECT_TRUE(isPlainFolder(root, L"pack"));
    EXPECT_TRUE(isPlainFolder(root, deep));

    // Short and long paths alike: the long ones are past MAX_PATH, where Wine cannot name a handle's
    // path and every part is looked at instead.
    for (const std::wstring& link : {std::wstring(L"pack/link"), deep + L"/link"}) {
        SCOPED_TRACE(toUtf8(link));
        EXPECT_FALSE(isPlainFolder(root, link));
        EXPECT_EQ(deleteFileBelow(root, link + L"/precious.doc"), kLinkOnTheWay);
        EXPECT_EQ(createFolderBelow(root, link + L"/yeni"), kLinkOnTheWay);
        EXPECT_EQ(outside.read(L"precious.doc"), "the player's");
        EXPECT_FALSE(outside.exists(L"yeni"));
    }

    // The player chose a link as the game folder: below it, everything is plain.
    const ContainedRoot linked = resolveRoot(game.file(L"pack/link"));
    EXPECT_TRUE(isPlainFolder(linked, L""));
    EXPECT_EQ(createFolderBelow(linked, L"yeni/alt"), 0u);
    EXPECT_TRUE(outside.exists(L"yeni/alt"));
    EXPECT_EQ(deleteFileBelow(linked, L"precious.doc"), 0u);
}
