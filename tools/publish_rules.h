// The publisher's rules file: the list's own record syntax for the clean-up and install-only rules,
// checked line by line as the launcher will read them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The rules file: the list's own record syntax for "D", "E", "S", "O", "X", "W" (copied into the
// list as they stand) and "I" (a wildcard over path keys; matching files are listed as "I").
struct PublishRules {
    std::vector<std::string> recordLines;           // UTF-8, without line ends, in file order
    std::vector<std::wstring> installOnlyPatterns;  // "I" patterns, as path keys
    std::vector<std::string> installOnlyLines;      // the same "I" rules as written, for the list
};

// False with a message naming the line when a line is not a usable rule.
[[nodiscard]] bool parseRules(std::string_view text, PublishRules& rules, std::wstring& error);
bool isInstallOnly(const PublishRules& rules, std::wstring_view relativePath);
