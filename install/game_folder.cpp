#include "install/game_folder.h"

#include <windows.h>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"

namespace {
constexpr uint64_t kLanguageFileLimit = 67108863;  // anything from 64 MiB on is no language file

std::wstring languageFilePath(const std::wstring& folder) {
    return folder + L"\\pack\\dil.cfg";
}
}  // namespace

std::wstring installRecordPath(const std::wstring& folder) {
    return joinPath(folder, kProtectionFolderName) + L"\\kurulum.txt";
}

bool isGameInstalled(const std::wstring& folder) {
    return pathExists(installRecordPath(folder)) || pathExists(joinPath(folder, kGameFileName));
}

std::optional<UiLanguage> readGameLanguage(const std::wstring& folder) {
    std::string bytes;
    if (!readWholeFile(languageFilePath(folder), bytes, kLanguageFileLimit) || bytes.size() < 2) return {};
    const std::string head = bytes.substr(0, 2);
    if (head == "en" || head == "EN") return UiLanguage::English;
    if (head == "tr" || head == "TR") return UiLanguage::Turkish;
    return {};
}

void writeGameLanguage(const std::wstring& folder, UiLanguage language) {
    createFolderTree(folder + L"\\pack");
    UniqueFile file(
        CreateFileW(languageFilePath(folder).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return;
    const char* code = language == UiLanguage::English ? "en" : "tr";
    DWORD written = 0;
    WriteFile(file.get(), code, 2, &written, nullptr);
}
