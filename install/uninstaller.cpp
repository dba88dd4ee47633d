#include "install/uninstaller.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "base/handles.h"
#include "base/process.h"
#include "install/game_folder.h"
#include "install/install_location.h"
#include "install/installer.h"

using Microsoft::WRL::ComPtr;

namespace {
bool equalsNoCase(const std::wstring& a, const std::wstring& b) {
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// child lies strictly inside folder.
bool isInside(const std::wstring& child, const std::wstring& folder) {
    if (child.size() <= folder.size() + 1 || child[folder.size()] != L'\\') return false;
    return equalsNoCase(child.substr(0, folder.size()), folder);
}

void removeShortcutTo(const std::wstring& linkPath, const std::wstring& exePath) {
    if (linkPath.empty()) return;
    std::wstring target = shortcutTarget(linkPath);
    // Only a link to this very launcher goes; a same-named link to another program stays.
    if (!target.empty() && equalsNoCase(target, exePath)) DeleteFileW(linkPath.c_str());
}

void removeUninstallEntryOf(const std::wstring& folder) {
    // 519 characters may be read; the zeroed last one terminates a value stored without its null.
    wchar_t location[519 + 1] = {};
    LSTATUS read = ERROR_FILE_NOT_FOUND;
    {
        UniqueRegKey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
        DWORD bytes = 519 * sizeof(wchar_t);
        read = RegQueryValueExW(key.get(), L"InstallLocation", nullptr, nullptr,
                                reinterpret_cast<BYTE*>(location), &bytes);
    }
    // Another install in another folder (or a moved folder) keeps its own entry.
    if (read == ERROR_SUCCESS && location[0] != L'\0' && equalsNoCase(location, folder))
        RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
}

const KNOWNFOLDERID* const kProtectedFolders[] = {
    &FOLDERID_Desktop, &FOLDERID_Documents,    &FOLDERID_Downloads,
    &FOLDERID_Profile, &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86,
    &FOLDERID_Windows, &FOLDERID_LocalAppData, &FOLDERID_RoamingAppData,
};
}  // namespace

std::wstring shortcutTarget(const std::wstring& linkPath) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))))
        return {};
    ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file)) || FAILED(file->Load(linkPath.c_str(), STGM_READ))) return {};
    wchar_t target[520] = {};
    if (FAILED(link->GetPath(target, 520, nullptr, SLGP_RAWPATH))) return {};
    return target;
}

bool isSafeToRemove(const std::wstring& folder) {
    if (folder.size() < 4) return false;
    if (GetFileAttributesW(installRecordPath(folder).c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    // The command processor expands %NAME% even inside double quotes, so such a folder name could
    // turn the removal into one of another path.
    if (folder.find(L'%') != std::wstring::npos) return false;
    for (const KNOWNFOLDERID* id : kProtectedFolders) {
        std::wstring known = knownFolderPath(*id);
        if (known.empty()) continue;
        // A protected folder is lost as surely when the removed folder merely contains it.
        if (equalsNoCase(known, folder) || isInside(known, folder)) return false;
    }
    return true;
}

std::wstring folderRemovalArguments(const std::wstring& folder) {
    // "/v:off": with delayed expansion switched on in the registry, "!NAME!" in the folder would
    // be expanded too.
    return L"/v:off /c ping -n 3 127.0.0.1 >nul & rmdir /s /q \"" + folder + L"\"";
}

bool startFolderRemoval(const std::wstring& folder) {
    wchar_t systemFolder[260] = {};
    wchar_t tempFolder[260] = {};
    GetSystemDirectoryW(systemFolder, 260);
    GetTempPathW(260, tempFolder);
    // Started from the temporary folder: a command processor sitting in the game folder would
    // keep it from being removed.
    return startProcess(std::wstring(systemFolder) + L"\\cmd.exe", folderRemovalArguments(folder), tempFolder,
                        CREATE_NO_WINDOW) == 0;
}

bool unregisterLauncher(const std::wstring& exePath) {
    std::wstring folder = parentFolder(exePath);
    removeShortcutTo(shortcutPath(true), exePath);
    removeShortcutTo(shortcutPath(false), exePath);
    removeUninstallEntryOf(folder);
    return isSafeToRemove(folder);
}
