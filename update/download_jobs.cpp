#include "update/download_jobs.h"

#include <algorithm>
#include <memory>

#include "base/contained_path.h"
#include "base/file.h"
#include "base/names.h"
#include "protocol/manifest.h"
#include "update/transfer.h"

namespace {

// Creates the split file's temp file at its full size, so ranges can land in any order and a full
// disk (on file systems that allocate eagerly) shows before the first request.
StepResult preallocateTemp(const ContainedRoot& root, DownloadItem& item) {
    StepResult opened = openTempFile(root, item.entry->path + kDownloadSuffix, item.entry->path, item.temp);
    if (!opened.ok()) return opened;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(item.entry->size);
    if (!SetFileInformationByHandle(item.temp.get(), FileEndOfFileInfo, &end, sizeof end)) {
        DWORD error = lastErrorOr();
        deleteOpenFile(item.temp);
        return fileFailure(error, item.entry->path);
    }
    return opened;
}

}  // namespace

bool shouldSplit(const DownloadSettings& settings, uint64_t size) {
    return settings.connectionCount > 1 && size > kSplitThreshold;
}

StepResult queueItemJobs(DownloadRun& run, size_t itemIndex) {
    DownloadItem& item = run.items[itemIndex];
    const int i = static_cast<int>(itemIndex);
    uint64_t size = item.entry->size;
    if (!shouldSplit(run.settings, size)) {
        run.jobs.push_back(DownloadJob{i, -1, 0, 0});
        return StepResult{};
    }
    StepResult prepared = preallocateTemp(run.root, item);
    if (!prepared.ok()) return prepared;
    int chunks = static_cast<int>((size + kRangeSize - 1) / kRangeSize);
    item.chunkCount = chunks;
    item.cursor = std::make_unique<HashCursor>(item.tempPath, size, kRangeSize);
    for (int c = 0; c < chunks; ++c) {
        uint64_t offset = static_cast<uint64_t>(c) * kRangeSize;
        run.jobs.push_back(DownloadJob{i, c, offset, std::min(kRangeSize, size - offset)});
    }
    ++run.splitFiles;
    run.jobsChanged.notify_all();
    return StepResult{};
}
