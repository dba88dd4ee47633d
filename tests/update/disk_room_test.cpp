// The room check before a download: the bytes a stage writes, the comparison, and a run on a drive
// that cannot hold the list, which must end before any request and leave the folder untouched.
#include "update/disk_room.h"

#include <gtest/gtest.h>

#include "tests/update/download_fixture.h"

TEST(DiskRoom, CountsEachFileOnceAtItsFullSize) {
    Manifest m;
    addEntry(m, L"a.pak", 100, std::string(64, '0'));
    addEntry(m, L"sub/b.pak", 40, std::string(64, '0'));
    addEntry(m, L"SUB/B.PAK", 40, std::string(64, '0'));  // the same file, spelled otherwise
    addEntry(m, L"huge.pak", UINT64_MAX - 50, std::string(64, '0'));
    struct Case {
        std::vector<uint32_t> indices;
        uint64_t bytes;
    } cases[] = {
        {{}, 0},
        {{0}, 100},
        {{0, 1}, 140},
        {{1, 2}, 40},
        {{0, 1, 7}, 140},      // an index past the list counts nothing
        {{0, 3}, UINT64_MAX},  // saturates instead of wrapping
    };
    for (const Case& c : cases)
        EXPECT_EQ(bytesToWrite(m, c.indices), c.bytes) << c.indices.size();
}

TEST(DiskRoom, TooLittleRoomCarriesBothFigures) {
    EXPECT_TRUE(compareRoom(10, 10, L"C:\\Oyun").ok());
    EXPECT_TRUE(compareRoom(0, 0, L"C:\\Oyun").ok());
    StepResult r = compareRoom(11, 10, L"C:\\Oyun");
    EXPECT_EQ(r.outcome, StepOutcome::NoRoom);
    EXPECT_EQ(r.bytesNeeded, 11u);
    EXPECT_EQ(r.bytesFree, 10u);
    EXPECT_EQ(r.detail, L"C:\\Oyun");
    EXPECT_EQ(errorKindOf(r.outcome), ErrorKind::NoRoom);
}

TEST(DiskRoom, ADriveTooSmallEndsTheRunBeforeAnyRequest) {
    ServedGame g;
    g.open();
    uint64_t freeBytes = 0;
    unsigned long error = 0;
    ASSERT_TRUE(freeBytesOf(g.folder.path, freeBytes, error)) << error;
    ASSERT_GT(freeBytes, 0u);
    g.publish(L"small.pak", "abc");
    // A listed size no drive here has: the check must refuse it without fetching a byte.
    addEntry(g.manifest, L"data/huge.pak", freeBytes + 1, std::string(64, 'a'));
    EXPECT_FALSE(g.run());

    StatusSnapshot s = copyStatus(g.u.status);
    EXPECT_EQ(s.phase, UpdatePhase::Error);
    EXPECT_EQ(s.errorCode, ErrorKind::NoRoom);
    EXPECT_EQ(s.spaceNeeded, freeBytes + 4);
    EXPECT_GE(s.spaceFree + 1048576, freeBytes);  // the free space may move a little meanwhile
    EXPECT_TRUE(g.server.requests().empty());
    EXPECT_FALSE(g.folder.exists(L"data"));
    EXPECT_FALSE(g.folder.exists(L"small.pak"));
    EXPECT_FALSE(g.folder.exists(L"koruma\\gecici.txt"));
    const std::string log = g.log();
    EXPECT_NE(log.find("diskte yer yok: gerekli " + std::to_string(freeBytes + 4) + " bayt, bos "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("HATA 7 "), std::string::npos) << log;
    EXPECT_EQ(log.find("indirme:"), std::string::npos) << log;
}
