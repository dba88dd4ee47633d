// A folder that is a link to another one, made however the system allows: a junction, a directory
// symbolic link, or under Wine (which makes neither) a Unix symbolic link, which Wine shows as a
// folder with the reparse-point attribute and resolves like a junction.
#pragma once

#include <string>

// True when `link` now leads to `target` and carries the reparse-point attribute.
bool makeFolderLink(const std::wstring& link, const std::wstring& target);
