#include "protocol/temp_journal.h"

#include <set>

#include "base/contained_path.h"
#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/text.h"
#include "protocol/manifest.h"

namespace {

constexpr uint64_t kJournalLimit = 67108863;  // as large as the hash cache may be

std::wstring journalPath(const std::wstring& rootFolder) {
    return stateFilePath(rootFolder, kTempJournalFileName);
}

// A journal is only ever written by the launcher, but it is a file in the user's folder: a line
// that is not a temp file the launcher could have made is never acted on.
bool isJournalledTemp(const std::wstring& relative) {
    if (relative.size() <= std::wstring_view(kDownloadSuffix).size() || !isAcceptableFilePath(relative))
        return false;
    std::wstring key = pathKey(relative);
    std::wstring suffix = foldCase(kDownloadSuffix);
    return !isInProtectionFolder(key) && key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::vector<std::wstring> readJournal(const std::wstring& rootFolder) {
    std::vector<std::wstring> lines;
    std::string text;
    if (!readWholeFile(journalPath(rootFolder), text, kJournalLimit)) return lines;
    forEachLine(text, [&](std::string_view line) {
        std::wstring relative = fromUtf8(line);
        if (isJournalledTemp(relative)) lines.push_back(std::move(relative));
        return true;
    });
    return lines;
}

DWORD storeJournal(const std::wstring& rootFolder, const std::vector<std::wstring>& lines) {
    if (lines.empty()) {
        DeleteFileW(journalPath(rootFolder).c_str());
        return 0;
    }
    std::string text;
    for (const std::wstring& relative : lines)
        text += toUtf8(relative) + "\n";
    createFolderTree(stateFolderPath(rootFolder));
    return replaceFileDurably(journalPath(rootFolder), text);
}

// Keeps the journal's temp files that are still there after `settle` had its go at each.
template <typename Settle>
void pruneJournal(const std::wstring& rootFolder, Settle&& settle) {
    std::vector<std::wstring> lines = readJournal(rootFolder);
    std::vector<std::wstring> left;
    for (const std::wstring& relative : lines) {
        std::wstring path = fullPath(rootFolder, relative);
        settle(relative, path);
        if (pathExists(path)) left.push_back(relative);
    }
    if (left.size() != lines.size() || lines.empty()) storeJournal(rootFolder, left);
}

}  // namespace

DWORD writeTempJournal(const std::wstring& rootFolder, const std::vector<std::wstring>& relativeTemps) {
    std::vector<std::wstring> lines = readJournal(rootFolder);
    std::set<std::wstring> known;
    for (const std::wstring& relative : lines)
        known.insert(pathKey(relative));
    // A temp kept from an earlier run is journalled already.
    for (const std::wstring& relative : relativeTemps)
        if (known.insert(pathKey(relative)).second) lines.push_back(relative);
    return storeJournal(rootFolder, lines);
}

void closeTempJournal(const std::wstring& rootFolder) {
    pruneJournal(rootFolder, [](const std::wstring&, const std::wstring&) {});
}

std::vector<std::wstring> removeLeftoverTemps(
    const std::wstring& rootFolder, const std::function<bool(const std::wstring& relativeTemp)>& keep) {
    std::vector<std::wstring> removed;
    const ContainedRoot root = resolveRoot(rootFolder);
    pruneJournal(rootFolder, [&](const std::wstring& relative, const std::wstring&) {
        if (keep && keep(relative)) return;
        // A folder on the way that became a junction since the journal was written leads elsewhere.
        if (deleteFileBelow(root, relative) == 0) removed.push_back(relative);
    });
    return removed;
}
