// Moving one downloaded file into place: the whole-file retries and the replacing write-through
// move that records the file in the hash cache.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include "update/step_result.h"

struct DownloadItem;
struct DownloadRun;

// Up to three attempts, then the commit. Done, or Stopped when the run was cancelled; otherwise
// the failure to report (Failed after three failed attempts).
StepResult downloadWhole(DownloadRun& run, HINTERNET connection, DownloadItem& item);
// The move over the target: Done, Locked or WriteFailed (the temp file is then removed).
StepResult commitFile(DownloadRun& run, DownloadItem& item);
