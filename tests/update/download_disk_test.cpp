// A full disk during downloads. Needs a small disk: QORVANE_TEST_SMALL_DISK names an empty folder on
// a drive of a few MiB (tests/update/small_disk.sh mounts an 8 MiB tmpfs as drive Q: and sets it).
#include <gtest/gtest.h>

#include "tests/update/download_served.h"

namespace {

std::wstring smallDiskFolder() {
    wchar_t value[512] = {};
    DWORD n = GetEnvironmentVariableW(L"QORVANE_TEST_SMALL_DISK", value, 512);
    return n > 0 && n < 512 ? std::wstring(value, n) : std::wstring();
}

}  // namespace

TEST(DownloadDisk, FullDiskIsReportedWithThePathAndLeavesNothingHalfWritten) {
    std::wstring root = smallDiskFolder();
    if (root.empty()) GTEST_SKIP() << "QORVANE_TEST_SMALL_DISK is not set (see tests/update/small_disk.sh)";
    ULARGE_INTEGER freeBytes;
    ASSERT_TRUE(GetDiskFreeSpaceExW(root.c_str(), &freeBytes, nullptr, nullptr));
    ASSERT_LT(freeBytes.QuadPart, 64ull << 20) << "not a small disk";

    // Whole-file transfer, then a split file whose ranges run out of room and whose whole-file
    // fallback meets the same full disk.
    const uint64_t sizes[] = {freeBytes.QuadPart + (4u << 20), 40000000};
    for (uint64_t size : sizes) {
        SCOPED_TRACE(size);
        ServedGame g;
        g.u.rootFolder = root;
        g.open();
        writeFileBytes(root + L"\\oyun.pak", "previous version");
        g.publish(L"oyun.pak", patternBytes(static_cast<size_t>(size), 11));
        EXPECT_FALSE(g.run());
        StatusSnapshot s = copyStatus(g.u);
        EXPECT_EQ(s.phase, UpdatePhase::Error);
        EXPECT_EQ(s.errorCode, ErrorKind::DiskFull) << readFileBytes(root + L"\\koruma\\launcher_gunluk.txt");
        EXPECT_EQ(s.detailText, L"oyun.pak");
        EXPECT_EQ(readFileBytes(root + L"\\oyun.pak"), "previous version");
        EXPECT_TRUE(leftoverTemps(root).empty());
        // The disk is free again for the next case and the next run.
        ASSERT_TRUE(GetDiskFreeSpaceExW(root.c_str(), &freeBytes, nullptr, nullptr));
        DeleteFileW((root + L"\\oyun.pak").c_str());
    }
}
