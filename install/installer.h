// Installing the launcher into a folder: the copy of itself, the install record, the language
// file, the shortcuts and the per-user uninstall entry.
#pragma once

#include <cstdint>
#include <string>

bool installGame(const std::wstring& folder, bool desktopShortcut, bool startMenuShortcut, uint64_t requiredBytes,
                 std::wstring& errorText);
void writeGameLanguage(const std::wstring& folder, int language);
std::wstring systemErrorText(unsigned long code);
std::wstring shortcutPath(bool desktop);
bool createShortcut(const std::wstring& linkPath, const std::wstring& targetPath, const std::wstring& workingFolder);
void createFolderTree(const std::wstring& path);
