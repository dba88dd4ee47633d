// The jobs of one file of a download stage: one whole-file job, or, for a large file with several
// connections, the 16 MiB ranges of a temp file created at its full size with the cursor that
// hashes them. Used when the stage is queued and when a patch falls back to the whole file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "update/download_run.h"
#include "update/step_result.h"

// Whether a file of `size` bytes is fetched in ranges under these settings.
bool shouldSplit(const DownloadSettings& settings, uint64_t size);
// Queues the item's jobs (a patch that falls back calls it under run.lock); WriteFailed or DiskFull
// when the split file's temp file cannot be created at its size.
StepResult queueItemJobs(DownloadRun& run, size_t itemIndex);
