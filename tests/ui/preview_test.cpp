#include "ui/preview.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/built_program.h"
#include "tests/support/temp_folder.h"
#include "ui/text_table.h"

namespace {

// What the preview road allocates: a run control that never runs, and the window's state.
struct PreviewApp {
    RunControl runs;
    LauncherUi ui{runs};
};

const wchar_t* const kNames[] = {L"kurulum",        L"baglaniyor",    L"tarama",       L"indirme",  L"hazir",
                                 L"hazir_uzerinde", L"hata_baglanti", L"hata_kilitli", L"hazir_en", L"ayar",
                                 L"ayar_en",        L"ayar_kucuk",    L"hazir_disli"};

// The design's pictures at 100 and 150 %, then the high-contrast ones.
std::vector<std::wstring> expectedFiles() {
    std::vector<std::wstring> files;
    for (const wchar_t* look : {L"", L"_kontrast"})
        for (const wchar_t* scale : {L"100", L"150"})
            for (const wchar_t* name : kNames)
                files.push_back(std::wstring(name) + look + L"_" + scale + L".png");
    return files;
}

uint32_t bigEndian(const std::string& bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

// Checks the PNG signature and the image size in its header chunk.
void expectPng(const std::string& bytes, uint32_t width, uint32_t height, const std::wstring& name) {
    ASSERT_GT(bytes.size(), 24u) << std::string(name.begin(), name.end());
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(bytes.substr(12, 4), "IHDR");
    EXPECT_EQ(bigEndian(bytes, 16), width) << std::string(name.begin(), name.end());
    EXPECT_EQ(bigEndian(bytes, 20), height) << std::string(name.begin(), name.end());
}

size_t countFiles(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    size_t count = 0;
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return count;
}

TEST(Preview, RendersFiftyTwoStableFilesAndKeepsTheLanguage) {
    TempFolder t;
    const std::wstring first = t.file(L"bir");  // created by the preview itself
    const std::wstring second = t.file(L"iki");
    uiLanguage = UiLanguage::English;
    {
        PreviewApp app;
        ASSERT_TRUE(renderPreview(app.ui, first));
    }
    EXPECT_EQ(uiLanguage, UiLanguage::English);
    uiLanguage = UiLanguage::Turkish;
    {
        PreviewApp app;
        ASSERT_TRUE(renderPreview(app.ui, second));
    }
    EXPECT_EQ(countFiles(first), 52u);
    std::vector<std::wstring> files = expectedFiles();
    for (size_t i = 0; i < files.size(); ++i) {
        std::string a = readFileBytes(first + L"\\" + files[i]);
        bool large = i % 26 >= 13;
        expectPng(a, large ? 1440 : 960, large ? 840 : 560, files[i]);
        // Fixed particles, a frozen clock and fixed sample data: the same picture every time.
        EXPECT_TRUE(a == readFileBytes(second + L"\\" + files[i]))
            << std::string(files[i].begin(), files[i].end());
    }
    // Each state is a different picture, and so is each state with high contrast.
    for (size_t i = 1; i < 13; ++i)
        EXPECT_FALSE(readFileBytes(first + L"\\" + files[i]) == readFileBytes(first + L"\\" + files[i - 1]))
            << i;
    for (size_t i = 0; i < 26; ++i)
        EXPECT_FALSE(readFileBytes(first + L"\\" + files[i]) == readFileBytes(first + L"\\" + files[i + 26]))
            << i;
}

TEST(Preview, StopsAtTheFirstFileThatCannotBeSaved) {
    TempFolder t;
    // A folder where the first picture should go: the save fails, and nothing after it is tried.
    t.write(L"out/placeholder", "");
    ASSERT_TRUE(CreateDirectoryW(t.file(L"out\\kurulum_100.png").c_str(), nullptr));
    PreviewApp app;
    EXPECT_FALSE(renderPreview(app.ui, t.file(L"out")));
    EXPECT_FALSE(t.exists(L"out/baglaniyor_100.png"));
    EXPECT_EQ(countFiles(t.file(L"out")), 1u);

    PreviewApp other;
    EXPECT_FALSE(renderPreview(other.ui, t.file(L"out/placeholder/alt")));  // beneath a file: no folder
}

std::wstring launcherPath() {
    return builtProgramPath(L"Qorvane Launcher.exe");
}

// Runs the built launcher with the given arguments and returns its exit code (-1 if it did not
// start or end within a minute).
int runLauncher(const std::wstring& arguments) {
    std::wstring command = L"\"" + launcherPath() + L"\" " + arguments;
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

TEST(PreviewRoad, RunsBesideARunningLauncherAndReportsFailureByExitCode) {
    ASSERT_NE(GetFileAttributesW(launcherPath().c_str()), INVALID_FILE_ATTRIBUTES) << "launcher not built";
    TempFolder t;
    // A running launcher holds this mutex; the preview must not wait for it or hand over to it.
    HANDLE running = CreateMutexW(nullptr, TRUE, L"Local\\QorvaneLauncher");
    ASSERT_NE(running, nullptr);
    EXPECT_EQ(runLauncher(L"--ONIZLEME \"" + t.file(L"resimler klasoru") + L"\""), 0);
    CloseHandle(running);
    EXPECT_EQ(countFiles(t.file(L"resimler klasoru")), 52u);
    for (const std::wstring& name : expectedFiles())
        EXPECT_TRUE(t.exists(L"resimler klasoru/" + name));

    t.write(L"dosya", "");
    EXPECT_EQ(runLauncher(L"--onizleme \"" + t.file(L"dosya\\alt") + L"\""), 1);
}

}  // namespace
