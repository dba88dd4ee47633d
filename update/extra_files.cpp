#include "update/extra_files.h"

#include <windows.h>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "update/manifest.h"

namespace {

constexpr int kMaxDepth = 8;

bool keptByPattern(const Manifest& manifest, const std::wstring& key) {
    for (const std::wstring& pattern : manifest.keepPatterns)
        if (matchWildcard(pattern, key)) return true;
    return false;
}

// True for a top-level file that the list governs by extension and does not list itself.
bool isExtraTopLevelFile(const Manifest& manifest, const std::wstring& name) {
    std::wstring key = normalizePath(name);
    if (manifest.pathIndex.count(key) || key == normalizePath(kLauncherFileName)) return false;
    size_t dot = key.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    std::wstring tail = key.substr(dot);
    for (const std::wstring& extension : manifest.rootExtensions)
        if (tail == extension) return true;
    return false;
}

}  // namespace

bool isWalkableFolder(const WIN32_FIND_DATAW& entry) {
    // A junction or symbolic link may lead out of the game folder (to the user's documents, or the
    // root of a drive); files reached only through one are not ours to delete.
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void scanFolderForExtras(const std::wstring& rootFolder, const std::wstring& folder, const Manifest& manifest,
                         std::vector<std::wstring>& result, int depth) {
    if (depth > kMaxDepth) return;
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW(joinPath(joinPath(rootFolder, folder), L"*").c_str(), &entry));
    if (!find) return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring relative = folder + L"/" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (isWalkableFolder(entry)) scanFolderForExtras(rootFolder, relative, manifest, result, depth + 1);
            continue;
        }
        std::wstring key = normalizePath(relative);
        if (manifest.pathIndex.count(key) || keptByPattern(manifest, key)) continue;
        result.push_back(std::move(relative));
    } while (FindNextFileW(find.get(), &entry));
}

void findExtraFiles(const std::wstring& rootFolder, const Manifest& manifest, std::vector<std::wstring>& result) {
    for (const std::wstring& folder : manifest.cleanDirs)
        scanFolderForExtras(rootFolder, folder, manifest, result, 0);
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW(joinPath(rootFolder, L"*").c_str(), &entry));
    if (!find) return;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (isExtraTopLevelFile(manifest, entry.cFileName)) result.push_back(entry.cFileName);
    } while (FindNextFileW(find.get(), &entry));
}
