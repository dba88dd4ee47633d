#include <gtest/gtest.h>

#include "ui/text_table.h"

namespace {

struct LanguageScope {
    UiLanguage saved = uiLanguage;
    explicit LanguageScope(UiLanguage language) { uiLanguage = language; }
    ~LanguageScope() { uiLanguage = saved; }
};

TEST(TextTable, BothLanguagesAreCompleteAndFollowTheLanguage) {
    for (UiLanguage language : {UiLanguage::Turkish, UiLanguage::English}) {
        const TextTable& t = textsFor(language);
        for (int id = 0; id < kTextCount; ++id) {
            ASSERT_NE(t[static_cast<TextId>(id)], nullptr) << id;
            EXPECT_NE(t[static_cast<TextId>(id)][0], L'\0') << id;
        }
    }
    EXPECT_EQ(kTextCount, 84);
    LanguageScope en(UiLanguage::English);
    EXPECT_STREQ(texts()[TextId::ButtonPlay], L"PLAY");
    uiLanguage = UiLanguage::Turkish;
    EXPECT_STREQ(texts()[TextId::ButtonPlay], L"OYNA");
    EXPECT_STREQ(texts()[TextId::SettingsWriteFailed],
                 L"Ayar dosyası yazılamadı (oyun klasörü yazılabilir mi?).");
    // The uninstaller's message for a folder that stays names it in both languages.
    for (UiLanguage language : {UiLanguage::Turkish, UiLanguage::English}) {
        std::wstring kept = formatText(textsFor(language)[TextId::UninstallKept], L"D:\\Oyun\\Qorvane");
        EXPECT_NE(kept.find(L"\n\nD:\\Oyun\\Qorvane"), std::wstring::npos) << kept;
    }
}

TEST(TextTable, ExactFormsOfSeparatorsAndPercentSigns) {
    EXPECT_STREQ(textsFor(UiLanguage::English)[TextId::SpaceLine], L"Required: *%s*   \u00B7   Free: *%s*");
    EXPECT_STREQ(textsFor(UiLanguage::Turkish)[TextId::StatusAllVerified],
                 L"T\u00FCm dosyalar do\u011Fruland\u0131  \u00B7  s\u00FCr\u00FCm %s");
    EXPECT_STREQ(textsFor(UiLanguage::Turkish)[TextId::StatusConnecting],
                 L"Sunucuya ba\u011Flan\u0131l\u0131yor\u2026");
    EXPECT_STREQ(textsFor(UiLanguage::Turkish)[TextId::SmallScreenAdvice],
                 L"K\u00FC\u00E7\u00FCk ekranlarda aray\u00FCz %100 \u00F6nerilir.");
    EXPECT_EQ(formatText(textsFor(UiLanguage::Turkish)[TextId::PercentFormat], 125), L"%125");
    EXPECT_EQ(formatText(textsFor(UiLanguage::English)[TextId::PercentFormat], 125), L"125%");
    EXPECT_EQ(formatText(textsFor(UiLanguage::Turkish)[TextId::ScreenLine], 1920, 1080, 150),
              L"Ekran\u0131n: *1920 \u00D7 1080* (Windows %150)");
    EXPECT_EQ(formatText(textsFor(UiLanguage::English)[TextId::InterfaceLine], 120),
              L"Interface: *120%* \u2014 larger means less fits in the window");
}

TEST(TextTable, FormatTextTakesWideStringsAndCutsAt2047) {
    EXPECT_EQ(formatText(textsFor(UiLanguage::English)[TextId::ErrRetryDetail], L"pack/ş.epk"),
              L"pack/ş.epk  \u00B7  press RETRY to try again");
    EXPECT_EQ(formatText(textsFor(UiLanguage::English)[TextId::LaunchFailed], 4294967295u),
              L"Could not start the game (error 4294967295).");
    std::wstring longText(5000, L'x');
    EXPECT_EQ(formatText(L"%s", longText.c_str()).size(), 2047u);
}

TEST(TextTable, DecimalAndGigabyteFormatsFollowTheLanguage) {
    {
        LanguageScope en(UiLanguage::English);
        EXPECT_EQ(formatGigabytes(1610612736ull), L"1.5 GB");
        EXPECT_EQ(formatGigabytes(161061273600ull), L"150 GB");
        EXPECT_EQ(formatDecimal(8.4, 1), L"8.4");
        EXPECT_EQ(formatGigabytes(0), L"0.0 GB");
    }
    LanguageScope tr(UiLanguage::Turkish);
    EXPECT_EQ(formatGigabytes(1610612736ull), L"1,5 GB");
    EXPECT_EQ(formatGigabytes(161061273600ull), L"150 GB");
    EXPECT_EQ(formatGigabytes(1913651200ull), L"1,8 GB");
    EXPECT_EQ(formatGigabytes(158913789952ull), L"148 GB");
    EXPECT_EQ(formatDecimal(46.2, 1), L"46,2");
    // 99.96 GiB rounds to 100.0 with one digit: the digit count is chosen before rounding.
    EXPECT_EQ(formatGigabytes(static_cast<uint64_t>(99.96 * 1073741824.0)), L"100,0 GB");
}

}  // namespace
