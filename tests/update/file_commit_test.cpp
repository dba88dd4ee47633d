// The bounded write sink, one transfer into its temp file, the commit move and the pauses between
// attempts, on real files.
#include "update/file_commit.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/contained_path.h"
#include "base/file.h"
#include "tests/update/download_fixture.h"
#include "update/downloader.h"

namespace {

const char kEmptySha[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

HANDLE openForWrite(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// Writes bytes through a handle at its start.
void writeThrough(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    OVERLAPPED start{};
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &start));
    EXPECT_EQ(written, bytes.size());
}

// One planned item whose temp file, still held by the handle that created it, holds `bytes`.
struct StagedItem {
    Manifest manifest;
    DownloadRun run;
    HashCache cache;
    StagedItem(Updater& u, const std::wstring& path, const std::string& bytes) : run(u) {
        addEntry(manifest, path, bytes);
        run.cache = &cache;
        EXPECT_TRUE(planDownloadItems(run, manifest, allIndices(manifest)).ok());
        EXPECT_TRUE(openTempFile(run.root, path + L".indir", path, item().temp).ok());
        writeThrough(item().temp.get(), bytes);
    }
    DownloadItem& item() { return run.items[0]; }
};

}  // namespace

TEST(WriteSink, WritesHashesCountsAndRefusesPastItsLimit) {
    TempFolder t;
    Updater u;
    TransferGroup group(u);
    std::atomic<uint64_t> counter{0};
    Sha256 hasher;
    HANDLE file = openForWrite(t.file(L"out"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    WriteSink sink;
    sink.file = file;
    sink.hasher = &hasher;
    sink.group = &group;
    sink.fileCounter = &counter;
    sink.limit = 5;
    group.bytesReceived = 100;  // other connections' bytes stay counted

    EXPECT_TRUE(writeSinkCallback(&sink, reinterpret_cast<const uint8_t*>("abc"), 3, 3));
    // A buffer that would pass the limit is refused whole: nothing of it is written.
    EXPECT_FALSE(writeSinkCallback(&sink, reinterpret_cast<const uint8_t*>("def"), 3, 6));
    EXPECT_TRUE(writeSinkCallback(&sink, reinterpret_cast<const uint8_t*>("de"), 2, 5));
    CloseHandle(file);
    EXPECT_EQ(sink.written, 5u);
    EXPECT_EQ(sink.writeError, 0u);
    EXPECT_EQ(counter.load(), 5u);
    EXPECT_EQ(group.bytesReceived.load(), 105u);
    EXPECT_EQ(copyStatus(u).bytesDone, 105u);
    EXPECT_EQ(t.read(L"out"), "abcde");
    EXPECT_EQ(hasher.finishHex(), sha256Of("abcde"));
}

TEST(WriteSink, StopsOnRequestAndRecordsAFailedWrite) {
    TempFolder t;
    t.write(L"ro", "");
    Updater u;
    TransferGroup group(u);
    // A handle without write access makes WriteFile fail with access denied.
    HANDLE readOnly =
        CreateFileW(t.file(L"ro").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    WriteSink sink;
    sink.file = readOnly;
    sink.group = &group;
    sink.limit = 100;
    EXPECT_FALSE(writeSinkCallback(&sink, reinterpret_cast<const uint8_t*>("abc"), 3, 3));
    EXPECT_EQ(sink.writeError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(sink.written, 0u);
    EXPECT_EQ(group.bytesReceived.load(), 0u);
    CloseHandle(readOnly);

    HANDLE file = openForWrite(t.file(L"out"));
    WriteSink stopped;
    stopped.file = file;
    stopped.group = &group;
    stopped.limit = 100;
    for (int flag = 0; flag < 2; ++flag) {
        (flag == 0 ? u.stopRequested : group.aborted) = true;
        EXPECT_FALSE(writeSinkCallback(&stopped, reinterpret_cast<const uint8_t*>("abc"), 3, 3));
        (flag == 0 ? u.stopRequested : group.aborted) = false;
    }
    CloseHandle(file);
    EXPECT_EQ(stopped.written, 0u);
    EXPECT_EQ(stopped.writeError, 0u);
    EXPECT_EQ(t.read(L"out"), "");
}

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

TEST(DownloadToTemp, EmptyFileNeedsNoRequestAndIsJudgedByItsHash) {
    TempFolder t;
    Updater u;  // no session: a request would fail with an HTTP result
    TransferGroup group(u);
    ManifestEntry entry;
    entry.size = 0;
    entry.path = L"empty.txt";
    entry.hash = kEmptySha;
    UniqueFile temp;
    ASSERT_TRUE(openTempFile(resolveRoot(t.path), L"empty.txt.indir", entry.path, temp).ok());
    writeThrough(temp.get(), "an earlier attempt");
    EXPECT_TRUE(downloadToTemp(group, nullptr, entry, temp.get(), nullptr).ok());
    EXPECT_TRUE(t.exists(L"empty.txt.indir"));
    EXPECT_EQ(t.read(L"empty.txt.indir"), "");
    entry.hash = std::string(64, 'a');
    EXPECT_EQ(downloadToTemp(group, nullptr, entry, temp.get(), nullptr).outcome, StepOutcome::Mismatch);
}

// From its creation to its move, the temp file is written by its own handle only: another program
// can read it but neither write, rename nor delete it, and what moves into place is what that handle
// wrote and verified. An old file under the temp name is never written through: it may be a second
// name of a file elsewhere.
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

TEST(PauseSeconds, EndsWithinAStepOfAStopOrAnAbort) {
    for (int flag = 0; flag < 2; ++flag) {
        Updater u;
        TransferGroup group(u);
        std::atomic<bool>& trigger = flag == 0 ? u.stopRequested : group.aborted;
        std::thread setter([&] {
            Sleep(250);
            trigger = true;
        });
        ULONGLONG start = GetTickCount64();
        pauseSeconds(group, 3);
        ULONGLONG took = GetTickCount64() - start;
        setter.join();
        EXPECT_GE(took, 200u);
        EXPECT_LT(took, 2000u);  // a pause that ignored the flag would last its full 3 s
    }
}

TEST(DownloadToTemp, SurplusBytesCountOnlyWhenTheyArriveInABufferOfTheirOwn) {
    ServedGame g;
    g.open();
    // Wine's WinHttpReadData fills the whole 256 KiB buffer before it returns (Windows returns what
    // has arrived), so only a body of exactly one buffer gets its late surplus in a block of its own.
    std::string bytes = patternBytes(262144, 7);
    std::string hash = g.publish(L"x.bin", bytes);
    LoopbackFault extra;
    extra.extendBy = 7;
    extra.extendDelayMs = 300;
    g.server.setFault(objectUrl(hash), extra);
    std::wstring temp = g.folder.file(L"x.bin.indir");
    UniqueFile handle;
    ASSERT_TRUE(openTempFile(resolveRoot(g.folder.path), L"x.bin.indir", L"x.bin", handle).ok());
    TransferGroup group(g.u);
    EXPECT_TRUE(downloadToTemp(group, nullptr, g.manifest.entries[0], handle.get(), nullptr).ok());
    EXPECT_TRUE(readFileBytes(temp) == bytes);

    // The surplus rides in the same buffer as the last real bytes, which is refused whole.
    bytes = patternBytes(3000, 8);
    addEntry(g.manifest, L"y.bin", bytes);
    hash = g.manifest.entries.back().hash;
    g.server.addFile(objectUrl(hash), bytes);
    extra.extendDelayMs = 0;
    g.server.setFault(objectUrl(hash), extra);
    std::atomic<uint64_t> counter{0};
    TransferGroup another(g.u);
    StepResult result = downloadToTemp(another, nullptr, g.manifest.entries[1], handle.get(), &counter);
    EXPECT_EQ(result.outcome, StepOutcome::Mismatch);
    EXPECT_EQ(result.httpStatus, 200);
    EXPECT_EQ(result.path, L"y.bin");
    EXPECT_LT(readFileBytes(temp).size(), bytes.size());
    EXPECT_EQ(counter.load(), 0u);
    EXPECT_EQ(another.bytesReceived.load(), 0u);
}
