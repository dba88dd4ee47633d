#include "protocol/manifest.h"

#include "base/path_identity.h"
#include "base/text.h"

namespace {

constexpr std::string_view kHeader = "#QORVANEPC ";
constexpr std::string_view kVersion = "#surum ";

// "X", "W" and "E" values: only A-Z, so that they read the same whatever the user's locale. Paths
// never come through here; they compare by pathKey, with Windows' own case folding.
wchar_t lowerAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

std::wstring lowerAll(std::wstring text) {
    for (wchar_t& c : text)
        c = lowerAscii(c);
    return text;
}

// Splits "hash size path" (the path may hold blanks). False when a blank is missing or nothing
// follows the first one.
bool splitFileRecord(std::string_view value, std::string_view& hash, std::string_view& size,
                     std::string_view& path) {
    size_t first = value.find(' ');
    if (first == std::string_view::npos || first + 1 >= value.size()) return false;
    size_t second = value.find(' ', first + 1);
    if (second == std::string_view::npos) return false;
    hash = value.substr(0, first);
    size = value.substr(first + 1, second - first - 1);
    path = value.substr(second + 1);
    return true;
}

void addFileRecord(char kind, std::string_view value, Manifest& manifest) {
    std::string_view hash, size, path;
    if (!splitFileRecord(value, hash, size, path)) return;
    if (hash.size() != 64) return;
    std::wstring widePath = fromUtf8(path);
    if (!isAcceptableFilePath(widePath)) return;
    ManifestEntry entry;
    entry.kind = kind;
    entry.hash.assign(hash);
    entry.size = parseDecimal(size);
    entry.path = std::move(widePath);
    manifest.pathIndex[pathKey(entry.path)] = manifest.entries.size();
    manifest.entries.push_back(std::move(entry));
}

// "P file-hash index-hash index-size": both hashes 64 bytes, a size above 0. Fields after the size
// are left for later formats.
void addChunkIndexRecord(std::string_view value, Manifest& manifest) {
    std::string_view fileHash, indexHash, size;
    if (!splitFileRecord(value, fileHash, indexHash, size)) return;
    if (fileHash.size() != 64 || indexHash.size() != 64) return;
    ChunkIndexRef ref{std::string(indexHash), parseDecimal(size)};
    if (ref.size == 0) return;
    manifest.chunkIndexes[std::string(fileHash)] = std::move(ref);
}

// A folder named twice (in any spelling) is walked once.
void addCleanDir(std::wstring folder, Manifest& manifest) {
    std::wstring key = pathKey(folder);
    for (const std::wstring& known : manifest.cleanDirs)
        if (pathKey(known) == key) return;
    manifest.cleanDirs.push_back(std::move(folder));
}

void addMirror(std::string_view value, Manifest& manifest) {
    MirrorAddress mirror;
    if (!parseMirrorUrl(fromUtf8(value), mirror)) return;
    for (const MirrorAddress& known : manifest.mirrors)
        if (sameMirror(known, mirror)) return;
    manifest.mirrors.push_back(std::move(mirror));
}

void addRecord(char kind, std::string_view value, Manifest& manifest) {
    switch (kind) {
        case 'K':
        case 'I':
            addFileRecord(kind, value, manifest);
            return;
        case 'P':
            addChunkIndexRecord(value, manifest);
            return;
        case 'X':
            manifest.xValues.push_back(lowerAll(fromUtf8(value)));
            return;
        case 'W':
            manifest.wValues.push_back(lowerAll(fromUtf8(value)));
            return;
        case 'E':
            // A lone dot would govern every top-level name that ends in a dot, a spelling Windows
            // strips on the way to another file; the publisher never writes one.
            if (value == ".") return;
            manifest.rootExtensions.push_back(lowerAll(fromUtf8(value)));
            return;
        case 'D':
        case 'S':
        case 'O': {
            std::wstring text = acceptedRuleValue(kind, fromUtf8(value));
            if (text.empty()) return;
            if (kind == 'D') addCleanDir(std::move(text), manifest);
            if (kind == 'S') manifest.keepPatterns.push_back(pathKey(text));
            if (kind == 'O') manifest.createDirs.push_back(std::move(text));
            return;
        }
        case 'A':
            addMirror(value, manifest);
            return;
        default:
            return;  // unknown kinds are left for newer launchers
    }
}

}  // namespace

bool parseManifest(std::string_view bytes, Manifest& manifest) {
    manifest = Manifest{};
    bool headerSeen = false;
    forEachLine(bytes, [&](std::string_view line) {
        if (line.size() < 3) return true;
        if (line[0] == '#') {
            if (line.substr(0, kHeader.size()) == kHeader) {
                headerSeen = true;
            } else if (line.substr(0, kVersion.size()) == kVersion) {
                manifest.version = parseDecimal(line.substr(kVersion.size()));
            }
        } else if (line[1] == ' ') {
            addRecord(line[0], line.substr(2), manifest);
        }
        return true;
    });
    return headerSeen && !manifest.entries.empty();
}

bool matchWildcard(std::wstring_view pattern, std::wstring_view text) {
    // Greedy with one back-track point: the last "*" seen is allowed to swallow one more character
    // whenever the rest fails, which is enough because "*" has no length bound.
    size_t p = 0, t = 0;
    size_t starP = std::wstring_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (starP != std::wstring_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*')
        ++p;
    return p == pattern.size();
}

bool isAcceptablePath(std::wstring_view path) {
    if (path.find(L"..") != std::wstring_view::npos) return false;
    if (path.find(L':') != std::wstring_view::npos) return false;
    return path.empty() || (path[0] != L'/' && path[0] != L'\\');
}

bool isAcceptableFilePath(std::wstring_view path) {
    // A name Windows would store otherwise (a trailing dot dropped, a device opened instead) is
    // not the file the list describes, and two such records could land on one file.
    // A short-name shape may name another file than the one listed.
    return !path.empty() && isAcceptablePath(path) && isFaithfulRelativePath(path) &&
           !hasShortNameShape(path);
}

std::wstring acceptedRuleValue(char kind, std::wstring_view value) {
    if (!isAcceptablePath(value)) return {};
    std::wstring clean = cleanRelativePath(value);
    // An empty folder is the game folder itself ("D ."), whose walk would reach the launcher's
    // state; "koruma" belongs to the launcher alone.
    if (clean.empty() || isInProtectionFolder(pathKey(clean))) return {};
    if (kind != 'S' && (!isFaithfulRelativePath(clean) || hasShortNameShape(clean))) return {};
    return clean;
}

uint64_t manifestTotalBytes(const Manifest& manifest) {
    uint64_t total = 0;
    for (const ManifestEntry& e : manifest.entries)
        total += e.size;
    return total;
}

const ChunkIndexRef* chunkIndexFor(const Manifest& manifest, const std::string& fileHash) {
    auto found = manifest.chunkIndexes.find(fileHash);
    return found == manifest.chunkIndexes.end() ? nullptr : &found->second;
}
