#include "update/update_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"

std::wstring logFilePath(const std::wstring& rootFolder) {
    return stateFilePath(rootFolder, kLogFileName);
}

void setLogFolder(UpdateLog& log, const std::wstring& rootFolder) {
    log.folder = stateFolderPath(rootFolder);
    log.path = logFilePath(rootFolder);
}

void logLine(UpdateLog& log, const char* format, ...) {
    if (!log.enabled.load()) return;
    char line[1024];
    SYSTEMTIME t;
    GetLocalTime(&t);
    int stamp = std::snprintf(line, sizeof line, "%04d-%02d-%02d %02d:%02d:%02d ", t.wYear, t.wMonth, t.wDay,
                              t.wHour, t.wMinute, t.wSecond);
    if (stamp < 0 || stamp >= static_cast<int>(sizeof line) - 3) return;
    // Leave two bytes for CR LF; the formatter's own terminator takes the last one.
    size_t room = sizeof line - static_cast<size_t>(stamp) - 2;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line + stamp, room, format, args);
    va_end(args);
    size_t messageLength = 0;
    if (n > 0) messageLength = static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room - 1;
    size_t length = static_cast<size_t>(stamp) + messageLength;
    line[length++] = '\r';
    line[length++] = '\n';

    std::lock_guard<std::mutex> lock(log.lock);
    auto open = [&] {
        return UniqueFile(CreateFileW(log.path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    // The folder is made again whenever it is missing, but only then: a run writes a line per file.
    UniqueFile file = open();
    if (!file && GetLastError() == ERROR_PATH_NOT_FOUND) {
        createFolderTree(log.folder);
        file = open();
    }
    DWORD written = 0;
    if (file) WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr);
}
