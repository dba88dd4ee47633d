#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "base/process.h"
#include "base/text.h"
#include "install/game_launch.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_game.h"

namespace {

void putTestGameInto(const TempFolder& folder) {
    ASSERT_TRUE(installTestGame(folder.path)) << "test game client missing: " << toUtf8(testGamePath());
}

std::map<std::string, std::wstring> waitForRecord(const TempFolder& folder) {
    return waitForGameRecord(folder.path);
}

std::wstring environmentToken() {
    wchar_t buffer[256] = {};
    DWORD length = GetEnvironmentVariableW(L"QORVANE_BELGE", buffer, 256);
    return length < 256 ? std::wstring(buffer, length) : std::wstring();
}

bool isLowerHex(const std::wstring& text) {
    return text.find_first_not_of(L"0123456789abcdef") == std::wstring::npos;
}

TEST(GameLaunch, EachStartHandsOverAFreshTokenOnTheCommandLineAndInTheEnvironment) {
    TempFolder game;
    putTestGameInto(game);
    std::wstring tokens[2];
    for (std::wstring& token : tokens) {
        SystemError result = launchGame(nullptr, game.path);
        ASSERT_FALSE(result.failed()) << result.code;
        EXPECT_EQ(result.code, 0u);
        token = environmentToken();
        ASSERT_EQ(token.size(), 16u);
        EXPECT_TRUE(isLowerHex(token)) << toUtf8(token);

        auto record = waitForRecord(game);
        ASSERT_TRUE(record.count("komut")) << "the game did not run";
        // Exactly two arguments after the quoted path, one blank apart, nothing trailing.
        EXPECT_EQ(record["komut"], L"\"" + game.path + L"\\Qorvane.exe\" --qorvane-belge " + token);
        EXPECT_EQ(record["belge"], token);
        EXPECT_EQ(CompareStringOrdinal(record["klasor"].c_str(), -1, game.path.c_str(), -1, TRUE), CSTR_EQUAL)
            << toUtf8(record["klasor"]);
    }
    EXPECT_NE(tokens[0], tokens[1]);
}

TEST(GameLaunch, MissingGameExecutableReportsNotFoundAndLeavesTheTokenAlone) {
    TempFolder game;
    SetEnvironmentVariableW(L"QORVANE_BELGE", L"onceki");
    SystemError result = launchGame(nullptr, game.path);
    EXPECT_TRUE(result.failed());
    EXPECT_EQ(result.code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(environmentToken(), L"onceki");

    // A folder of that name is not a program: the start itself fails and its error comes back.
    game.write(L"Qorvane.exe\\icerik.txt", "x");
    result = launchGame(nullptr, game.path);
    EXPECT_TRUE(result.failed());
    EXPECT_NE(result.code, 0u);
    EXPECT_NE(result.code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

long failingRandom(unsigned char* bytes, unsigned long count) {
    for (unsigned long i = 0; i < count; ++i) bytes[i] = 0x5a;  // garbage a careless caller would use
    return static_cast<long>(0xC0000001L);                      // STATUS_UNSUCCESSFUL
}

long countingRandom(unsigned char* bytes, unsigned long count) {
    for (unsigned long i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(0xa0 + i);
    return 0;
}

TEST(GameLaunch, TokenComesFromTheRandomSourceAndAFailingSourceStartsNothing) {
    TempFolder game;
    putTestGameInto(game);
    SetEnvironmentVariableW(L"QORVANE_BELGE", L"onceki");
    SystemError result = launchGame(nullptr, game.path, failingRandom);
    EXPECT_TRUE(result.failed());
    EXPECT_EQ(result.code, static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(environmentToken(), L"onceki");

    // The bytes in order, high nibble first; the game sees exactly that token.
    result = launchGame(nullptr, game.path, countingRandom);
    ASSERT_FALSE(result.failed()) << result.code;
    EXPECT_EQ(environmentToken(), L"a0a1a2a3a4a5a6a7");
    auto record = waitForRecord(game);
    EXPECT_EQ(record["belge"], L"a0a1a2a3a4a5a6a7");
}

TEST(StartProcess, EmptyArgumentsAndEmptyFolderGiveTheBareQuotedPathInTheCurrentFolder) {
    TempFolder game;
    putTestGameInto(game);
    const std::wstring exe = game.file(L"Qorvane.exe");
    ASSERT_EQ(startProcess(exe, L"", L""), 0u);
    auto record = waitForRecord(game);
    EXPECT_EQ(record["komut"], L"\"" + exe + L"\"");
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(CompareStringOrdinal(record["klasor"].c_str(), -1, current, -1, TRUE), CSTR_EQUAL)
        << toUtf8(record["klasor"]) << " vs " << toUtf8(current);

    // Arguments are passed on verbatim after one blank, in the folder given.
    TempFolder elsewhere;
    ASSERT_EQ(startProcess(exe, L"a \"b c\" --guncellendi", elsewhere.path), 0u);
    record = waitForRecord(game);
    EXPECT_EQ(record["komut"], L"\"" + exe + L"\" a \"b c\" --guncellendi");
    EXPECT_EQ(CompareStringOrdinal(record["klasor"].c_str(), -1, elsewhere.path.c_str(), -1, TRUE),
              CSTR_EQUAL);
}

TEST(StartProcess, FailureReturnsTheSystemError) {
    TempFolder game;
    EXPECT_EQ(startProcess(game.file(L"yok.exe"), L"", L""), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
