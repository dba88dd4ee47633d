// The names of the files and folders that the launcher, the installer, the uninstaller and the
// publisher all agree on.
#pragma once

// The launcher's own file at the top of the game folder: replaced only by the self-update, never
// scanned as a game file and never deleted as an extra file.
inline constexpr wchar_t kLauncherFileName[] = L"Qorvane Launcher.exe";
// The game client the launcher starts.
inline constexpr wchar_t kGameFileName[] = L"Qorvane.exe";
// Everything the launcher keeps for itself, inside the game folder.
inline constexpr wchar_t kProtectionFolderName[] = L"koruma";
// Below HKEY_CURRENT_USER: the highest list version each game folder has verified, one value per
// folder named by its folderKey, so that the floor survives the loss of koruma.
inline constexpr wchar_t kVersionFloorKey[] = L"Software\\Qorvane\\liste_surumu";
