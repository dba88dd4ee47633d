// The running executable's path, the folder part of a path, and command-line quoting as the system
// reads it back.
#include "base/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file.h"
#include "tests/support/command_line.h"

namespace {

TEST(QuoteArgument, KeepsTheDocumentedFormsForArgumentsWithoutBackslashes) {
    EXPECT_EQ(quoteArgument(L"foo"), L"foo");
    EXPECT_EQ(quoteArgument(L"a b"), L"\"a b\"");
    EXPECT_EQ(quoteArgument(L""), L"\"\"");
    EXPECT_EQ(quoteArgument(L"a\"b"), L"\"a\\\"b\"");
    EXPECT_EQ(quoteArgument(L"tab\there"), L"\"tab\there\"");
    // Backslashes not followed by a quote stay single, quoted or not.
    EXPECT_EQ(quoteArgument(L"C:\\Oyun\\x"), L"C:\\Oyun\\x");
    EXPECT_EQ(quoteArgument(L"C:\\Oyun Klasoru\\x"), L"\"C:\\Oyun Klasoru\\x\"");
}

TEST(QuoteArgument, DoublesBackslashesBeforeAQuoteOrTheClosingQuote) {
    EXPECT_EQ(quoteArgument(L"C:\\Oyun Klasoru\\"), L"\"C:\\Oyun Klasoru\\\\\"");
    EXPECT_EQ(quoteArgument(L"a\\\"b"), L"\"a\\\\\\\"b\"");
}

TEST(QuoteArgument, RoundTripsThroughCommandLineToArgvW) {
    const std::vector<std::wstring> cases = {
        L"plain",
        L"a b",
        L"",
        L"a\"b",
        L"C:\\Oyun Klasoru\\",
        L"C:\\Oyun Klasoru\\\\",
        L"\\\\server\\share dir\\",
        L"\"",
        L"\\\"",
        L"x\\\\\"y z",
        L"ends with quote\"",
        L"trailing\\",
        L"Türkçe ğüşiöç",
        L"\t",
        L"a\\b\\c d",
    };
    for (const auto& arg : cases) {
        auto back = splitLikeWindows(quoteArgument(arg) + L" next");
        ASSERT_EQ(back.size(), 2u) << "argument: [" << std::string(arg.begin(), arg.end()) << "]";
        EXPECT_EQ(back[0], arg);
        EXPECT_EQ(back[1], L"next");
    }
}

TEST(FolderOf, CutsAtTheLastBackslash) {
    EXPECT_EQ(folderOf(L"C:\\Qorvane\\Qorvane Launcher.exe"), L"C:\\Qorvane");
    EXPECT_EQ(folderOf(L"nobackslash"), L"nobackslash");
}

TEST(ModuleFilePath, NamesThisExecutableInAnExistingFolder) {
    std::wstring path = moduleFilePath();
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), L".exe");
    EXPECT_TRUE(pathExists(path));
    uint64_t size = 0;
    EXPECT_FALSE(fileSize(folderOf(path), size)) << "a folder has no file size";
}

}  // namespace
