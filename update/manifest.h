// The signed file list: its text format, the in-memory Manifest, path normalisation and the
// wildcard rule used by the clean-up patterns.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct ManifestEntry {
    char kind = 'K';   // 'K' verified by size and hash, 'I' only required to exist
    std::string hash;  // 64 lowercase hexadecimal characters
    uint64_t size = 0;
    std::wstring path;  // as written in the list, relative to the game folder
};

struct Manifest {
    uint64_t version = 0;
    std::vector<ManifestEntry> entries;
    std::vector<std::wstring> xValues;
    std::vector<std::wstring> wValues;
    std::vector<std::wstring> cleanDirs;       // "D", normalised
    std::vector<std::wstring> rootExtensions;  // "E", lower-cased
    std::vector<std::wstring> keepPatterns;    // "S", normalised
    std::vector<std::wstring> createDirs;      // "O", as given
    std::map<std::wstring, size_t> pathIndex;  // normalised path -> index of the last entry
};

// True when a header line was seen and at least one file record was accepted.
bool parseManifest(std::string_view bytes, Manifest& manifest);
// Backslash to slash, A-Z lowered; every other character unchanged.
std::wstring normalizePath(std::wstring_view path);
bool matchWildcard(std::wstring_view pattern, std::wstring_view text);
// The path rule for "K", "I", "D", "S", "O" values: no "..", no ":", no leading separator.
bool isAcceptablePath(std::wstring_view path);
uint64_t manifestTotalBytes(const Manifest& manifest);
