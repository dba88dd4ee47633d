// Finding on disk the files that the list does not want in the folders it governs: the clean-up
// rules walked over the game folder, never through reparse points, neither inside the "D" folders
// nor on the way to them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "protocol/cleanup_rules.h"

// Appends the list-relative paths ("/" separators) of the files to delete below rootFolder, each once.
void findExtraFiles(const std::wstring& rootFolder, const Manifest& manifest,
                    std::vector<std::wstring>& result);
// A listed folder entry the walk may enter: a real folder, never a junction or symbolic link.
bool isWalkableFolder(const WIN32_FIND_DATAW& entry);
