// Whole-file reads with their bound, durable replacement, folder trees and joined paths, on real
// files in a temporary folder.
#include "base/file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_folder.h"

namespace {

TEST(ReadWholeFile, KeepsEveryByteAcrossBlocks) {
    TempFolder t;
    std::string bytes;
    for (int i = 0; i < 10000; ++i)
        bytes += static_cast<char>(i % 256);  // zeros, CR, LF, 0x1A
    t.write(L"big.bin", bytes);
    std::string got = "stale";
    ASSERT_TRUE(readWholeFile(t.file(L"big.bin"), got, bytes.size()));
    EXPECT_EQ(got, bytes);
}

TEST(ReadWholeFile, RefusesPastTheBoundAndNamesEveryFailure) {
    TempFolder t;
    t.write(L"ten.txt", "0123456789");
    struct Case {
        const wchar_t* file;
        uint64_t bound;
        DWORD error;  // 0: read
    } cases[] = {
        {L"ten.txt", 10, 0},
        {L"ten.txt", 9, ERROR_FILE_TOO_LARGE},
        {L"ten.txt", 0, ERROR_FILE_TOO_LARGE},
        {L"missing.txt", 100, ERROR_FILE_NOT_FOUND},
        {L"no\\such\\folder.txt", 100, ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        std::string bytes = "stale";
        DWORD error = 12345;
        bool read = readWholeFile(t.file(c.file), bytes, c.bound, &error);
        EXPECT_EQ(read, c.error == 0) << c.bound;
        if (read) {
            EXPECT_EQ(bytes, "0123456789");
            EXPECT_EQ(error, 12345u) << "success leaves the error alone";
        } else {
            EXPECT_TRUE(bytes.empty());
            EXPECT_EQ(error, c.error) << c.bound;
        }
    }
    // A file held open for writing by another program is still readable.
    HANDLE writer = CreateFileW(t.file(L"ten.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    std::string bytes;
    EXPECT_TRUE(readWholeFile(t.file(L"ten.txt"), bytes, 10));
    CloseHandle(writer);
}

TEST(ReplaceFileDurably, ReplacesAndLeavesNoTemporary) {
    TempFolder t;
    t.write(L"a.cfg", "old");
    ASSERT_EQ(replaceFileDurably(t.file(L"a.cfg"), "new\r\n"), 0u);
    EXPECT_EQ(t.read(L"a.cfg"), "new\r\n");
    EXPECT_FALSE(t.exists(L"a.cfg.yeni"));
    ASSERT_EQ(replaceFileDurably(t.file(L"empty.cfg"), ""), 0u);
    EXPECT_TRUE(t.exists(L"empty.cfg"));
    EXPECT_EQ(t.read(L"empty.cfg"), "");
    // A read-only leftover of an earlier failure under the temporary name is no obstacle.
    t.write(L"a.cfg.tmp", "leftover");
    SetFileAttributesW(t.file(L"a.cfg.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(replaceFileDurably(t.file(L"a.cfg"), "newer", L".tmp"), 0u);
    EXPECT_EQ(t.read(L"a.cfg"), "newer");
    EXPECT_FALSE(t.exists(L"a.cfg.tmp"));
}

TEST(ReplaceFileDurably, FailuresKeepTheOldFileAndReturnTheSystemError) {
    TempFolder t;
    t.write(L"a.cfg", "old");
    // The temporary cannot be created where a folder has its name.
    ASSERT_TRUE(CreateDirectoryW(t.file(L"a.cfg.yeni").c_str(), nullptr));
    EXPECT_NE(replaceFileDurably(t.file(L"a.cfg"), "new"), 0u);
    EXPECT_EQ(t.read(L"a.cfg"), "old");
    RemoveDirectoryW(t.file(L"a.cfg.yeni").c_str());

    EXPECT_EQ(replaceFileDurably(t.file(L"no\\such\\folder\\a.cfg"), "new"),
              static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // The move fails when a folder stands at the target: the written temporary goes with it.
    ASSERT_TRUE(CreateDirectoryW(t.file(L"folder.cfg").c_str(), nullptr));
    EXPECT_NE(replaceFileDurably(t.file(L"folder.cfg"), "new"), 0u);
    EXPECT_FALSE(t.exists(L"folder.cfg.yeni"));

    // A target held open without delete sharing cannot be replaced; it keeps its content.
    HANDLE held =
        CreateFileW(t.file(L"a.cfg").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DWORD error = replaceFileDurably(t.file(L"a.cfg"), "new");
    CloseHandle(held);
    EXPECT_TRUE(error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) << error;
    EXPECT_EQ(t.read(L"a.cfg"), "old");
    EXPECT_FALSE(t.exists(L"a.cfg.yeni"));
}

TEST(FolderTree, CreatesEveryLevelWithEitherSeparator) {
    TempFolder temp;
    EXPECT_TRUE(createFolderTree(temp.path + L"\\a/b\\c"));
    DWORD attributes = GetFileAttributesW(temp.file(L"a/b/c").c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_TRUE(createFolderTree(temp.path + L"\\a/b\\c"));  // existing levels are no error
    temp.write(L"file", "x");
    EXPECT_FALSE(createFolderTree(temp.file(L"file")));  // a file in the way is no folder
    EXPECT_FALSE(createFolderTree(temp.file(L"file\\below")));
}

TEST(JoinPath, OneBackslashBetweenAndSlashesTurned) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* relative;
        const wchar_t* joined;
    } cases[] = {
        {L"C:\\Oyun", L"pack/a.bin", L"C:\\Oyun\\pack\\a.bin"},
        {L"C:\\", L"a", L"C:\\a"},
        {L"C:\\Oyun/", L"a", L"C:\\Oyun/a"},  // the folder itself is left as given
        {L"C:\\Oyun", L"", L"C:\\Oyun\\"},
        {L"", L"a/b", L"a\\b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(joinPath(c.folder, c.relative), c.joined) << c.folder << L" + " << c.relative;
}

TEST(FullPath, ShortPathsAreJoinedAndLongOnesPrefixed) {
    EXPECT_EQ(fullPath(L"C:\\Oyun", L"pack/a.bin"), L"C:\\Oyun\\pack\\a.bin");
    const std::wstring deep = std::wstring(120, L'a') + L"/" + std::wstring(120, L'b') + L"/c.bin";
    EXPECT_EQ(fullPath(L"C:\\Oyun", deep), L"\\\\?\\C:\\Oyun\\" + std::wstring(120, L'a') + L"\\" +
                                            std::wstring(120, L'b') + L"\\c.bin");
    // The prefix turns off the system's clean-up of the path, so the form it gets must be clean.
    EXPECT_EQ(fullPath(L"C:/Oyun/./x/..", deep).substr(0, 12), L"\\\\?\\C:\\Oyun\\");
    EXPECT_EQ(fullPath(L"\\\\sunucu\\pay", deep).substr(0, 19), L"\\\\?\\UNC\\sunucu\\pay\\");
    EXPECT_EQ(fullPath(L"\\\\?\\C:\\Oyun", deep).substr(0, 12), L"\\\\?\\C:\\Oyun\\");

    // Such a path holds files, temp twins and folders beyond MAX_PATH.
    TempFolder t;
    std::wstring folder = fullPath(t.path, deep.substr(0, 241));
    ASSERT_GT(folder.size(), size_t{MAX_PATH});
    EXPECT_TRUE(createFolderTree(folder));
    EXPECT_EQ(replaceFileDurably(fullPath(t.path, deep), "deep"), 0u);
    std::string bytes;
    EXPECT_TRUE(readWholeFile(fullPath(t.path, deep), bytes, 16));
    EXPECT_EQ(bytes, "deep");
}

// The installer's copy of the launcher: complete and flushed under a temporary name before it
// replaces anything, whatever the source's attributes.
TEST(CopyFileDurably, ReplacesTheTargetAndLeavesNoTemporary) {
    TempFolder t;
    t.write(L"source.exe", "new launcher");
    SetFileAttributesW(t.file(L"source.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    t.write(L"Qorvane Launcher.exe", "old launcher");
    EXPECT_EQ(copyFileDurably(t.file(L"source.exe"), t.file(L"Qorvane Launcher.exe")), 0u);
    EXPECT_EQ(t.read(L"Qorvane Launcher.exe"), "new launcher");
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.yeni"));
    EXPECT_EQ(GetFileAttributesW(t.file(L"Qorvane Launcher.exe").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);

    EXPECT_EQ(copyFileDurably(t.file(L"missing.exe"), t.file(L"Qorvane Launcher.exe")),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    HANDLE held = CreateFileW(t.file(L"Qorvane Launcher.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(copyFileDurably(t.file(L"source.exe"), t.file(L"Qorvane Launcher.exe")), 0u);
    CloseHandle(held);
    EXPECT_EQ(t.read(L"Qorvane Launcher.exe"), "new launcher");
    EXPECT_FALSE(t.exists(L"Qorvane Launcher.exe.yeni"));
    EXPECT_EQ(flushFile(t.file(L"Qorvane Launcher.exe")), 0u);
    EXPECT_EQ(flushFile(t.file(L"missing.exe")), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileStamp, SizeAndTimeOfFilesAndFolders) {
    TempFolder t;
    t.write(L"f.bin", "12345");
    uint64_t size = 0, time = 0;
    bool folder = true;
    ASSERT_TRUE(fileStamp(t.file(L"f.bin"), size, time, &folder));
    EXPECT_EQ(size, 5u);
    EXPECT_NE(time, 0u);
    EXPECT_FALSE(folder);
    ASSERT_TRUE(fileStamp(t.path, size, time, &folder));
    EXPECT_TRUE(folder);
    EXPECT_FALSE(fileStamp(t.file(L"missing"), size, time));
    EXPECT_TRUE(fileSize(t.file(L"f.bin"), size));
    EXPECT_FALSE(fileSize(t.path, size));
    EXPECT_TRUE(pathExists(t.path));
    EXPECT_FALSE(pathExists(t.file(L"missing")));
}

}  // namespace
