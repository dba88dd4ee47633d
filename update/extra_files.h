// Finding the files that the list does not want in the folders it governs: "D" folders walked to
// depth 8 (never through reparse points), and top-level files by "E" extension.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct Manifest;

// Appends the list-relative paths ("/" separators) of the files to delete below rootFolder.
void findExtraFiles(const std::wstring& rootFolder, const Manifest& manifest, std::vector<std::wstring>& result);
void scanFolderForExtras(const std::wstring& rootFolder, const std::wstring& folder, const Manifest& manifest,
                         std::vector<std::wstring>& result, int depth);
// A listed folder entry the walk may enter: a real folder, never a junction or symbolic link.
bool isWalkableFolder(const WIN32_FIND_DATAW& entry);
