#include "protocol/news_format.h"

#include <gtest/gtest.h>

TEST(NewsParse, Lines) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::pair<std::wstring, std::wstring>> items;
    } cases[] = {
        {"five lines, three taken", "1|a\n2|b\n3|c\n4|d\n5|e\n", {{L"1", L"a"}, {L"2", L"b"}, {L"3", L"c"}}},
        {"further bars in the title", "14.10|Yeni *sezon*|ve daha\n", {{L"14.10", L"Yeni *sezon*|ve daha"}}},
        {"skipped lines do not count",
         "# yorum|x\nno bar here\n\n\r\n1|a\n2|b\n3|c\n",
         {{L"1", L"a"}, {L"2", L"b"}, {L"3", L"c"}}},
        {"CRLF and no final LF", "1|a\r\n2|b", {{L"1", L"a"}, {L"2", L"b"}}},
        {"empty parts",
         "|\n|only title\ndate only|\n",
         {{L"", L""}, {L"", L"only title"}, {L"date only", L""}}},
        {"UTF-8 text",
         "7 Ara|\xC3\x87"
         "ekili\xC5\x9F\n",
         {{L"7 Ara", L"\u00c7ekili\u015f"}}},
        {"only a byte-order mark", "\xEF\xBB\xBF", {}},
    };
    for (const Case& c : cases) {
        auto items = parseNews(c.text);
        ASSERT_EQ(c.items.size(), items.size()) << c.name;
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(c.items[i].first, items[i].date) << c.name;
            EXPECT_EQ(c.items[i].second, items[i].title) << c.name;
        }
        auto withBom = parseNews("\xEF\xBB\xBF" + c.text);
        EXPECT_EQ(items.size(), withBom.size()) << c.name;
        if (!items.empty()) {
            EXPECT_EQ(items[0].date, withBom[0].date) << c.name;
        }
    }
    // A mark that is not at the very start is part of the text.
    auto late = parseNews(
        "\n\xEF\xBB\xBF"
        "1|a\n");
    ASSERT_EQ(1u, late.size());
    EXPECT_EQ(L"\ufeff1", late[0].date);
}

TEST(NewsParse, WhatReachesTheScreenIsBounded) {
    // Control characters, direction marks, overrides, isolates and line separators go; other
    // invisible characters (joiners of emoji, the soft hyphen) stay.
    auto items = parseNews(
        "\t0\x1b"
        "1.12\xC2\x85|a\xE2\x80\xAE"
        "b\xE2\x81\xA6"
        "c\xE2\x81\xA9\x7f"
        "d\n");
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(L"01.12", items[0].date);
    EXPECT_EQ(L"abcd", items[0].title);
    const struct {
        const char* utf8;
        bool dropped;
    } marks[] = {
        {"\xE2\x80\x8E", true},   // U+200E left-to-right mark
        {"\xE2\x80\x8F", true},   // U+200F right-to-left mark
        {"\xD8\x9C", true},       // U+061C Arabic letter mark
        {"\xE2\x80\xA8", true},   // U+2028 line separator
        {"\xE2\x80\xA9", true},   // U+2029 paragraph separator
        {"\xE2\x80\x8D", false},  // U+200D zero-width joiner
        {"\xC2\xAD", false},      // U+00AD soft hyphen
    };
    for (const auto& mark : marks) {
        items = parseNews(std::string("1") + mark.utf8 + "|x" + mark.utf8 + "y\n");
        ASSERT_EQ(1u, items.size());
        EXPECT_EQ(items[0].date.size(), mark.dropped ? 1u : 2u) << mark.utf8;
        EXPECT_EQ(items[0].title.size(), mark.dropped ? 2u : 3u) << mark.utf8;
    }

    // Cut by characters, never through a surrogate pair.
    const std::string longTitle = std::string(199, 'x') + "\xF0\x9F\x98\x80" + "tail";  // 199 + U+1F600
    items = parseNews(std::string(40, '9') + "|" + longTitle + "\n");
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(std::wstring(16, L'9'), items[0].date);
    EXPECT_EQ(std::wstring(199, L'x'), items[0].title);
    items = parseNews("1|" + std::string(500, 'y') + "\n");
    EXPECT_EQ(std::wstring(200, L'y'), items[0].title);

    // 64 KiB is still news, one byte more is none.
    std::string body = "1|a\n";
    body += std::string(kMaxNewsBytes - body.size(), '#');
    EXPECT_EQ(1u, parseNews(body).size());
    EXPECT_TRUE(parseNews(body + "#").empty());
}
