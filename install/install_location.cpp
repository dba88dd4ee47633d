#include "install/install_location.h"

#include <shobjidl.h>
#include <wrl/client.h>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "install/game_folder.h"

using Microsoft::WRL::ComPtr;

namespace {
bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}
}  // namespace

std::wstring defaultInstallFolder() {
    wchar_t value[260];
    DWORD length = GetEnvironmentVariableW(L"QORVANE_KUR_KLASOR", value, 260);
    // A value that does not fit makes the call return the size it needs (260 or more): ignored.
    if (length >= 1 && length <= 259) return std::wstring(value, length);
    wchar_t drive[16];
    length = GetEnvironmentVariableW(L"SystemDrive", drive, 16);
    std::wstring root = (length == 0 || length > 15) ? std::wstring(L"C:") : std::wstring(drive, length);
    return joinPath(root, kGameFolderName);
}

std::wstring parentFolder(const std::wstring& path) {
    size_t separator = path.find_last_of(L"\\/");
    if (path.empty() || separator == std::wstring::npos) return std::wstring();
    if (separator == 2 && path[1] == L':') return path.substr(0, 3);
    return path.substr(0, separator);
}

std::wstring nearestExistingPath(const std::wstring& path) {
    std::wstring current = path;
    while (!current.empty() && !pathExists(current)) {
        std::wstring parent = parentFolder(current);
        // The root of a drive that does not exist is its own parent: stop instead of looping.
        if (parent == current) return std::wstring();
        current = parent;
    }
    return current;
}

uint64_t freeSpaceAt(const std::wstring& path) {
    std::wstring found = nearestExistingPath(path);
    if (found.empty()) return 0;
    if (found.back() != L'\\') found += L'\\';
    ULARGE_INTEGER freeForUser{};
    if (!GetDiskFreeSpaceExW(found.c_str(), &freeForUser, nullptr, nullptr)) return 0;
    return freeForUser.QuadPart;
}

std::wstring knownFolderPath(REFKNOWNFOLDERID folderId) {
    PWSTR buffer = nullptr;
    HRESULT hr = SHGetKnownFolderPath(folderId, 0, nullptr, &buffer);
    std::wstring path;
    if (SUCCEEDED(hr) && buffer) path = buffer;
    CoTaskMemFree(buffer);
    return path;
}

std::wstring installFolderForChoice(const std::wstring& chosen) {
    std::wstring path = chosen;
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    size_t separator = path.rfind(L'\\');
    std::wstring last = separator == std::wstring::npos ? path : path.substr(separator + 1);
    // A folder holding an install and nothing else stays; anything else gets a folder of the game's own.
    const bool installed =
        judgeFolderContent(path) == FolderContent::OnlyGame && pathExists(installRecordPath(path));
    if (sameName(last, kGameFolderName) || installed) return path;
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path + kGameFolderName;
}

bool isOwnableGameFolder(const std::wstring& folder) {
    // The launcher may be started from the folder it installs into: its own name counts as the game's.
    return judgeFolderContent(folder) != FolderContent::Other;
}

std::wstring ownedInstallFolder(const std::wstring& folder) {
    if (isOwnableGameFolder(folder)) return folder;
    // As the folder picker does: D:\Games holds other things, D:\Games\Qorvane is the game's.
    std::wstring below = joinPath(folder, kGameFolderName);
    return isOwnableGameFolder(below) ? below : std::wstring();
}

bool pickInstallFolder(HWND ownerWindow, std::wstring& folder) {
    ComPtr<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))))
        return false;
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);

    std::wstring start = nearestExistingPath(folder);
    ComPtr<IShellItem> startItem;
    if (!start.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(start.c_str(), nullptr, IID_PPV_ARGS(&startItem))))
        dialog->SetFolder(startItem.Get());

    if (FAILED(dialog->Show(ownerWindow))) return false;
    ComPtr<IShellItem> result;
    if (FAILED(dialog->GetResult(&result))) return false;
    PWSTR chosen = nullptr;
    if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &chosen)) || !chosen) {
        CoTaskMemFree(chosen);
        return false;
    }
    std::wstring path = chosen;
    CoTaskMemFree(chosen);
    folder = installFolderForChoice(path);
    return true;
}

std::wstring trimInstallFolder(const std::wstring& folder) {
    std::wstring copy = folder;
    while (copy.size() > 3 && isSeparator(copy.back()))
        copy.pop_back();
    return copy;
}

bool isAcceptableInstallFolder(const std::wstring& trimmed) {
    bool drivePath = trimmed.size() > 3 && trimmed[1] == L':' && isSeparator(trimmed[2]);
    bool networkPath = trimmed.size() >= 2 && trimmed[0] == L'\\' && trimmed[1] == L'\\';
    return drivePath || networkPath;
}
