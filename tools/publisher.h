// Publishing a game folder into a static server tree: content-addressed objects under obj/, the
// signed file list, the news files; and the rules file that adds clean-up and install-only records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/list_signing.h"

// The rules file: the list's own record syntax for "D", "E", "S", "O", "X", "W" (copied into the
// list as they stand) and "I" (a wildcard over path keys; matching files are listed as "I").
struct PublishRules {
    std::vector<std::string> recordLines;           // UTF-8, without line ends, in file order
    std::vector<std::wstring> installOnlyPatterns;  // "I" patterns, as path keys
};

// False with a message naming the line when a line is not a usable rule.
bool parseRules(std::string_view text, PublishRules& rules, std::wstring& error);
bool isInstallOnly(const PublishRules& rules, std::wstring_view relativePath);

struct PublishedFile {
    char kind = 'K';
    std::string hash;
    uint64_t size = 0;
    std::wstring path;  // relative, "/" separators
    std::string indexHash;  // the file's chunk index object, when it has one
    uint64_t indexSize = 0;
};

// The list text: header, version, rule records, then the file records in the given order, each
// indexed file's "P" record after its first file record.
std::string buildListText(uint64_t version, const std::vector<std::string>& ruleLines,
                          const std::vector<PublishedFile>& files);

struct PublishOptions {
    std::wstring gameFolder;
    std::wstring serverFolder;  // the folder served at the launcher's base path
    uint64_t version = 0;       // 0: the current Unix time
    PublishRules rules;
    std::wstring newsTurkish;  // optional source files for haberler_tr.txt and haberler_en.txt
    std::wstring newsEnglish;
    SigningKey signingKey;
    bool quick = false;  // reuse an object of the right size without hashing it again
    bool allowDevelopmentKey = false;  // sign with the committed development key (tests, the demo)
    bool allowLowerVersion = false;    // publish a version below the one the target already holds
    bool strictRemovals = false;       // refuse when the new list drops paths no clean-up rule covers
    bool chunkIndexes = true;          // index files of 4 MiB and more, so that launchers can patch them
};

struct PublishProgress {
    int filesDone = 0;
    int filesTotal = 0;
    uint64_t bytesDone = 0;  // bytes hashed so far
    uint64_t bytesTotal = 0;
    std::wstring currentPath;
};
using PublishProgressFn = void (*)(void* context, const PublishProgress& progress);

struct PublishResult {
    bool ok = false;
    std::wstring error;
    std::vector<std::wstring> notes;  // things worth telling the operator that do not stop publishing
    // Paths the target's previous list names and the new one drops, outside every "D" folder and
    // top-level "E" extension of the new list: players' launchers will never delete them.
    std::vector<std::wstring> leftBehind;
    uint64_t version = 0;
    int files = 0;
    uint64_t bytes = 0;
    int objectsWritten = 0;
    uint64_t bytesWritten = 0;
    int objectsReused = 0;
    int objectsRepaired = 0;  // present under their address with other content, written again
    int indexes = 0;          // files listed with a chunk index
    int indexesWritten = 0;   // index objects that were not in the tree yet
    uint64_t indexBytes = 0;  // the bytes of all listed indexes
};

PublishResult publishGame(const PublishOptions& options, PublishProgressFn progress, void* context);

// The files of a game folder, relative paths with "/" separators, sorted by path key. The
// launcher's own state folder "koruma" at the top is left out. False with a message for a folder
// that cannot be read or a name the launcher could not handle.
bool collectGameFiles(const std::wstring& gameFolder, std::vector<std::wstring>& paths, std::wstring& error,
                      std::vector<std::wstring>* notes = nullptr);
