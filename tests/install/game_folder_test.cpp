#include "install/game_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "tests/support/temp_folder.h"

namespace {

TEST(GameInstalled, RecordOrGameExecutableMarksTheFolder) {
    TempFolder t;
    EXPECT_FALSE(isGameInstalled(t.path));
    t.write(L"Qorvane.exe", "MZ");
    EXPECT_TRUE(isGameInstalled(t.path));

    TempFolder r;
    r.write(L"koruma\\kurulum.txt", "Qorvane Launcher kurulumu\n");
    EXPECT_EQ(installRecordPath(r.path), r.path + L"\\koruma\\kurulum.txt");
    EXPECT_TRUE(isGameInstalled(r.path));

    TempFolder d;  // a folder of that name counts as well
    CreateDirectoryW(d.file(L"Qorvane.exe").c_str(), nullptr);
    EXPECT_TRUE(isGameInstalled(d.path));
}

TEST(GameLanguage, ReadsTheFirstTwoBytesOnlyInOneCase) {
    struct Case {
        const char* content;
        bool found;
        UiLanguage language;
    } cases[] = {
        {"en", true, UiLanguage::English},      {"EN\n", true, UiLanguage::English},
        {"english", true, UiLanguage::English}, {"tr", true, UiLanguage::Turkish},
        {"TR\r\n", true, UiLanguage::Turkish},  {"En", false, UiLanguage::Turkish},
        {"tR", false, UiLanguage::Turkish},     {"", false, UiLanguage::Turkish},
        {"e", false, UiLanguage::Turkish},      {"de", false, UiLanguage::Turkish},
    };
    for (const Case& c : cases) {
        TempFolder t;
        t.write(L"pack\\dil.cfg", c.content);
        std::optional<UiLanguage> language = readGameLanguage(t.path);
        EXPECT_EQ(language.has_value(), c.found) << c.content;
        if (c.found && language) {
            EXPECT_EQ(*language, c.language) << c.content;
        }
    }
    TempFolder missing;
    EXPECT_FALSE(readGameLanguage(missing.path));
}

TEST(GameLanguage, RefusesFilesOf64MiBOrMore) {
    TempFolder t;
    std::wstring path = t.file(L"pack\\dil.cfg");
    t.write(L"pack\\dil.cfg", "en");
    // Grow the file sparsely to exactly 64 MiB: the size check must refuse it before reading.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 67108864;
    SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    EXPECT_FALSE(readGameLanguage(t.path));

    h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    size.QuadPart = 67108863;
    SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    EXPECT_EQ(readGameLanguage(t.path), UiLanguage::English);
}

TEST(GameLanguage, TheFileHoldsExactlyTheTwoLetterCodeAndReadsBack) {
    TempFolder temp;
    for (UiLanguage language : {UiLanguage::English, UiLanguage::Turkish}) {
        temp.write(L"pack/dil.cfg", "english, and a longer old file");
        writeGameLanguage(temp.path, language);
        EXPECT_EQ(temp.read(L"pack/dil.cfg"), language == UiLanguage::English ? "en" : "tr");
        EXPECT_EQ(readGameLanguage(temp.path), language);
    }
    TempFolder fresh;
    writeGameLanguage(fresh.file(L"new/folder"), UiLanguage::English);
    EXPECT_EQ(fresh.read(L"new/folder/pack/dil.cfg"), "en");
}

}  // namespace
