#include "install/uninstaller.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "base/handles.h"
#include "base/path_identity.h"
#include "base/process.h"
#include "install/game_folder.h"
#include "install/install_location.h"
#include "install/installer.h"

using Microsoft::WRL::ComPtr;

namespace {
// child lies strictly inside folder.
bool isInside(const std::wstring& child, const std::wstring& folder) {
    if (child.size() <= folder.size() + 1 || child[folder.size()] != L'\\') return false;
    return sameName(child.substr(0, folder.size()), folder);
}

void removeShortcutTo(const std::wstring& linkPath, const std::wstring& exePath) {
    if (linkPath.empty()) return;
    std::wstring target = shortcutTarget(linkPath);
    // Only a link to this very launcher goes; a same-named link to another program stays.
    if (!target.empty() && sameName(target, exePath)) DeleteFileW(linkPath.c_str());
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
    if (read == ERROR_SUCCESS && location[0] != L'\0' && sameName(location, folder))
        RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
}

// The folders of the profile and of the system that an uninstall must never take with it, nor any
// folder that holds one of them.
const KNOWNFOLDERID* const kProtectedFolders[] = {
    &FOLDERID_Desktop,
    &FOLDERID_Documents,
    &FOLDERID_Downloads,
    &FOLDERID_Profile,
    &FOLDERID_ProgramFiles,
    &FOLDERID_ProgramFilesX86,
    &FOLDERID_Windows,
    &FOLDERID_LocalAppData,
    &FOLDERID_RoamingAppData,
    &FOLDERID_Pictures,
    &FOLDERID_Music,
    &FOLDERID_Videos,
    &FOLDERID_Public,
    &FOLDERID_SkyDrive /* OneDrive */,
    &FOLDERID_Favorites,
    &FOLDERID_SavedGames,
    &FOLDERID_Links,
    &FOLDERID_Contacts,
    &FOLDERID_LocalAppDataLow,
    &FOLDERID_ProgramData,
    &FOLDERID_UserProfiles,
    &FOLDERID_System,
    &FOLDERID_ProgramFilesCommon,
};

// The path the file system resolves folder to: 8.3 names spelled out, junctions and symbolic links
// followed, the "\\?\" prefix taken off. Empty when the folder cannot be opened.
std::wstring finalPath(const std::wstring& folder) {
    UniqueFile handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return {};
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetFinalPathNameByHandleW(handle.get(), path.data(), static_cast<DWORD>(path.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(length);
    }
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        path = L"\\" + path.substr(7);
    else if (path.rfind(L"\\\\?\\", 0) == 0)
        path = path.substr(4);
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

// A drive's root, or the root of a volume mounted into a folder.
bool isVolumeRoot(const std::wstring& folder) {
    std::wstring volume(folder.size() + 2, L'\0');
    if (!GetVolumePathNameW(folder.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) return false;
    volume.resize(wcslen(volume.c_str()));
    while (!volume.empty() && volume.back() == L'\\')
        volume.pop_back();
    std::wstring bare = folder;
    while (!bare.empty() && bare.back() == L'\\')
        bare.pop_back();
    return sameName(volume, bare);
}
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
    // Compared as the file system sees them: "C:\USERS~1\..." or a junction to the profile must
    // not pass for another folder.
    const std::wstring resolved = finalPath(folder);
    if (resolved.empty() || isVolumeRoot(resolved) || isVolumeRoot(folder)) return false;
    for (const KNOWNFOLDERID* id : kProtectedFolders) {
        std::wstring known = knownFolderPath(*id);
        if (known.empty()) continue;
        std::wstring knownResolved = finalPath(known);
        for (const std::wstring* candidate : {&known, &knownResolved}) {
            if (candidate->empty()) continue;
            // A protected folder is lost as surely when the removed folder merely contains it.
            for (const std::wstring* removed : {&folder, &resolved}) {
                if (sameName(*candidate, *removed) || isInside(*candidate, *removed)) return false;
            }
        }
    }
    return true;
}

std::wstring folderRemovalArguments(const std::wstring& systemFolder, const std::wstring& folder) {
    // "/d": no AutoRun command from the registry runs first. "/v:off": with delayed expansion
    // switched on in the registry, "!NAME!" in the folder would be expanded too. "/s" with the
    // whole command in one more pair of quotes: the outer pair is all the command processor strips,
    // however many quoted paths lie inside. The waiting program by its full path, never found
    // through the current folder or PATH.
    return L"/d /v:off /s /c \"\"" + systemFolder + L"\\PING.EXE\" -n 3 127.0.0.1 >nul & rmdir /s /q \"" +
           folder + L"\"\"";
}

bool startFolderRemoval(const std::wstring& folder, UniqueKernelHandle* held) {
    wchar_t systemFolder[260] = {};
    wchar_t tempFolder[260] = {};
    GetSystemDirectoryW(systemFolder, 260);
    GetTempPathW(260, tempFolder);
    // Started from the temporary folder: a command processor sitting in the game folder would
    // keep it from being removed.
    const std::wstring cmd = std::wstring(systemFolder) + L"\\cmd.exe";
    if (!held)
        return startProcess(cmd, folderRemovalArguments(systemFolder, folder), tempFolder,
                            CREATE_NO_WINDOW) == 0;
    HANDLE thread = nullptr;
    if (startProcessSuspended(cmd, folderRemovalArguments(systemFolder, folder), tempFolder, CREATE_NO_WINDOW,
                              &thread) != 0)
        return false;
    held->reset(thread);
    return true;
}

void releaseFolderRemoval(UniqueKernelHandle& held) {
    if (held) ResumeThread(held.get());
    held.reset();
}

bool unregisterLauncher(const std::wstring& exePath) {
    std::wstring folder = parentFolder(exePath);
    removeShortcutTo(shortcutPath(true), exePath);
    removeShortcutTo(shortcutPath(false), exePath);
    removeUninstallEntryOf(folder);
    return isSafeToRemove(folder);
}
