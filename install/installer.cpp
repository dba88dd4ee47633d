#include "install/installer.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/process.h"
#include "base/security.h"
#include "build_config.h"
#include "install/game_folder.h"
#include "install/install_location.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr DWORD kInstallRecordSize = sizeof kInstallRecord - 1;  // 26 bytes, no terminator
static_assert(sizeof kInstallRecord - 1 == 26);

void setString(HKEY key, const wchar_t* name, const std::wstring& value) {
    DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));  // the terminator counts
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
}
void setDword(HKEY key, const wchar_t* name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

DWORD writeInstallRecord(const std::wstring& folder) {
    return replaceFileDurably(installRecordPath(folder),
                              std::string_view(kInstallRecord, kInstallRecordSize));
}

void registerUninstallEntry(const std::wstring& folder, const std::wstring& copyPath,
                            uint64_t requiredBytes) {
    UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return;
    std::wstring quoted = L"\"" + copyPath + L"\"";
    setString(key.get(), L"DisplayName", L"Qorvane");
    setString(key.get(), L"DisplayIcon", copyPath + L",0");
    setString(key.get(), L"DisplayVersion", QORVANE_VERSION_WTEXT);
    setString(key.get(), L"Publisher", L"Qorvane");
    setString(key.get(), L"URLInfoAbout", L"https://www.qorvane.com");
    setString(key.get(), L"InstallLocation", folder);
    setString(key.get(), L"UninstallString", quoted + L" " + kUninstallOption);
    setString(key.get(), L"QuietUninstallString", quoted + L" " + kUninstallOption + L" " + kSilentOption);
    setDword(key.get(), L"NoModify", 1);
    setDword(key.get(), L"NoRepair", 1);
    // An unknown size (the list not yet verified) must not leave an earlier install's size behind.
    if (requiredBytes != 0) {
        setDword(key.get(), L"EstimatedSize", static_cast<DWORD>(requiredBytes >> 10));
    } else {
        RegDeleteValueW(key.get(), L"EstimatedSize");
    }
}
// A folder that exists is the game's only when a trusted account owns it; one that others may change
// gets the rights of a folder the installer makes, before anything is written into it. A volume
// without rights (FAT, exFAT) has nothing to check or set.
InstallResult secureExistingFolder(const std::wstring& path, const std::wstring& userSid,
                                   const std::wstring& sddl, const FolderRightsOps& ops) {
    if (!pathExists(path)) return {};
    const FolderTrust trust = ops.read(path, userSid);
    if (!trust.rightsKept) return {};
    if (!trust.readable) return {{ERROR_ACCESS_DENIED, path}, {}};
    if (!trust.ownerTrusted) return {{ERROR_INVALID_OWNER, path}, {}, true};
    if (trust.othersMayWrite) {
        if (DWORD error = ops.protect(path, sddl)) return {{error, path}, {}};
    }
    return {};
}

}  // namespace

std::wstring shortcutPath(bool desktop) {
    std::wstring folder = knownFolderPath(desktop ? FOLDERID_Desktop : FOLDERID_Programs);
    if (folder.empty()) return folder;
    return joinPath(folder, kShortcutFileName);
}

bool createShortcut(const std::wstring& linkPath, const std::wstring& targetPath,
                    const std::wstring& workingFolder) {
    if (linkPath.empty()) return false;
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))))
        return false;
    link->SetPath(targetPath.c_str());
    link->SetWorkingDirectory(workingFolder.c_str());
    link->SetIconLocation(targetPath.c_str(), 0);
    link->SetDescription(L"Qorvane");
    ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file))) return false;
    return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}

InstallResult installLauncher(const std::wstring& sourceExe, const std::wstring& chosen,
                              const InstallChoices& choices, const FolderRightsOps& rightsOps) {
    // The uninstaller removes the game folder as a whole: it must never be one that holds the
    // user's other things.
    const std::wstring folder = ownedInstallFolder(chosen);
    if (folder.empty()) return {{ERROR_DIR_NOT_EMPTY, joinPath(chosen, kGameFolderName)}, {}};
    // A folder made here gets rights of its own instead of its parent's: below a drive root every
    // signed-in user may change files, and the player runs what lies in this folder (elevated, when
    // the game asks for it). A folder that exists must belong to a trusted account, and gets the same
    // rights when others may change it. Should the descriptor not be made, the folder is created as
    // before rather than not at all.
    const std::wstring user = currentUserSid();
    const std::wstring rights = privateFolderSddl(user);
    const std::wstring stateFolder = stateFolderPath(folder);
    for (const std::wstring& existing : {folder, stateFolder}) {
        InstallResult refused = secureExistingFolder(existing, user, rights, rightsOps);
        if (refused.error.failed()) return refused;
    }
    UniqueLocal descriptor = securityDescriptorFrom(rights);
    SECURITY_ATTRIBUTES security{sizeof(security), descriptor.get(), FALSE};
    int created = SHCreateDirectoryExW(nullptr, folder.c_str(), descriptor ? &security : nullptr);
    if (created != ERROR_SUCCESS && created != ERROR_FILE_EXISTS && created != ERROR_ALREADY_EXISTS)
        return {{static_cast<DWORD>(created), folder}, {}};

    std::wstring copyPath = joinPath(folder, kLauncherFileName);
    bool runningFromTarget = !sourceExe.empty() && sameName(sourceExe, copyPath);
    if (!runningFromTarget) {
        if (DWORD error = copyFileDurably(sourceExe, copyPath)) return {{error, copyPath}, {}};
    }

    // The quick scan trusts the cache in here: it gets the same rights even inside an existing folder.
    if (!descriptor || createFolderWithRights(stateFolder, rights) != 0) createFolderTree(stateFolder);
    if (DWORD error = writeInstallRecord(folder)) return {{error, stateFolder}, {}};

    // The game keeps a language it already has; a missing or unreadable one follows the launcher.
    if (!readGameLanguage(folder)) writeGameLanguage(folder, choices.language);

    if (choices.desktopShortcut) createShortcut(shortcutPath(true), copyPath, folder);
    if (choices.startMenuShortcut) createShortcut(shortcutPath(false), copyPath, folder);

    registerUninstallEntry(folder, copyPath, choices.requiredBytes);
    return {{}, folder};
}

InstallResult installGame(const std::wstring& folder, const InstallChoices& choices) {
    return installLauncher(moduleFilePath(), folder, choices);
}
