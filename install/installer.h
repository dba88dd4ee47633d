// Installing the launcher into a folder: the copy of itself, the install record, the language
// file, the shortcuts and the per-user uninstall entry.
#pragma once

#include <cstdint>
#include <string>

bool installGame(const std::wstring& folder, bool desktopShortcut, bool startMenuShortcut,
                 uint64_t requiredBytes, std::wstring& errorText);
// installGame with the executable to copy named; installGame passes the running one.
bool installLauncher(const std::wstring& sourceExe, const std::wstring& folder, bool desktopShortcut,
                     bool startMenuShortcut, uint64_t requiredBytes, std::wstring& errorText);
void writeGameLanguage(const std::wstring& folder, int language);
std::wstring shortcutPath(bool desktop);
bool createShortcut(const std::wstring& linkPath, const std::wstring& targetPath,
                    const std::wstring& workingFolder);

// HKEY_CURRENT_USER\ this key is the game's entry in the list of installed programs.
inline constexpr const wchar_t* kUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qorvane";
inline constexpr const char kInstallRecord[] = "Qorvane Launcher kurulumu\n";
