// Publishing a game folder into a static server tree: content-addressed objects under obj/, the
// signed file list, the news files; and the rules file that adds clean-up and install-only records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/handles.h"
#include "protocol/key_set.h"
#include "tools/list_signing.h"
#include "tools/publish_rules.h"

struct Manifest;

struct PublishedFile {
    char kind = 'K';
    std::string hash;
    uint64_t size = 0;
    std::wstring path;      // relative, "/" separators
    std::string indexHash;  // the file's chunk index object, when it has one
    uint64_t indexSize = 0;
};

// The "A" record lines of the mirrors to publish: the given URLs, or with keep the ones the published
// list names (as written). False with a message for a URL the launcher would not read; a URL named
// twice is written once.
bool mirrorLines(const std::vector<std::wstring>& given, bool keep, const Manifest& published,
                 std::vector<std::string>& lines, std::vector<std::wstring>& urls, std::wstring& error);

// The list text: header, version, rule records, then the file records in the given order, each
// indexed file's "P" record after its first file record.
std::string buildListText(uint64_t version, const std::vector<std::string>& ruleLines,
                          const std::vector<PublishedFile>& files);

struct PublishOptions {
    std::wstring gameFolder;
    std::wstring serverFolder;  // the folder served at the launcher's base path
    uint64_t version = 0;       // 0: the current Unix time
    PublishRules rules;
    // No rules file given: the target's published list keeps its rules (the tree carries them).
    bool keepPublishedRules = false;
    std::wstring newsTurkish;  // optional source files for haberler_tr.txt and haberler_en.txt
    std::wstring newsEnglish;
    SigningKey signingKey;
    bool quick = false;                      // reuse an object of the right size without hashing it again
    bool allowDevelopmentKey = false;        // sign with the committed development key (tests, the demo)
    bool allowLowerVersion = false;          // publish a version below the one the target already holds
    bool strictRemovals = false;             // refuse when the new list drops paths no clean-up rule covers
    bool allowInstallOnlyToChecked = false;  // let install-only files of the published list become checked
    // Signing happens on another machine: the objects go into place, the list to sign and the news
    // into the target's "hazirlik" folder; nothing goes live and no private key is needed.
    bool prepareOnly = false;
    // Base URLs of servers that carry the same tree, one "A" record each, in this order. With
    // keepPublishedMirrors the target's published list's mirrors are written instead.
    std::vector<std::wstring> mirrors;
    bool keepPublishedMirrors = false;
    bool chunkIndexes = true;  // index files of 4 MiB and more, so that launchers can patch them
};

struct PublishProgress {
    int filesDone = 0;
    int filesTotal = 0;
    uint64_t bytesDone = 0;  // bytes hashed so far
    uint64_t bytesTotal = 0;
    std::wstring currentPath;
};
using PublishProgressFn = void (*)(void* context, const PublishProgress& progress);

struct [[nodiscard]] PublishResult {
    bool ok = false;
    std::wstring error;
    std::vector<std::wstring> notes;     // things worth telling the operator that do not stop publishing
    std::vector<std::wstring> warnings;  // the same, for what players will feel (no launcher in the tree)
    // Paths the target's previous list names and the new one drops, outside every "D" folder and
    // top-level "E" extension of the new list: players' launchers will never delete them.
    std::vector<std::wstring> leftBehind;
    std::vector<std::wstring> droppedRules;   // rule lines of the previous list the new one lacks
    std::vector<std::wstring> turnedChecked;  // install-only files of the previous list now checked
    std::vector<std::wstring> mirrors;        // the mirrors the new list names
    uint64_t version = 0;
    int files = 0;
    uint64_t bytes = 0;
    int objectsWritten = 0;
    uint64_t bytesWritten = 0;
    int objectsReused = 0;
    int objectsRepaired = 0;    // present under their address with other content, written again
    std::wstring preparedList;  // prepareOnly: the list to carry to the signing machine
    PublicKey signedWith{};     // a placed list: the key of the launcher's set that verified it
    int indexes = 0;            // files listed with a chunk index
    int indexesWritten = 0;     // index objects that were not in the tree yet
    uint64_t indexBytes = 0;    // the bytes of all listed indexes
};

// A prepared list names the keys its launcher carries on lines "#anahtar <128 hex>" (launchers
// read them as comments), so that the signing machine can show them and refuse a key they lack.
inline constexpr char kPreparedKeyMark[] = "#anahtar ";

PublishResult publishGame(const PublishOptions& options, PublishProgressFn progress, void* context);

// Held while a target changes (publish, placement, pruning): a second writer is refused with a
// message in `error`. Delete-on-close, so a crashed publisher leaves no stale lock behind.
UniqueFile lockPublishTarget(const std::wstring& serverFolder, std::wstring& error);

// The safe order of a publish: the replaced list (version replacedVersion) into the history, the
// news (nullptr: unchanged), the list, its signature last. False with `error` when a step failed.
bool placeListDocuments(const std::wstring& serverFolder, uint64_t replacedVersion,
                        const std::string* const news[2], const std::string& list,
                        const std::string& signature, std::wstring& error);

// The files of a game folder, relative paths with "/" separators, sorted by path key. The
// launcher's own state folder "koruma" at the top is left out. False with a message for a folder
// that cannot be read, a name the launcher could not handle, or files that are symbolic links or
// have more than one hard link (all of them named).
bool collectGameFiles(const std::wstring& gameFolder, std::vector<std::wstring>& paths, std::wstring& error,
                      std::vector<std::wstring>* notes = nullptr);
