#include "install/game_folder.h"

#include <windows.h>

#include "base/file.h"
#include "base/names.h"

namespace {
constexpr uint64_t kLanguageFileLimit = 67108863;  // anything from 64 MiB on is no language file

std::wstring languageFilePath(const std::wstring& folder) {
    return folder + L"\\pack\\dil.cfg";
}
}  // namespace

std::wstring installRecordPath(const std::wstring& folder) {
    return stateFilePath(folder, L"kurulum.txt");
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
    // The game reads it at every start: after a power cut it holds the old language or the new one.
    replaceFileDurably(languageFilePath(folder), language == UiLanguage::English ? "en" : "tr");
}
