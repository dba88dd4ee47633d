// Command lines as a started program reads them back.
#pragma once

#include <string>
#include <vector>

// What a restarted launcher would see: argument 0 plus argumentText, split by CommandLineToArgvW,
// without argument 0.
std::vector<std::wstring> splitLikeWindows(const std::wstring& argumentText);
