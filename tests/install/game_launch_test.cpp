#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "install/game_launch.h"
#include "tests/support/temp_folder.h"
#include "update/text_encoding.h"

namespace {

// The test game client is built beside the test binaries, in fixtures\Qorvane.exe.
std::wstring testGamePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self = path;
    return self.substr(0, self.find_last_of(L'\\')) + L"\\fixtures\\Qorvane.exe";
}

void installTestGame(const TempFolder& folder) {
    ASSERT_TRUE(CopyFileW(testGamePath().c_str(), folder.file(L"Qorvane.exe").c_str(), FALSE))
        << "test game client missing: " << toUtf8(testGamePath());
}

// Waits for the record the test game writes as it exits, and splits its "name=value" lines.
std::map<std::string, std::wstring> waitForRecord(const TempFolder& folder) {
    const std::wstring path = folder.file(L"oyun_kaydi.txt");
    for (int i = 0; i < 300 && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    std::map<std::string, std::wstring> record;
    std::string text = readFileBytes(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t eq = line.find('=');
        if (eq != std::string::npos) record[line.substr(0, eq)] = fromUtf8(line.substr(eq + 1));
        start = end + 1;
    }
    DeleteFileW(path.c_str());
    return record;
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
    installTestGame(game);
    std::wstring tokens[2];
    for (std::wstring& token : tokens) {
        LaunchResult result = launchGame(nullptr, game.path);
        ASSERT_TRUE(result.started) << result.errorCode;
        EXPECT_EQ(result.errorCode, 0u);
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
    LaunchResult result = launchGame(nullptr, game.path);
    EXPECT_FALSE(result.started);
    EXPECT_EQ(result.errorCode, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(environmentToken(), L"onceki");

    // A folder of that name is not a program: the start itself fails and its error comes back.
    game.write(L"Qorvane.exe\\icerik.txt", "x");
    result = launchGame(nullptr, game.path);
    EXPECT_FALSE(result.started);
    EXPECT_NE(result.errorCode, 0u);
    EXPECT_NE(result.errorCode, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST(StartProcess, EmptyArgumentsAndEmptyFolderGiveTheBareQuotedPathInTheCurrentFolder) {
    TempFolder game;
    installTestGame(game);
    const std::wstring exe = game.file(L"Qorvane.exe");
    ASSERT_TRUE(startProcess(exe, L"", L""));
    auto record = waitForRecord(game);
    EXPECT_EQ(record["komut"], L"\"" + exe + L"\"");
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(CompareStringOrdinal(record["klasor"].c_str(), -1, current, -1, TRUE), CSTR_EQUAL)
        << toUtf8(record["klasor"]) << " vs " << toUtf8(current);

    // Arguments are passed on verbatim after one blank, in the folder given.
    TempFolder elsewhere;
    ASSERT_TRUE(startProcess(exe, L"a \"b c\" --guncellendi", elsewhere.path));
    record = waitForRecord(game);
    EXPECT_EQ(record["komut"], L"\"" + exe + L"\" a \"b c\" --guncellendi");
    EXPECT_EQ(CompareStringOrdinal(record["klasor"].c_str(), -1, elsewhere.path.c_str(), -1, TRUE),
              CSTR_EQUAL);
}

TEST(StartProcess, FailureLeavesTheSystemErrorForTheCaller) {
    TempFolder game;
    SetLastError(0);
    EXPECT_FALSE(startProcess(game.file(L"yok.exe"), L"", L""));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
