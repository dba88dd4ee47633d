#include "install/uninstaller.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <algorithm>

#include "base/contained_path.h"
#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/process.h"
#include "install/game_folder.h"
#include "install/install_location.h"
#include "install/installer.h"
#include "protocol/manifest.h"
#include "protocol/temp_journal.h"
#include "protocol/verified_list.h"

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
// The parts of a relative path that are folders: "a", "a/b" for "a/b/c".
void addParentFolders(const std::wstring& relative, std::vector<std::wstring>& folders) {
    for (size_t slash = relative.find_first_of(L"/\\"); slash != std::wstring::npos;
         slash = relative.find_first_of(L"/\\", slash + 1))
        folders.push_back(relative.substr(0, slash));
}

// Deletes a folder's files and plain folders below it, then the folder itself when that left it
// empty. A link found inside is left alone (it stays, and so does the folder).
void removeTreeBelow(const ContainedRoot& root, const std::wstring& relative) {
    if (!isPlainFolder(root, relative)) return;
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW((exactPath(root.folder, relative) + L"\\*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = relative + L"/" + name;
            const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (!folder) {
                deleteFileBelow(root, child);
            } else if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                removeTreeBelow(root, child);
            }
        } while (FindNextFileW(find.get(), &entry));
    }
    find.reset();
    RemoveDirectoryW(exactPath(root.folder, relative).c_str());
}

}  // namespace

std::vector<std::wstring> removeGameFiles(const std::wstring& folder, const std::wstring& exePath) {
    const ContainedRoot root = resolveRoot(folder);
    const std::wstring launcherKey = pathKey(kLauncherFileName);
    const std::wstring running = exePath.substr(exePath.find_last_of(L"\\/") + 1);
    // Downloads an ended run left behind, while the journal that names them is still there.
    removeLeftoverTemps(folder);

    std::vector<std::wstring> files = {kGameLanguageFile, kGameWindowFile, kGameScaleFile};
    std::vector<std::wstring> folders;
    Manifest manifest;
    if (readVerifiedListCopy(folder, manifest)) {
        for (const ManifestEntry& entry : manifest.entries)
            if (pathKey(entry.path) != launcherKey) files.push_back(entry.path);
        folders.insert(folders.end(), manifest.createDirs.begin(), manifest.createDirs.end());
        folders.insert(folders.end(), manifest.cleanDirs.begin(), manifest.cleanDirs.end());
    }
    for (const std::wstring& file : files) {
        // Every file the launcher writes also had a temporary name for a moment.
        for (const wchar_t* suffix : {L"", kDownloadSuffix, kNewFileSuffix})
            deleteFileBelow(root, file + suffix);
        addParentFolders(file, folders);
    }
    for (const wchar_t* leftover : {kOldFileSuffix, kNewFileSuffix, kDownloadSuffix})
        deleteFileBelow(root, std::wstring(kLauncherFileName) + leftover);
    removeTreeBelow(root, kProtectionFolderName);

    // The folders the files lay in, deepest first, when that left them empty.
    for (const std::wstring& f : std::vector<std::wstring>(folders))
        addParentFolders(f, folders);
    std::sort(folders.begin(), folders.end(), [](const std::wstring& a, const std::wstring& b) {
        return pathKey(a).size() > pathKey(b).size();
    });
    for (const std::wstring& f : folders)
        if (isPlainFolder(root, f)) RemoveDirectoryW(exactPath(folder, f).c_str());

    std::vector<std::wstring> stayed;
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW(joinPath(folder, L"*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L".." || pathKey(name) == pathKey(running)) continue;
            stayed.push_back(name);
        } while (FindNextFileW(find.get(), &entry));
    }
    std::sort(stayed.begin(), stayed.end());
    return stayed;
}

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
    const std::wstring resolved = finalPathOf(folder);
    if (resolved.empty() || isVolumeRoot(resolved) || isVolumeRoot(folder)) return false;
    for (const KNOWNFOLDERID* id : kProtectedFolders) {
        std::wstring known = knownFolderPath(*id);
        if (known.empty()) continue;
        std::wstring knownResolved = finalPathOf(known);
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

std::wstring folderRemovalArguments(const std::wstring& systemFolder, const std::wstring& folder,
                                    const std::wstring& exePath) {
    // "/d": no AutoRun command from the registry runs first. "/v:off": with delayed expansion
    // switched on in the registry, "!NAME!" in the folder would be expanded too. "/s" with the
    // whole command in one more pair of quotes: the outer pair is all the command processor strips,
    // however many quoted paths lie inside. The waiting program by its full path, never found
    // through the current folder or PATH. "rmdir" without "/s" removes only an empty folder, and a
    // junction as itself, never what lies behind it.
    return L"/d /v:off /s /c \"\"" + systemFolder + L"\\PING.EXE\" -n 3 127.0.0.1 >nul & del /f /q \"" +
           exePath + L"\" & rmdir \"" + folder + L"\"\"";
}

bool startFolderRemoval(const std::wstring& folder, const std::wstring& exePath, UniqueKernelHandle* held) {
    wchar_t systemFolder[260] = {};
    wchar_t tempFolder[260] = {};
    GetSystemDirectoryW(systemFolder, 260);
    GetTempPathW(260, tempFolder);
    // Started from the temporary folder: a command processor sitting in the game folder would
    // keep it from being removed.
    const std::wstring cmd = std::wstring(systemFolder) + L"\\cmd.exe";
    const std::wstring arguments = folderRemovalArguments(systemFolder, folder, exePath);
    if (!held) return startProcess(cmd, arguments, tempFolder, CREATE_NO_WINDOW) == 0;
    HANDLE thread = nullptr;
    if (startProcessSuspended(cmd, arguments, tempFolder, CREATE_NO_WINDOW, &thread) != 0) return false;
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
