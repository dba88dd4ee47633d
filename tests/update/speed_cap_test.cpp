// The download cap's variable, the panel's file and which of them a run uses.
#include "update/speed_cap.h"

#include <gtest/gtest.h>

#include "base/file.h"
#include "tests/support/temp_folder.h"

TEST(SpeedCap, OnlyADecimalCountFromOneToTenMillionIsACap) {
    struct Case {
        const wchar_t* text;
        uint32_t cap;
    } cases[] = {
        {L"", 0},
        {L"0", 0},
        {L"1", 1},
        {L"512", 512},
        {L" 2048\r\n", 2048},
        {L"10000000", 10000000},
        {L"10000001", 0},
        {L"99999999999", 0},
        {L"-5", 0},
        {L"+5", 0},
        {L"5k", 0},
        {L"5 0", 0},
        {L"0x10", 0},
        {L"1.5", 0},
        {L"\x0665", 0},  // an Arabic-Indic five is no decimal digit here
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseSpeedCap(std::wstring_view(c.text)), c.cap) << c.text;
        EXPECT_EQ(effectiveSpeedCap(c.text, 5120), c.cap ? c.cap : 5120u) << c.text;
        EXPECT_EQ(effectiveSpeedCap(c.text, 0), c.cap) << c.text;
    }
}

TEST(SpeedCap, ThePanelsChoiceIsKeptInKorumaAndReadBack) {
    TempFolder t;
    EXPECT_EQ(readSpeedCapChoice(t.path), 0u);  // none kept yet: no cap
    ASSERT_EQ(writeSpeedCapChoice(t.path, 25600), 0u);
    EXPECT_EQ(t.read(L"koruma/hiz.txt"), "25600\n");
    EXPECT_FALSE(t.exists(L"koruma/hiz.txt.yeni"));
    EXPECT_EQ(readSpeedCapChoice(t.path), 25600u);
    ASSERT_EQ(writeSpeedCapChoice(t.path, 0), 0u);
    EXPECT_EQ(readSpeedCapChoice(t.path), 0u);
    // A damaged or hand-edited file means no cap, never a wrong one.
    t.write(L"koruma/hiz.txt", "fast");
    EXPECT_EQ(readSpeedCapChoice(t.path), 0u);
    t.write(L"koruma/hiz.txt", std::string(100, '1'));
    EXPECT_EQ(readSpeedCapChoice(t.path), 0u);
}
