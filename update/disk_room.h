// Whether the game folder's drive has room for what a download stage will write, found out before
// anything is requested or created, so that a drive too small ends the run with the folder as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "update/step_result.h"

struct Manifest;
struct UpdateLog;

// The bytes the stage writes: the full size of every file it fetches, each listed path once. A file's
// temp file lives beside the old one until the move, so nothing the old files hold counts as free.
[[nodiscard]] uint64_t bytesToWrite(const Manifest& manifest, const std::vector<uint32_t>& indices);

// Free bytes this account may use on the drive of folder; false (with the system error) when the
// drive does not answer.
[[nodiscard]] bool freeBytesOf(const std::wstring& folder, uint64_t& freeBytes, unsigned long& error);

// Done when needed fits in freeBytes; NoRoom with both figures and the folder otherwise.
[[nodiscard]] StepResult compareRoom(uint64_t needed, uint64_t freeBytes, const std::wstring& folder);

// The check of a download stage: NoRoom (logged with both figures) when the drive is too small.
// A drive that does not tell its free space is logged and let through: the writes then report a
// full disk as they always have.
StepResult checkRoomFor(const std::wstring& rootFolder, UpdateLog& log, const Manifest& manifest,
                        const std::vector<uint32_t>& indices);
