// Moving one downloaded file into place: the whole-file retries, and the replacing move through the
// temp file's own handle that records the file in the hash cache.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstddef>

#include "update/step_result.h"

struct DownloadItem;
struct DownloadRun;

// Attempts under the whole-file policy, then the commit. Done, or Stopped when the run was
// cancelled; otherwise the failure to report (Failed after the last failed attempt).
StepResult downloadWhole(DownloadRun& run, HINTERNET connection, DownloadItem& item);
// Records that (part of) the item came from mirror `host` (0, the configured server, is not recorded),
// for the log line of its commit.
void noteMirror(DownloadItem& item, size_t host);
// The move of the item's open temp file over the target, through its handle, and the hash cache's
// stamp read from that handle: Done, Locked or WriteFailed (the temp file is then removed).
StepResult commitFile(DownloadRun& run, DownloadItem& item);
