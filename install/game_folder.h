// What the launcher reads from and writes into a game folder outside its own "koruma" state: whether
// a game is installed there, and the game client's language file "pack\dil.cfg".
#pragma once

#include <optional>
#include <string>

#include "base/ui_language.h"

// folder\koruma\kurulum.txt: written by the installer, the mark of a folder the launcher installed.
std::wstring installRecordPath(const std::wstring& folder);
// True when folder\koruma\kurulum.txt or folder\Qorvane.exe exists (a folder of that name counts).
bool isGameInstalled(const std::wstring& folder);

// The language named by the first two bytes of folder\pack\dil.cfg ("en"/"EN" or "tr"/"TR");
// nothing for any other content, a missing file or one of 64 MiB or more.
std::optional<UiLanguage> readGameLanguage(const std::wstring& folder);
// Writes exactly "en" or "tr" into folder\pack\dil.cfg, creating the folders; failures are ignored
// (the game then keeps the language it had).
void writeGameLanguage(const std::wstring& folder, UiLanguage language);
