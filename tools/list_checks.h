// What the publisher and the tree check refuse in a list: every record the launcher would ignore,
// and every one it would read otherwise than written (loose rule spellings that older launchers
// mishandle, names Windows cannot hold, hashes that can never match).
#pragma once

#include <string>
#include <string_view>

// The problem with a "D", "S", "O" rule or an "I" pattern of the rules file, in the operator's two
// languages; empty when the value is written the way the launcher reads it.
std::wstring ruleValueProblem(char kind, const std::wstring& value);
// The problem with a file's relative path ("/" or "\" separators); empty when the launcher accepts it.
std::wstring filePathProblem(const std::wstring& path);
// The problem with one record line of a list ("K", "I", "D", "S", "O"; other lines have none).
std::wstring listRecordProblem(std::string_view line);
// 64 lowercase hexadecimal digits: the only form the launcher's digests can equal.
bool isListHash(std::string_view hash);
