// Moving one downloaded file into place: the whole-file retries, and the replacing move through the
// temp file's own handle that records the file in the hash cache.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include "update/step_result.h"

struct DownloadItem;
struct DownloadRun;

// Attempts under the whole-file policy, then the commit. Done, or Stopped when the run was
// cancelled; otherwise the failure to report (Failed after the last failed attempt).
StepResult downloadWhole(DownloadRun& run, HINTERNET connection, DownloadItem& item);
// The move of the item's open temp file over the target, through its handle, and the hash cache's
// stamp read from that handle: Done, Locked or WriteFailed (the temp file is then removed).
StepResult commitFile(DownloadRun& run, DownloadItem& item);
