// The update log koruma\launcher_gunluk.txt: one time-stamped UTF-8 line per event, appended by
// any engine thread; never fails its caller.
#pragma once

#include <string>

struct Updater;

// printf-style; does nothing while u.logEnabled is false. Lines are cut to 1023 bytes with CR LF.
void logLine(Updater& u, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

std::wstring logFilePath(const std::wstring& rootFolder);
