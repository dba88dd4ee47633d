// Patching a file of a download stage from what the player's disk holds: its chunk index fetched
// and checked, the file at its path and a temp file an earlier run left read as seeds while the
// assembly runs, the missing chunks fetched as ranges of the file's object by the stage's workers,
// the file's SHA-256 as the gate before the move. Whatever goes wrong (a bad index, a server that
// answers a range with the whole body, a chunk that fails its check, too little on disk) sends the
// file to the whole-file download of the same run, once.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "protocol/chunk_index.h"
#include "update/download_run.h"
#include "update/patch_cursor.h"
#include "update/patch_plan.h"
#include "update/step_result.h"

struct Manifest;

// One file's patch while it runs; shared by the workers that fetch its ranges.
struct PatchState {
    DownloadRun* run = nullptr;
    DownloadItem* item = nullptr;
    int itemIndex = 0;
    ChunkIndex index;
    std::vector<FetchRange> ranges;  // set before the first range job is queued
    std::unique_ptr<PatchCursor> cursor;
    uint64_t indexBytes = 0;
    std::atomic<uint64_t> diskBytes{0};    // taken from the player's files
    std::atomic<uint64_t> serverBytes{0};  // chunks fetched and checked
};

// Marks the items the list has a chunk index for and that have a seed on disk: the file at their
// path or a temp file an earlier run left. Files below the indexing threshold are never patched.
void choosePatches(DownloadRun& run, const Manifest& manifest);

// A patch job: the start (chunkIndex -1: index, seeds, plan) or one of its ranges. Done when the
// job's part is over (the file may be finished by another job), or the file's committed result;
// a file that falls back is fetched whole in this call or by jobs queued for it.
StepResult runPatchJob(DownloadRun& run, HINTERNET connection, const DownloadJob& job);

// The keep rule for the temp files a stopped or killed run left: a temp of a file the list still
// wants and has a chunk index for is a seed for the next patch.
bool keepsTempForPatch(const Manifest& manifest, const std::wstring& relativeTemp);
