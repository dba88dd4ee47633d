#include "install/uninstaller.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <vector>

#include "base/process.h"
#include "install/install_location.h"
#include "install/installer.h"
#include "ui/text_table.h"

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
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    // 519 characters may be read; the zeroed last one terminates a value stored without its null.
    wchar_t location[519 + 1] = {};
    DWORD bytes = 519 * sizeof(wchar_t);
    LSTATUS read = RegQueryValueExW(key, L"InstallLocation", nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(location), &bytes);
    RegCloseKey(key);
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
    if (GetFileAttributesW((folder + L"\\koruma\\kurulum.txt").c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
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

std::wstring folderRemovalCommandLine(const std::wstring& systemFolder, const std::wstring& folder) {
    // "/v:off": with delayed expansion switched on in the registry, "!NAME!" in the folder would
    // be expanded too.
    return L"\"" + systemFolder + L"\\cmd.exe\" /v:off /c ping -n 3 127.0.0.1 >nul & rmdir /s /q \"" +
           folder + L"\"";
}

bool startFolderRemoval(const std::wstring& folder) {
    wchar_t systemFolder[260] = {};
    wchar_t tempFolder[260] = {};
    GetSystemDirectoryW(systemFolder, 260);
    GetTempPathW(260, tempFolder);
    std::wstring application = std::wstring(systemFolder) + L"\\cmd.exe";
    std::wstring commandLine = folderRemovalCommandLine(systemFolder, folder);
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // Started from the temporary folder: a command processor sitting in the game folder would
    // keep it from being removed.
    if (!CreateProcessW(application.c_str(), writable.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, tempFolder, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

int uninstallLauncherAt(const std::wstring& exePath, bool silent, int answer) {
    if (!silent && answer != IDYES) return 1;
    std::wstring folder = parentFolder(exePath);
    removeShortcutTo(shortcutPath(true), exePath);
    removeShortcutTo(shortcutPath(false), exePath);
    removeUninstallEntryOf(folder);
    bool safe = isSafeToRemove(folder);
    if (!silent) MessageBoxW(nullptr, texts()[UninstallDone], texts()[UninstallTitle], MB_ICONINFORMATION);
    if (safe) startFolderRemoval(folder);
    return 0;
}

int uninstallGame(bool silent) {
    std::wstring exePath = moduleFilePath();
    int answer = IDYES;
    if (!silent) {
        std::wstring question = formatText(texts()[UninstallConfirm], parentFolder(exePath).c_str());
        answer = MessageBoxW(nullptr, question.c_str(), texts()[UninstallTitle],
                             MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    }
    return uninstallLauncherAt(exePath, silent, answer);
}
