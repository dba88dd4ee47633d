#include "update/extra_files.h"

#include "base/contained_path.h"
#include "base/file.h"
#include "base/handles.h"

namespace {

bool listOnDisk(const ContainedRoot& root, const std::wstring& folder, std::vector<FolderEntry>& entries) {
    // Find data shows a link among the entries; this look also catches one that took a listed
    // folder's place after its parent was listed.
    if (!isPlainFolder(root, folder)) return false;
    const std::wstring& rootFolder = root.folder;
    WIN32_FIND_DATAW data;
    UniqueFind find(
        FindFirstFileW(fullPath(rootFolder, folder.empty() ? L"*" : folder + L"/*").c_str(), &data));
    if (!find) return false;
    do {
        bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries.push_back({data.cFileName, isFolder, isWalkableFolder(data)});
    } while (FindNextFileW(find.get(), &data));
    return true;
}

}  // namespace

bool isWalkableFolder(const WIN32_FIND_DATAW& entry) {
    // A junction or symbolic link may lead out of the game folder (to the user's documents, or the
    // root of a drive); files reached only through one are not ours to delete.
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void findExtraFiles(const std::wstring& rootFolder, const Manifest& manifest,
                    std::vector<std::wstring>& result) {
    const ContainedRoot root = resolveRoot(rootFolder);
    findExtraFiles([&](const std::wstring& folder,
                       std::vector<FolderEntry>& entries) { return listOnDisk(root, folder, entries); },
                   manifest, result);
}
