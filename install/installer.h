// Installing the launcher into a folder: the copy of itself, the install record, the language
// file, the shortcuts and the per-user uninstall entry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/security.h"
#include "base/system_error.h"
#include "base/ui_language.h"

// What the install screen's form decided.
struct InstallChoices {
    bool desktopShortcut = true;
    bool startMenuShortcut = true;
    uint64_t requiredBytes = 0;                 // the verified list's size; 0 while unknown
    UiLanguage language = UiLanguage::Turkish;  // written for the game unless it already has one
};

// No error: installed into `folder`. Otherwise the system error of the step that failed, with the
// path it failed on (the folder, the launcher's copy, or the "koruma" folder); the steps before it
// stay done. A folder that holds other things than a game gets the game in folder\Qorvane instead,
// and one where that is taken too is refused (ERROR_DIR_NOT_EMPTY). An existing folder or "koruma"
// owned by another account is refused before anything is written (foreignOwner, ERROR_INVALID_OWNER).
struct InstallResult {
    SystemError error;          // what: the path the failed step was about
    std::wstring folder;        // where the game went
    bool foreignOwner = false;  // error.what belongs to an account other than the trusted ones
};

// How the installer reads and sets the rights of folders that exist already; tests put in others,
// since Wine keeps no owner but the current user.
struct FolderRightsOps {
    FolderTrust (*read)(const std::wstring& path, const std::wstring& userSid) = readFolderTrust;
    DWORD (*protect)(const std::wstring& path, const std::wstring& sddl) = protectFolder;
};

[[nodiscard]] InstallResult installGame(const std::wstring& folder, const InstallChoices& choices);
// installGame with the executable to copy named; installGame passes the running one.
[[nodiscard]] InstallResult installLauncher(const std::wstring& sourceExe, const std::wstring& folder,
                                            const InstallChoices& choices,
                                            const FolderRightsOps& rights = FolderRightsOps{});
std::wstring shortcutPath(bool desktop);
bool createShortcut(const std::wstring& linkPath, const std::wstring& targetPath,
                    const std::wstring& workingFolder);

// HKEY_CURRENT_USER\ this key is the game's entry in the list of installed programs.
inline constexpr const wchar_t* kUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qorvane";
inline constexpr const char kInstallRecord[] = "Qorvane Launcher kurulumu\n";
