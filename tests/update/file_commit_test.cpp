// The commit of a downloaded file through the handle that wrote it, on real files.
#include "update/file_commit.h"

#include <gtest/gtest.h>

#include "base/contained_path.h"
#include "base/file.h"
#include "tests/update/download_fixture.h"
#include "update/downloader.h"
#include "update/transfer.h"

namespace {

// One planned item whose temp file, still held by the handle that created it, holds `bytes`.
struct StagedItem {
    Manifest manifest;
    DownloadRun run;
    HashCache cache;
    StagedItem(Updater& u, const std::wstring& path, const std::string& bytes)
        : run(downloadSettings(u.config), runServices(u)) {
        addEntry(manifest, path, bytes);
        run.cache = &cache;
        EXPECT_TRUE(planDownloadItems(run, manifest, allIndices(manifest)).ok());
        EXPECT_TRUE(openTempFile(run.root, path + L".indir", path, item().temp).ok());
        writeThrough(item().temp.get(), bytes);
    }
    DownloadItem& item() { return run.items[0]; }
};

}  // namespace

TEST(CommitFile, ReplacesAReadOnlyTargetAndRecordsTheCache) {
    TempFolder t;
    Updater u;
    pointAt(u, t);
    t.write(L"pack/Data.pak", "old content");
    SetFileAttributesW(t.file(L"pack\\Data.pak").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    StagedItem staged(u, L"pack/Data.pak", "new");
    staged.cache[pathKey(L"pack/data.pak")] = HashCacheEntry{"stale", 11, 1};

    EXPECT_TRUE(commitFile(staged.run, staged.item()).ok());
    EXPECT_EQ(t.read(L"pack/Data.pak"), "new");
    EXPECT_FALSE(t.exists(L"pack/Data.pak.indir"));
    EXPECT_TRUE(staged.item().committed);
    EXPECT_EQ(staged.run.finished, 1);

    WIN32_FILE_ATTRIBUTE_DATA d;
    ASSERT_TRUE(GetFileAttributesExW(t.file(L"pack\\Data.pak").c_str(), GetFileExInfoStandard, &d));
    const HashCacheEntry& cached = staged.cache.at(pathKey(L"pack/data.pak"));
    EXPECT_EQ(cached.hash, sha256Of("new"));
    EXPECT_EQ(cached.size, 3u);
    EXPECT_EQ(cached.mtime, (static_cast<uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32) |
                                d.ftLastWriteTime.dwLowDateTime);
    EXPECT_NE(logOf(t).find("indirildi pack/Data.pak (3 bayt)\r\n"), std::string::npos) << logOf(t);
}

TEST(CommitFile, SplitFilesNameTheirRangeCountInTheLog) {
    TempFolder t;
    Updater u;
    pointAt(u, t);
    StagedItem staged(u, L"büyük dosya.bin", "xyz");
    staged.item().chunkCount = 192;
    EXPECT_TRUE(commitFile(staged.run, staged.item()).ok());
    EXPECT_NE(logOf(t).find(toUtf8(L"indirildi büyük dosya.bin (3 bayt, 192 parca)\r\n")), std::string::npos);
}

TEST(CommitFile, TargetHeldOpenIsReportedAsLockedAndLeavesNoTempFile) {
    TempFolder t;
    Updater u;
    pointAt(u, t);
    t.write(L"Qorvane.exe", "running game");
    StagedItem staged(u, L"Qorvane.exe", "new game");
    HANDLE held =
        CreateFileW(t.file(L"Qorvane.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    StepResult result = commitFile(staged.run, staged.item());
    CloseHandle(held);
    EXPECT_EQ(result.outcome, StepOutcome::Locked);
    // The move's own error, not one read later.
    EXPECT_TRUE(result.systemError == ERROR_SHARING_VIOLATION || result.systemError == ERROR_ACCESS_DENIED)
        << result.systemError;
    EXPECT_EQ(result.path, L"Qorvane.exe");
    EXPECT_EQ(t.read(L"Qorvane.exe"), "running game");
    EXPECT_FALSE(t.exists(L"Qorvane.exe.indir"));
    EXPECT_FALSE(staged.item().committed);
    EXPECT_EQ(staged.run.finished, 0);
    EXPECT_TRUE(staged.cache.empty());
}

TEST(TempFile, OnlyItsOwnHandleWritesItUntilItIsInPlace) {
    TempFolder t;
    Updater u;
    pointAt(u, t);
    t.write(L"elsewhere/precious.txt", "the player's own file");
    ASSERT_TRUE(createFolderTree(t.file(L"pack")));
    ASSERT_TRUE(CreateHardLinkW(t.file(L"pack/Data.pak.indir").c_str(),
                                t.file(L"elsewhere/precious.txt").c_str(), nullptr));
    StagedItem staged(u, L"pack/Data.pak", "verified bytes");
    EXPECT_EQ(t.read(L"elsewhere/precious.txt"), "the player's own file");

    const std::wstring temp = t.file(L"pack/Data.pak.indir");
    const struct {
        const char* what;
        DWORD access;
    } intruders[] = {{"write", GENERIC_WRITE}, {"append", FILE_APPEND_DATA}, {"rename or delete", DELETE}};
    for (const auto& intruder : intruders) {
        HANDLE other =
            CreateFileW(temp.c_str(), intruder.access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(other, INVALID_HANDLE_VALUE) << intruder.what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << intruder.what;
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    }
    EXPECT_FALSE(MoveFileExW(temp.c_str(), t.file(L"pack/other.bin").c_str(), 0));
    EXPECT_EQ(t.read(L"pack/Data.pak.indir"), "verified bytes") << "readers are welcome";

    ASSERT_TRUE(commitFile(staged.run, staged.item()).ok());
    EXPECT_FALSE(staged.item().temp);
    EXPECT_EQ(t.read(L"pack/Data.pak"), "verified bytes");
    EXPECT_FALSE(t.exists(L"pack/Data.pak.indir"));
    // The cache's stamp came from the handle and still holds once it is closed.
    uint64_t size = 0, written = 0;
    ASSERT_TRUE(fileStamp(t.file(L"pack/Data.pak"), size, written));
    const HashCacheEntry& cached = staged.cache.at(pathKey(L"pack/data.pak"));
    EXPECT_EQ(cached.size, size);
    EXPECT_EQ(cached.mtime, written);
}

