#include "install/game_folder.h"

#include <windows.h>

#include <algorithm>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "protocol/manifest.h"
#include "protocol/verified_list.h"

namespace {
constexpr uint64_t kLanguageFileLimit = 67108863;  // anything from 64 MiB on is no language file

std::wstring languageFilePath(const std::wstring& folder) {
    return joinPath(folder, kGameLanguageFile);
}
}  // namespace

std::wstring installRecordPath(const std::wstring& folder) {
    return stateFilePath(folder, kInstallRecordFileName);
}

bool isGameInstalled(const std::wstring& folder) {
    return pathExists(installRecordPath(folder)) || pathExists(joinPath(folder, kGameFileName));
}

namespace {

bool holdsOnlyLanguageFile(const std::wstring& pack) {
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW(joinPath(pack, L"*").c_str(), &entry));
    if (!find) return false;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring key = pathKey(name);
        if (key != L"DIL.CFG" && key != L"DIL.CFG.YENI") return false;
    } while (FindNextFileW(find.get(), &entry));
    return true;
}

}  // namespace

std::vector<std::wstring> listedTopLevelNames(const std::wstring& folder) {
    Manifest manifest;
    std::vector<std::wstring> names;
    // Only a list that still verifies speaks for the folder: an edited copy could claim anything.
    if (!readVerifiedListCopy(folder, manifest)) return names;
    for (const auto& [key, index] : manifest.pathIndex)
        names.push_back(key.substr(0, key.find(L'/')));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

FolderContent judgeFolderContent(const std::wstring& folder) {
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FolderContent::Missing
                                                                              : FolderContent::Other;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return FolderContent::Other;
    const std::wstring launcher = pathKey(kLauncherFileName);
    const std::wstring protection = pathKey(kProtectionFolderName);
    const std::vector<std::wstring> listed = listedTopLevelNames(folder);
    // The files the launcher itself writes for the game: its language file (in "pack", alone there
    // unless the list names more) and the display settings, with their temporary names.
    auto isSettingsFile = [](const std::wstring& key) {
        for (const wchar_t* name : {kGameWindowFile, kGameScaleFile}) {
            const std::wstring own = pathKey(name);
            if (key == own || key == own + foldCase(kNewFileSuffix)) return true;
        }
        return false;
    };
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW(joinPath(folder, L"*").c_str(), &entry));
    if (!find) return FolderContent::Other;
    bool empty = true;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        empty = false;
        const std::wstring key = pathKey(name);
        if (key == launcher || key == launcher + foldCase(kOldFileSuffix) ||
            key == launcher + foldCase(kNewFileSuffix) || key == launcher + foldCase(kDownloadSuffix))
            continue;
        if (key == protection && pathExists(installRecordPath(folder))) continue;
        if (std::binary_search(listed.begin(), listed.end(), key) || isSettingsFile(key)) continue;
        if (key == L"PACK" && holdsOnlyLanguageFile(joinPath(folder, name))) continue;
        return FolderContent::Other;
    } while (FindNextFileW(find.get(), &entry));
    return empty ? FolderContent::Empty : FolderContent::OnlyGame;
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
