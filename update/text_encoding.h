// Conversions between the UTF-16 used in memory and the UTF-8 used in files, logs and on the wire.
#pragma once

#include <string>
#include <string_view>

// Invalid sequences become U+FFFD, as the system code-page functions do without strict flags.
std::wstring fromUtf8(std::string_view bytes);
std::string toUtf8(std::wstring_view text);
