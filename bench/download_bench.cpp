// Download benchmark: one full update run of the engine (list, signature, scan of an empty folder,
// parallel download, commit) against a server URL, with the time of the download stage and the
// process's peak memory. Driven by bench/download_bench.sh, which compares it with aria2c and curl.
//
//   download_bench.exe <server URL with base path> <empty install folder> [connections]
//   download_bench.exe --ayrinti <server URL with base path> <object path> <temp file>
// The second form splits one object's single-stream download into its costs: WinHTTP receiving
// alone, receiving and writing to a file, and hashing that file, each timed on its own.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "base/file.h"
#include "base/text.h"
#include "update/hashing.h"
#include "update/http_client.h"
#include "update/update_log.h"
#include "update/updater.h"
#include "update/worker.h"

namespace {

std::string lastLineWith(const std::string& log, const char* needle) {
    size_t at = log.rfind(needle);
    if (at == std::string::npos) return "";
    size_t start = log.rfind('\n', at);
    size_t end = log.find('\r', at);
    return log.substr(start == std::string::npos ? 0 : start + 1,
                      end - (start == std::string::npos ? 0 : start + 1));
}

double secondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

bool writeBlock(void* context, const uint8_t* data, size_t length, uint64_t) {
    DWORD done = 0;
    return WriteFile(static_cast<HANDLE>(context), data, static_cast<DWORD>(length), &done, nullptr) &&
           done == length;
}

bool countBlock(void* context, const uint8_t*, size_t length, uint64_t) {
    *static_cast<uint64_t*>(context) += length;
    return true;
}

int breakDown(const wchar_t* url, const wchar_t* object, const wchar_t* tempFile) {
    static Updater u;
    SetEnvironmentVariableW(L"QORVANE_SUNUCU", url);
    readEnvironment(u);
    if (!openSession(u).ok()) return 1;
    LARGE_INTEGER start;
    uint64_t bytes = 0;
    QueryPerformanceCounter(&start);
    int status = httpGet(u, nullptr, object, countBlock, &bytes, 0, 0).status;
    double receive = secondsSince(start);
    std::printf("receive only:      %6.2f s  %7.1f MiB/s  (HTTP %d)\n", receive, bytes / 1048576.0 / receive,
                status);

    HANDLE file =
        CreateFileW(tempFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    QueryPerformanceCounter(&start);
    status = httpGet(u, nullptr, object, writeBlock, file, 0, 0).status;
    CloseHandle(file);
    double write = secondsSince(start);
    std::printf("receive and write: %6.2f s  %7.1f MiB/s  (HTTP %d)\n", write, bytes / 1048576.0 / write,
                status);

    QueryPerformanceCounter(&start);
    std::string hash = hashFile(tempFile, nullptr, nullptr);
    double hashing = secondsSince(start);
    std::printf("hash the file:     %6.2f s  %7.1f MiB/s\n", hashing, bytes / 1048576.0 / hashing);
    DeleteFileW(tempFile);
    closeSession(u);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"--ayrinti") return breakDown(argv[2], argv[3], argv[4]);
    if (argc < 3) {
        std::fprintf(stderr, "usage: download_bench.exe <server URL> <empty install folder> [connections]\n");
        return 2;
    }
    SetEnvironmentVariableW(L"QORVANE_SUNUCU", argv[1]);
    if (argc > 3) SetEnvironmentVariableW(L"QORVANE_ISCI", argv[3]);
    createFolderTree(argv[2]);

    static Updater u;  // the launcher keeps it for the whole process too
    configureRun(u, argv[2], true);
    beginRunStatus(u);
    u.workerRunning = true;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    runWorker(u, false, false);
    QueryPerformanceCounter(&end);
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);

    StatusSnapshot s = copyStatus(u);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::string log;
    readWholeFile(logFilePath(u.rootFolder), log, 64u << 20);
    std::printf("phase %d (6 = ready), error %d, files %d, bytes %llu, connections %d\n", static_cast<int>(s.phase),
                static_cast<int>(s.errorCode), s.filesUpdated, static_cast<unsigned long long>(s.bytesTotal),
                u.config.connectionCount);
    std::printf("run: %.2f s\n", seconds);
    std::printf("log: %s\n", lastLineWith(log, "indirme: ").c_str());
    std::printf("log: %s\n", lastLineWith(log, "indirme bitti").c_str());
    std::printf("peak working set: %.1f MiB, peak private bytes: %.1f MiB\n",
                memory.PeakWorkingSetSize / 1048576.0, memory.PeakPagefileUsage / 1048576.0);
    return s.phase == UpdatePhase::Ready ? 0 : 1;
}
