// Pruning a target's object store: objects that none of the last lists it served (the live one,
// the newest of its history, a list prepared for signing) names are deleted, with what that frees.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct PruneOptions {
    std::wstring serverFolder;
    int keepLists = 0;    // the live list counts as one; at least 1
    bool dryRun = false;  // say what would go, delete nothing
};

struct [[nodiscard]] PruneResult {
    bool ok = false;
    std::wstring error;
    std::vector<std::wstring> listsKept;     // the lists whose objects stay, the live one first
    std::vector<std::wstring> listsDropped;  // history lists older than those, deleted with their objects
    std::vector<std::wstring> deleted;       // objects (and leftover staged files), relative to the target
    uint64_t bytesFreed = 0;
    int objectsKept = 0;
    std::vector<std::wstring> notes;
};

PruneResult pruneObjects(const PruneOptions& options);

// The object hashes a list names, read from its lines without the list parser, so that record kinds
// this publisher does not know yet still protect their objects: on every line that does not start
// with "#", each of the first two fields after the kind that is 64 lowercase hexadecimal digits.
// That is the file hash of "K" and "I" records, and the file and chunk-index hashes of
// "P <file hash> <index hash> <index size> ..." records.
void collectListedObjects(std::string_view list, std::set<std::string>& hashes);
