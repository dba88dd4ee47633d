// The parallel downloader: plans the files to fetch, splits large ones into 16 MiB ranges, runs up
// to connectionCount workers (each with its own connection) and commits every verified file.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <vector>

#include "protocol/hash_cache.h"
#include "update/download_run.h"
#include "update/step_result.h"

struct Manifest;
struct UpdaterConfig;

// The download settings of a run's configuration.
[[nodiscard]] DownloadSettings downloadSettings(const UpdaterConfig& config);

// Done when every listed file is in place, Stopped on a stop request; otherwise the first file's
// failure, for the run's driver to report.
StepResult runDownloader(const DownloadSettings& settings, const RunServices& services,
                         const Manifest& manifest, const std::vector<uint32_t>& indices, HashCache& cache);
// Shows the first active item and the files placed so far; the caller holds run.lock.
void refreshDownloadStatus(DownloadRun& run);

// The stages of runDownloader, exposed for tests. Failures come back to be reported by the caller.
// Items largest first, parent folders created (never through a junction or link), locked targets
// refused before anything is fetched.
StepResult planDownloadItems(DownloadRun& run, const Manifest& manifest,
                             const std::vector<uint32_t>& indices);
// One job per small file, 16 MiB ranges of a preallocated temp file per large one, one patch start
// per file to patch.
StepResult queueDownloadJobs(DownloadRun& run);

// One range under the range policy: Done, Failed, WriteFailed, DiskFull, Stopped or RangeIgnored.
StepResult downloadChunk(DownloadRun& run, HINTERNET connection, DownloadItem& item, const DownloadJob& job);
void deleteUncommittedTemps(DownloadRun& run);
