// Files of the source tree as the Windows side of a test sees them (the build passes the tree's
// Linux path; Wine maps the Linux root to drive Z:).
#pragma once

#include <string>

// QV_SOURCE_DIR + "/" + relative, as a Windows path ("Z:\work\main\keys\dev-private-key.txt").
std::wstring sourcePath(const std::string& relative);
// "/a/b" -> "Z:\a\b"; a path that already has a drive letter is only given backslashes.
std::wstring windowsPathOf(const std::string& path);
