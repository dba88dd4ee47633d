// Where a published file lives on the server: below the base path, under a name derived from its
// SHA-256, so that unchanged content keeps its address from one publish to the next.
#pragma once

#include <string>
#include <string_view>

// "obj/" + the first two hex digits + "/" + the whole hash text.
std::wstring objectPath(std::string_view hash);
