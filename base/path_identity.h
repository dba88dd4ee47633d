// The one identity of a path inside the game folder, shared by the launcher and the publisher: its
// canonical spelling, when two spellings name the same file on Windows, and which names Windows
// cannot hold as written.
#pragma once

#include <string>
#include <string_view>

// "/" as the only separator, repeated separators collapsed, "." parts dropped, no separator at
// either end; letter case and every other part kept as written ("..", blanks, dots inside names).
std::wstring cleanRelativePath(std::wstring_view path);
// Letter case folded the way Windows compares file names: ordinal, every UTF-16 unit through the
// system's file-system uppercase table (not a language's rules), surrogates as they are.
std::wstring foldCase(std::wstring_view text);
// Two names, or two whole paths as written, that Windows takes for the same file: equal once their
// letter case is folded (separators and dots are compared as they stand).
bool sameName(std::wstring_view a, std::wstring_view b);
// cleanRelativePath, then foldCase: two relative paths name the same file exactly when their keys
// are equal. Every map, set and comparison of list paths, cache keys and names on disk uses it.
std::wstring pathKey(std::wstring_view path);

// One spelling for a folder of the disk, as a name in the registry: the absolute path without the
// "\\?\" prefix or a trailing separator, its letter case folded like a file name's.
std::wstring folderKey(const std::wstring& folder);

// A device name in any letter case, with or without an extension or blanks before it: CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM1-COM9, LPT1-LPT9 (also with the superscript digits 1-3).
bool isReservedDeviceName(std::wstring_view part);
// Every part of path (split at "/" and "\") is a name Windows stores exactly as written: not empty,
// not "." or "..", not ending in "." or a blank, no control character, none of < > : " | ? *,
// and no device name.
bool isFaithfulRelativePath(std::wstring_view path);
// A part (split at "/" and "\") holds "~" followed by a digit, the shape of a short 8.3 name such
// as QORVAN~1.EXE: on volumes that keep short names it may open another file than its own.
bool hasShortNameShape(std::wstring_view path);
// The key is the launcher's own folder "koruma" at the top, or lies inside it.
bool isInProtectionFolder(std::wstring_view key);
