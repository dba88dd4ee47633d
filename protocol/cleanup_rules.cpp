#include "protocol/cleanup_rules.h"

#include <algorithm>
#include <set>

#include "base/names.h"
#include "base/path_identity.h"
#include "protocol/manifest.h"

namespace {

constexpr int kMaxDepth = 8;

bool keptByPattern(const Manifest& manifest, const std::wstring& key) {
    for (const std::wstring& pattern : manifest.keepPatterns)
        if (matchWildcard(pattern, key)) return true;
    return false;
}

// True for a top-level file that the list governs by extension and does not list itself.
bool isExtraTopLevelFile(const Manifest& manifest, const std::wstring& name) {
    size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    std::wstring tail = foldCase(std::wstring_view(name).substr(dot));
    for (const std::wstring& extension : manifest.rootExtensions)
        if (tail == foldCase(extension)) return true;
    return false;
}

// The walk of one "D" folder. Relative paths are the folder as the list spells it, then the names
// as found on disk; what they are compared by is their key.
struct ExtraWalk {
    const FolderLister& list;
    const Manifest& manifest;
    std::vector<std::wstring>& found;

    // Every part of the "D" folder, from the game folder down, is a real folder: one that is a
    // junction or link, or its parents, would lead the walk (and its deletions) out of the game.
    bool reachesPlainly(const std::wstring& folder) {
        std::wstring parent;
        for (size_t start = 0; start <= folder.size();) {
            size_t slash = std::min(folder.find(L'/', start), folder.size());
            const std::wstring part = folder.substr(start, slash - start);
            std::vector<FolderEntry> entries;
            if (!list(parent, entries)) return false;
            const std::wstring key = pathKey(part);
            auto plain = std::find_if(entries.begin(), entries.end(), [&](const FolderEntry& entry) {
                return entry.isFolder && entry.walkable && pathKey(entry.name) == key;
            });
            if (plain == entries.end()) return false;
            parent = parent.empty() ? part : parent + L"/" + part;
            start = slash + 1;
        }
        return true;
    }

    void scan(const std::wstring& folder, int depth) {
        if (depth > kMaxDepth) return;
        std::vector<FolderEntry> entries;
        if (!list(folder, entries)) return;
        for (const FolderEntry& entry : entries) {
            if (entry.name == L"." || entry.name == L"..") continue;
            std::wstring relative = folder + L"/" + entry.name;
            if (entry.isFolder) {
                if (entry.walkable) scan(relative, depth + 1);
                continue;
            }
            std::wstring key = pathKey(relative);
            if (manifest.pathIndex.count(key) || keptByPattern(manifest, key)) continue;
            found.push_back(std::move(relative));
        }
    }
};

}  // namespace

bool isNeverDeleted(const Manifest& manifest, const std::wstring& key) {
    static const std::wstring launcher = pathKey(kLauncherFileName);
    static const std::wstring game = pathKey(kGameFileName);
    return manifest.pathIndex.count(key) || isInProtectionFolder(key) || key == launcher || key == game;
}

void findExtraFiles(const FolderLister& list, const Manifest& manifest, std::vector<std::wstring>& result) {
    std::vector<std::wstring> found;
    ExtraWalk walk{list, manifest, found};
    for (const std::wstring& folder : manifest.cleanDirs)
        if (walk.reachesPlainly(folder)) walk.scan(folder, 0);
    std::vector<FolderEntry> top;
    if (list(std::wstring(), top)) {
        for (const FolderEntry& entry : top)
            if (!entry.isFolder && isExtraTopLevelFile(manifest, entry.name)) found.push_back(entry.name);
    }
    // Nested "D" folders reach the same file twice; and whatever the rules say, the guard has the
    // last word.
    std::set<std::wstring> seen;
    for (std::wstring& path : found) {
        std::wstring key = pathKey(path);
        if (isNeverDeleted(manifest, key) || !seen.insert(key).second) continue;
        result.push_back(std::move(path));
    }
}

bool cleanupCovers(const Manifest& manifest, std::wstring_view relativePath) {
    // The clean-up's own walk, over a tree that holds this one file and nothing else: the publisher's
    // answer can never drift from what the launcher would really delete.
    const std::wstring path = cleanRelativePath(relativePath);
    std::vector<std::wstring> names, parts;  // the path's parts as written, and their keys
    for (size_t start = 0; start <= path.size();) {
        size_t slash = std::min(path.find(L'/', start), path.size());
        names.push_back(path.substr(start, slash - start));
        parts.push_back(pathKey(names.back()));
        start = slash + 1;
    }
    FolderLister single = [&](const std::wstring& folder, std::vector<FolderEntry>& entries) {
        const std::wstring folderKey = pathKey(folder);
        size_t depth = 0;
        for (size_t start = 0; !folderKey.empty() && start <= folderKey.size(); ++depth) {
            size_t slash = std::min(folderKey.find(L'/', start), folderKey.size());
            if (depth + 1 >= parts.size() || folderKey.compare(start, slash - start, parts[depth]) != 0)
                return false;
            start = slash + 1;
        }
        entries.push_back({names[depth], depth + 1 < parts.size(), true});
        return true;
    };
    std::vector<std::wstring> found;
    findExtraFiles(single, manifest, found);
    return !found.empty();
}
