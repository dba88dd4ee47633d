// What the launcher reads from and writes into a game folder outside its own "koruma" state: whether
// a game is installed there, and the game client's language file "pack\dil.cfg".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/ui_language.h"

// folder\koruma\kurulum.txt: written by the installer, the mark of a folder the launcher installed.
std::wstring installRecordPath(const std::wstring& folder);
// True when folder\koruma\kurulum.txt or folder\Qorvane.exe exists (a folder of that name counts):
// the start-up's test, which decides between the install screen and the update.
bool isGameInstalled(const std::wstring& folder);

// What a folder holds, judged by the launcher's own names only: the launcher (with its ".eski",
// ".yeni" and ".indir" files), "koruma" when it holds an install record, the top-level names of the
// last verified list kept in koruma, and what the launcher writes for the game (sorvik.cfg, zoom.cfg,
// pack\dil.cfg). A loose Qorvane.exe beside other games is not the game's.
enum class FolderContent {
    Missing,  // nothing at that path
    Empty,
    OnlyGame,  // nothing but the launcher's own names
    Other,     // anything else, a file in the folder's place, or a folder that cannot be read
};
FolderContent judgeFolderContent(const std::wstring& folder);
// The top-level names (path keys) of the files that the verified list copy in folder\koruma names;
// empty when there is none or it no longer verifies.
std::vector<std::wstring> listedTopLevelNames(const std::wstring& folder);

// The language named by the first two bytes of folder\pack\dil.cfg ("en"/"EN" or "tr"/"TR");
// nothing for any other content, a missing file or one of 64 MiB or more.
std::optional<UiLanguage> readGameLanguage(const std::wstring& folder);
// Writes exactly "en" or "tr" into folder\pack\dil.cfg, creating the folders; failures are ignored
// (the game then keeps the language it had).
void writeGameLanguage(const std::wstring& folder, UiLanguage language);
