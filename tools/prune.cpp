#include "tools/prune.h"

#include <windows.h>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/text.h"
#include "protocol/manifest.h"
#include "tools/list_checks.h"
#include "tools/list_history.h"
#include "tools/publisher.h"

namespace {

constexpr uint64_t kListLimit = 67108864;

// A list that cannot be read might name any object: pruning stops instead of guessing.
bool addList(const std::wstring& path, std::set<std::string>& hashes, PruneResult& result) {
    std::string list;
    Manifest parsed;
    if (!readWholeFile(path, list, kListLimit) || !parseManifest(list, parsed)) {
        result.error =
            L"liste okunamadi, hicbir sey silinmedi (cannot read a list; nothing deleted): " + path;
        return false;
    }
    collectListedObjects(list, hashes);
    result.listsKept.push_back(path);
    return true;
}

void forEachEntry(const std::wstring& folder, bool folders, const auto& visit) {
    WIN32_FIND_DATAW data;
    UniqueFind find(FindFirstFileExW(joinPath(folder, L"*").c_str(), FindExInfoBasic, &data,
                                     FindExSearchNameMatch, nullptr, 0));
    if (!find) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folders) continue;
        visit(name, (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    } while (FindNextFileW(find.get(), &data));
}

}  // namespace

void collectListedObjects(std::string_view list, std::set<std::string>& hashes) {
    forEachLine(list, [&](std::string_view line) {
        if (line.empty() || line[0] == '#') return true;
        size_t at = line.find(' ');
        for (int field = 0; field < 2 && at != std::string_view::npos; ++field) {
            size_t start = at + 1;
            at = line.find(' ', start);
            std::string_view value =
                line.substr(start, at == std::string_view::npos ? line.npos : at - start);
            if (!value.empty() && value.back() == '\r') value.remove_suffix(1);
            if (isListHash(value)) hashes.insert(std::string(value));
        }
        return true;
    });
}

PruneResult pruneObjects(const PruneOptions& options) {
    PruneResult result;
    if (options.keepLists < 1) {
        result.error =
            L"--sakla en az 1 olmali: yayindaki liste her zaman korunur (--sakla must be at least 1: "
            L"the live list is always kept)";
        return result;
    }
    UniqueFile lock = lockPublishTarget(options.serverFolder, result.error);
    if (!lock) return result;
    const std::wstring live = joinPath(options.serverFolder, kListFileName);
    if (!pathExists(live)) {
        result.error = L"hedefte yayinlanmis liste yok (the target has no published list): " + live;
        return result;
    }
    std::set<std::string> hashes;
    if (!addList(live, hashes, result)) return result;
    // Objects of a list prepared for signing are in place before anything names them.
    const std::wstring prepared =
        joinPath(joinPath(options.serverFolder, kPreparedFolderName), kListFileName);
    if (pathExists(prepared) && !addList(prepared, hashes, result)) return result;
    std::vector<std::wstring> history = historyLists(options.serverFolder);
    for (size_t i = 0; i < history.size(); ++i) {
        if (static_cast<int>(i) + 1 < options.keepLists) {
            if (!addList(history[i], hashes, result)) return result;
        } else {
            result.listsDropped.push_back(history[i]);
        }
    }
    const std::wstring store = joinPath(options.serverFolder, L"obj");
    forEachEntry(store, true, [&](const std::wstring& prefix, uint64_t) {
        const std::wstring folder = joinPath(store, prefix);
        forEachEntry(folder, false, [&](const std::wstring& name, uint64_t size) {
            const std::string narrow = toUtf8(name);
            const bool staged =
                name.size() > 64 && name.substr(64) == kStagedSuffix && isListHash(narrow.substr(0, 64));
            if (!staged && !isListHash(narrow)) {
                result.notes.push_back(L"nesne olmayan dosya birakildi (not an object, left alone): obj/" +
                                       prefix + L"/" + name);
                return;
            }
            if (!staged && hashes.count(narrow)) {
                ++result.objectsKept;
                return;
            }
            const std::wstring path = joinPath(folder, name);
            if (!options.dryRun && !DeleteFileW(path.c_str())) {
                result.notes.push_back(L"silinemedi (cannot delete) obj/" + prefix + L"/" + name + L": " +
                                       systemErrorText(GetLastError()));
                return;
            }
            result.deleted.push_back(L"obj/" + prefix + L"/" + name);
            result.bytesFreed += size;
        });
        if (!options.dryRun) RemoveDirectoryW(folder.c_str());  // only when it is now empty
    });
    if (!options.dryRun)
        for (const std::wstring& path : result.listsDropped)
            DeleteFileW(path.c_str());
    result.ok = true;
    return result;
}
