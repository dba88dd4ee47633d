// Which unlisted files the clean-up deletes, over any folder tree: inside the list's "D" folders to
// depth 8 (never through a folder the lister marks unwalkable, neither inside them nor on the way to
// them) unless an "S" pattern keeps them, and top-level files by "E" extension; and the guard no
// rule passes. The launcher walks the disk with
// it, the publisher asks it about single paths, so the two can never disagree.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct Manifest;

// One entry of a folder listing.
struct FolderEntry {
    std::wstring name;
    bool isFolder = false;
    bool walkable = false;  // a folder the walk may enter (no junction or link)
};
// Lists a folder given relative to the game folder ("/" separators, empty for the top); false when
// it does not exist, cannot be read, or is reached through a junction or link.
using FolderLister =
    std::function<bool(const std::wstring& relativeFolder, std::vector<FolderEntry>& entries)>;

// Appends the list-relative paths ("/" separators) of the files to delete, each once.
void findExtraFiles(const FolderLister& list, const Manifest& manifest, std::vector<std::wstring>& result);
// The guard no rule passes: a listed path, anything in "koruma", and the launcher and the game
// client at the top are never deleted. key: pathKey of the relative path.
bool isNeverDeleted(const Manifest& manifest, const std::wstring& key);
// The same rules without a disk: true when a file at relativePath that the list does not name would
// be deleted by the clean-up (inside a "D" folder within the walk's depth and not kept by an "S"
// pattern, or a top-level file with an "E" extension). The publisher uses it to name the files
// that a new list drops but no player's launcher would ever delete.
bool cleanupCovers(const Manifest& manifest, std::wstring_view relativePath);
