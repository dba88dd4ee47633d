// The verified list and its signature that a run keeps in koruma (manifest.txt, manifest.sig): read
// back only while the pair still verifies, so that an edited copy speaks for nothing.
#pragma once

#include <string>

struct Manifest;

// False when there is no copy, or it no longer verifies against the program's own key set.
[[nodiscard]] bool readVerifiedListCopy(const std::wstring& rootFolder, Manifest& manifest);
