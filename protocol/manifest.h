// The signed file list: its text format, the in-memory Manifest, the path rules its records pass
// and the wildcard rule used by the clean-up patterns. Paths compare through pathKey (base).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/mirror_address.h"

struct ManifestEntry {
    char kind = 'K';   // 'K' verified by size and hash, 'I' only required to exist
    std::string hash;  // 64 lowercase hexadecimal characters
    uint64_t size = 0;
    std::wstring path;  // as written in the list, relative to the game folder
};

// A "P" record: the chunk index of the files with a given hash (a launcher that does not know the
// kind ignores the record and fetches such files whole).
struct ChunkIndexRef {
    std::string hash;  // the index object's SHA-256, 64 lowercase hexadecimal characters
    uint64_t size = 0;
};

struct Manifest {
    uint64_t version = 0;
    std::vector<ManifestEntry> entries;
    std::vector<std::wstring> xValues;
    std::vector<std::wstring> wValues;
    std::vector<std::wstring> cleanDirs;       // "D", cleanRelativePath (case kept), one per folder
    std::vector<std::wstring> rootExtensions;  // "E", lower-cased
    std::vector<std::wstring> keepPatterns;    // "S", pathKey
    std::vector<std::wstring> createDirs;      // "O", cleanRelativePath (case kept)
    std::map<std::wstring, size_t> pathIndex;  // pathKey -> index of the last entry
    // "A": servers with the same tree, in list order; a URL that does not parse or names a mirror
    // already listed is left out.
    std::vector<MirrorAddress> mirrors;
    // "P": file hash -> its index; the last wins
    std::map<std::string, ChunkIndexRef> chunkIndexes;
};

// True when a header line was seen and at least one file record was accepted.
[[nodiscard]] bool parseManifest(std::string_view bytes, Manifest& manifest);
bool matchWildcard(std::wstring_view pattern, std::wstring_view text);
// The path rule for "K", "I", "D", "S", "O" values: no "..", no ":", no leading separator.
bool isAcceptablePath(std::wstring_view path);
// A "K" or "I" path the launcher accepts: the path rule, a name Windows holds as written, and no
// part shaped like a short 8.3 name.
bool isAcceptableFilePath(std::wstring_view path);
// The canonical form of a "D", "S" or "O" value, or empty when the record is ignored: it fails the
// path rule, cleans to nothing, is or lies in "koruma", or ("D", "O") names what Windows cannot hold
// or has a part shaped like a short 8.3 name.
std::wstring acceptedRuleValue(char kind, std::wstring_view value);
uint64_t manifestTotalBytes(const Manifest& manifest);
// The chunk index the list names for a file's hash, or null.
const ChunkIndexRef* chunkIndexFor(const Manifest& manifest, const std::string& fileHash);
