#include "tools/list_history.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "tools/tool_files.h"

namespace {

// "000042-1733600000.txt": the sequence orders the lists by when they were replaced, whatever
// their versions say (a lower version can be published on purpose).
bool historyName(const std::wstring& name, unsigned long long& sequence) {
    if (name.size() < 12 || name.compare(name.size() - 4, 4, L".txt") != 0 || name[6] != L'-') return false;
    for (size_t i = 0; i < 6; ++i)
        if (name[i] < L'0' || name[i] > L'9') return false;
    sequence = wcstoull(name.c_str(), nullptr, 10);
    return true;
}

struct HistoryEntry {
    unsigned long long sequence;
    std::wstring path;
};

std::vector<HistoryEntry> entries(const std::wstring& serverFolder) {
    std::vector<HistoryEntry> found;
    const std::wstring folder = joinPath(serverFolder, kListHistoryFolderName);
    WIN32_FIND_DATAW data;
    UniqueFind find(FindFirstFileExW(joinPath(folder, L"*").c_str(), FindExInfoBasic, &data,
                                     FindExSearchNameMatch, nullptr, 0));
    if (!find) return found;
    do {
        unsigned long long sequence = 0;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && historyName(data.cFileName, sequence))
            found.push_back({sequence, joinPath(folder, data.cFileName)});
    } while (FindNextFileW(find.get(), &data));
    std::sort(found.begin(), found.end(),
              [](const HistoryEntry& a, const HistoryEntry& b) { return a.sequence > b.sequence; });
    return found;
}

}  // namespace

unsigned long archiveLiveList(const std::wstring& serverFolder, unsigned long long version) {
    std::string list;
    DWORD error = 0;
    if (!readWholeFile(joinPath(serverFolder, kListFileName), list, 67108864, &error))
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
    std::vector<HistoryEntry> kept = entries(serverFolder);
    const std::wstring folder = joinPath(serverFolder, kListHistoryFolderName);
    if (!createFolderTree(folder)) return GetLastError() ? GetLastError() : ERROR_CANNOT_MAKE;
    wchar_t name[64];
    swprintf(name, 64, L"%06llu-%llu.txt", kept.empty() ? 1ULL : kept.front().sequence + 1, version);
    if (DWORD written = writeFileReplacing(joinPath(folder, name), list)) return written;
    for (size_t i = kListHistoryLimit - 1; i < kept.size(); ++i)
        DeleteFileW(kept[i].path.c_str());
    return 0;
}

std::vector<std::wstring> historyLists(const std::wstring& serverFolder) {
    std::vector<std::wstring> paths;
    for (HistoryEntry& entry : entries(serverFolder))
        paths.push_back(std::move(entry.path));
    return paths;
}
