#include "update/update_log.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "tests/support/temp_folder.h"

TEST(UpdateLog, LinesAreStampedCutAndWholeAcrossThreads) {
    TempFolder t;
    UpdateLog log;
    const std::wstring root = t.path + L"\\deeper\\game";  // missing parents are created too
    setLogFolder(log, root);
    logLine(log, "never");
    EXPECT_FALSE(t.exists(L"deeper"));

    log.enabled = true;
    logLine(log, "%s", std::string(2000, 'm').c_str());
    std::string text = readFileBytes(root + L"\\koruma\\launcher_gunluk.txt");
    ASSERT_EQ(20u + 1001u + 2u, text.size());
    EXPECT_EQ(' ', text[19]);
    EXPECT_EQ(std::string(1001, 'm') + "\r\n", text.substr(20));

    std::string a(600, 'a'), b(600, 'b');
    auto writer = [&](const std::string& s) {
        for (int i = 0; i < 100; ++i)
            logLine(log, "%s", s.c_str());
    };
    std::thread first(writer, a), second(writer, b);
    first.join();
    second.join();
    text = readFileBytes(root + L"\\koruma\\launcher_gunluk.txt");
    size_t lines = 0, position = 20 + 1001 + 2;
    while (position < text.size()) {
        size_t end = text.find("\r\n", position);
        ASSERT_NE(std::string::npos, end);
        std::string message = text.substr(position + 20, end - position - 20);
        ASSERT_TRUE(message == a || message == b);
        position = end + 2;
        ++lines;
    }
    EXPECT_EQ(200u, lines);
}

TEST(UpdateLog, FolderRemovedDuringARunIsMadeAgainAndALockedFileLosesOnlyItsLine) {
    TempFolder t;
    UpdateLog log;
    setLogFolder(log, t.path);
    log.enabled = true;
    logLine(log, "one");
    removeTree(t.file(L"koruma"));
    logLine(log, "two");
    std::string text = t.read(L"koruma\\launcher_gunluk.txt");
    EXPECT_EQ(std::string::npos, text.find("one"));
    EXPECT_NE(std::string::npos, text.find(" two\r\n"));

    HANDLE held = CreateFileW(t.file(L"koruma\\launcher_gunluk.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    logLine(log, "lost");
    CloseHandle(held);
    logLine(log, "three");
    text = t.read(L"koruma\\launcher_gunluk.txt");
    EXPECT_EQ(std::string::npos, text.find("lost"));
    EXPECT_NE(std::string::npos, text.find(" three\r\n"));
}
