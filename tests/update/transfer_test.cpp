// The bounded write sink and one transfer into its temp file, on real files.
#include "update/transfer.h"

#include <gtest/gtest.h>

#include "base/contained_path.h"
#include "base/file.h"
#include "tests/update/download_fixture.h"

namespace {

const char kEmptySha[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

HANDLE openForWrite(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

}  // namespace

TEST(WriteSink, WritesHashesCountsAndRefusesPastItsLimit) {
    TempFolder t;
    Updater u;
    TransferGroup group(runServices(u));
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
    EXPECT_EQ(copyStatus(u.status).bytesDone, 105u);
    EXPECT_EQ(t.read(L"out"), "abcde");
    EXPECT_EQ(hasher.finishHex(), sha256Of("abcde"));
}

TEST(WriteSink, StopsOnRequestAndRecordsAFailedWrite) {
    TempFolder t;
    t.write(L"ro", "");
    Updater u;
    TransferGroup group(runServices(u));
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
    for (StopSignal* signal : {&u.stop, &group.stop}) {
        signal->request();
        EXPECT_FALSE(writeSinkCallback(&stopped, reinterpret_cast<const uint8_t*>("abc"), 3, 3));
        signal->clear();
    }
    CloseHandle(file);
    EXPECT_EQ(stopped.written, 0u);
    EXPECT_EQ(stopped.writeError, 0u);
    EXPECT_EQ(t.read(L"out"), "");
}

TEST(DownloadToTemp, EmptyFileNeedsNoRequestAndIsJudgedByItsHash) {
    TempFolder t;
    Updater u;  // no session: a request would fail with an HTTP result
    TransferGroup group(runServices(u));
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
    TransferGroup group(runServices(g.u));
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
    TransferGroup another(runServices(g.u));
    StepResult result = downloadToTemp(another, nullptr, g.manifest.entries[1], handle.get(), &counter);
    EXPECT_EQ(result.outcome, StepOutcome::Mismatch);
    EXPECT_EQ(result.httpStatus, 200);
    EXPECT_EQ(result.path, L"y.bin");
    EXPECT_LT(readFileBytes(temp).size(), bytes.size());
    EXPECT_EQ(counter.load(), 0u);
    EXPECT_EQ(another.bytesReceived.load(), 0u);
}
