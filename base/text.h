// Text shared by every folder: UTF-16 in memory, UTF-8 in files, logs and on the wire; the line
// splitter of the program's line-based files; decimal numbers; the system's text for an error code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Invalid sequences become U+FFFD, as the system code-page functions do without strict flags.
std::wstring fromUtf8(std::string_view bytes);
std::string toUtf8(std::wstring_view text);

// Calls fn(line) for every line of bytes: lines end with LF, one CR before it is dropped, and a
// last line without LF counts. fn returns false to stop early.
template <typename Fn>
void forEachLine(std::string_view bytes, Fn&& fn) {
    size_t position = 0;
    while (position < bytes.size()) {
        size_t end = bytes.find('\n', position);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(position, end - position);
        position = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!fn(line)) return;
    }
}

// Leading white space skipped, digits up to the first non-digit, 0 without digits; saturates.
uint64_t parseDecimal(std::string_view text);

// The system's message for an error code without its line break, followed by " (code)".
std::wstring systemErrorText(unsigned long code);
