// The update log koruma\launcher_gunluk.txt: one time-stamped UTF-8 line per event, appended by
// any engine thread under the log's own lock; never fails its caller.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

struct UpdateLog {
    UpdateLog() = default;
    UpdateLog(const UpdateLog&) = delete;
    UpdateLog& operator=(const UpdateLog&) = delete;

    std::wstring folder;               // the game folder's "koruma", made again whenever it is missing
    std::wstring path;                 // the log file in it
    std::atomic<bool> enabled{false};  // full runs write the log, check-only runs do not
    std::mutex lock;                   // held only while one line is appended, never with the status lock
};

// Points the log at a game folder; only while no line is being written (before a run starts).
void setLogFolder(UpdateLog& log, const std::wstring& rootFolder);

// printf-style; does nothing while the log is not enabled. Lines are cut to 1023 bytes with CR LF.
void logLine(UpdateLog& log, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

[[nodiscard]] std::wstring logFilePath(const std::wstring& rootFolder);
