// UTF-8 conversion, the line splitter of every line-based file, decimal numbers and the system's
// error text.
#include "base/text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> linesOf(std::string_view bytes) {
    std::vector<std::string> out;
    forEachLine(bytes, [&](std::string_view line) {
        out.emplace_back(line);
        return true;
    });
    return out;
}

TEST(ForEachLine, SplitsAtLineFeedsAndDropsOneCarriageReturn) {
    using Lines = std::vector<std::string>;
    struct Case {
        const char* text;
        Lines lines;
    } cases[] = {
        {"", {}},
        {"\n", {""}},
        {"a", {"a"}},                          // a last line without LF counts
        {"a\nb\n", {"a", "b"}},                // the final LF starts no empty line
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\r\n", {"a\r"}},                  // only the one CR before the LF goes
        {"a\rb\n", {"a\rb"}},                  // a lone CR is no line end
        {"\r\n\r\nx", {"", "", "x"}},
        {"last\r", {"last"}},                  // nor is it kept at the very end
    };
    for (const Case& c : cases)
        EXPECT_EQ(linesOf(c.text), c.lines) << c.text;

    // A line with a NUL byte is still one line, and the callback can stop the walk.
    std::string withNul("a\0b\nc\nd\n", 8);
    int seen = 0;
    forEachLine(withNul, [&](std::string_view line) {
        EXPECT_EQ(line.size(), seen == 0 ? 3u : 1u);
        return ++seen < 2;
    });
    EXPECT_EQ(seen, 2);
}

TEST(ParseDecimal, DigitsAfterBlanksUntilTheFirstOtherCharacterAndSaturates) {
    struct Case {
        const char* text;
        uint64_t value;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"42", 42},
        {" \t\r\n42x", 42},
        {"-5", 0},
        {"+5", 0},
        {"007", 7},
        {"12 34", 12},
        {"18446744073709551615", UINT64_MAX},
        {"18446744073709551616", UINT64_MAX},
        {"99999999999999999999999", UINT64_MAX},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseDecimal(c.text), c.value) << c.text;
}

TEST(Utf8, RoundTripsAndReplacesInvalidSequences) {
    const std::wstring text = L"Türkçe ğüşiöç İı — \U0001F600";
    EXPECT_EQ(fromUtf8(toUtf8(text)), text);
    EXPECT_EQ(toUtf8(L"\u00fc"), "\xC3\xBC");
    EXPECT_EQ(fromUtf8(""), L"");
    EXPECT_EQ(toUtf8(L""), "");
    EXPECT_EQ(fromUtf8("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(fromUtf8("\xC3"), L"\uFFFD");  // cut in the middle of a character
}

TEST(SystemErrorText, EndsWithTheCodeAfterTheTrimmedMessage) {
    std::wstring denied = systemErrorText(ERROR_ACCESS_DENIED);
    ASSERT_GE(denied.size(), 4u);
    EXPECT_EQ(denied.substr(denied.size() - 4), L" (5)");
    EXPECT_GT(denied.size(), 4u) << "the system has a message for code 5";
    wchar_t beforeCode = denied[denied.size() - 5];
    EXPECT_TRUE(beforeCode != L'\n' && beforeCode != L'\r' && beforeCode != L' ') << "trailing line end kept";
    EXPECT_EQ(systemErrorText(0xDEADBEEFul), L" (3735928559)");
}

}  // namespace
