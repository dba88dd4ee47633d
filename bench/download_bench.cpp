// Download benchmark, driven by bench/download_bench.sh. Three programs in one:
//
//   download_bench.exe <server URL with base path> <empty install folder> [connections]
//       one full update run of the engine (list, signature, scan of an empty folder, parallel
//       download, commit), with the download stage's timeline: when it started, when its last byte
//       arrived, when its last file was verified and placed, when it ended; the processor time it
//       took; and the process's peak memory.
//   download_bench.exe --yalin <server URL with base path> <object list> <output folder> [connections]
//       the same transfers done by the least WinHTTP code that can do them: as many threads as
//       connections, one connection each, 256 KiB reads written straight to disk; objects above
//       32 MiB in 16 MiB ranges into one preallocated file, the others whole, each to its own file.
//       The object list holds one "<relative URL> <size>" line per object.
//   download_bench.exe --cng <file>...
//       the least CNG hashing can do on those files: 1 MiB reads and BCryptHashData, nothing else.
//
// Every figure is printed as "figure: <name> <value>" for the script; other lines are for people.
#include <windows.h>
#include <bcrypt.h>
#include <psapi.h>
#include <winhttp.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/file.h"
#include "base/text.h"
#include "bench/processor_time.h"
#include "update/update_log.h"
#include "update/updater.h"
#include "update/worker.h"

namespace {

constexpr uint64_t kSplitAbove = 33554432;
constexpr uint64_t kRange = 16777216;
constexpr DWORD kReadSize = 262144;

double now() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void figure(const char* name, double value) {
    std::printf("figure: %s %.3f\n", name, value);
}

std::string lastLineWith(const std::string& log, const char* needle) {
    size_t at = log.rfind(needle);
    if (at == std::string::npos) return "";
    size_t start = log.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    return log.substr(start, log.find('\r', at) - start);
}

// The moments of a download stage as the window would see them, sampled every millisecond from
// the status the engine publishes (the log's stamps have whole seconds only).
struct StageTimeline {
    double start = 0, lastByte = 0, verified = 0, end = 0;
    double processorAtStart = 0, processorAtEnd = 0;
};

void watchStage(Updater& updater, std::atomic<bool>& done, StageTimeline& out) {
    bool inStage = false;
    while (!done.load()) {
        StatusSnapshot s = copyStatus(updater.status);
        double t = now();
        if (!inStage && s.phase == UpdatePhase::Downloading) {
            inStage = true;
            out.start = t;
            out.processorAtStart = processSeconds();
        }
        if (inStage) {
            bool downloading = s.phase == UpdatePhase::Downloading;
            if (out.lastByte == 0 && (!downloading || s.bytesDone >= s.bytesTotal)) out.lastByte = t;
            if (out.verified == 0 && (!downloading || s.filesUpdated >= s.filesTotal)) out.verified = t;
            if (!downloading) {
                out.end = t;
                out.processorAtEnd = processSeconds();
                return;
            }
        }
        Sleep(1);
    }
}

int engineRun(const wchar_t* url, const wchar_t* folder, const wchar_t* connections) {
    SetEnvironmentVariableW(L"QORVANE_SUNUCU", url);
    if (connections) SetEnvironmentVariableW(L"QORVANE_ISCI", connections);
    createFolderTree(folder);

    static Updater u;  // the launcher keeps it for the whole process too
    configureRun(u, folder, true);
    beginRunStatus(u.status);
    u.workerRunning = true;
    std::atomic<bool> done{false};
    StageTimeline stage;
    std::thread watcher(watchStage, std::ref(u), std::ref(done), std::ref(stage));
    double start = now();
    runWorker(u, false, false);
    double end = now();
    done = true;
    watcher.join();

    StatusSnapshot s = copyStatus(u.status);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::string log;
    readWholeFile(logFilePath(u.config.rootFolder), log, 64u << 20);
    std::printf("phase %d (6 = ready), error %d, files %d, bytes %llu, connections %d\n",
                static_cast<int>(s.phase), static_cast<int>(s.errorCode), s.filesUpdated,
                static_cast<unsigned long long>(s.bytesTotal), u.config.connectionCount);
    std::printf("log: %s\n", lastLineWith(log, "indirme: ").c_str());
    std::printf("log: %s\n", lastLineWith(log, "indirme bitti").c_str());
    // What a patch took from where (empty lines when the run patched nothing).
    for (const char* needle : {"yama ", "indirildi "}) {
        std::string line = lastLineWith(log, needle);
        if (!line.empty()) std::printf("log: %s\n", line.c_str());
    }
    figure("run", end - start);
    if (stage.end > 0) {
        figure("before_stage", stage.start - start);
        figure("stage", stage.end - stage.start);
        figure("last_byte", stage.lastByte - stage.start);
        figure("verified", stage.verified - stage.start);
        figure("stage_processor", stage.processorAtEnd - stage.processorAtStart);
    }
    figure("peak_working_set_mib", memory.PeakWorkingSetSize / 1048576.0);
    figure("peak_private_mib", memory.PeakPagefileUsage / 1048576.0);
    return s.phase == UpdatePhase::Ready ? 0 : 1;
}

// One transfer of the bare loop: a whole object to its own file, or one range of a split one.
struct BareJob {
    std::wstring url;  // relative to the base path
    std::wstring file;
    uint64_t offset = 0;
    uint64_t length = 0;  // 0: the whole object
};

struct BareLoop {
    std::wstring host, basePath;
    INTERNET_PORT port = 0;
    bool https = false;
    HINTERNET session = nullptr;
    std::vector<BareJob> jobs;
    std::atomic<size_t> next{0};
    std::atomic<int> failures{0};
};

bool bareTransfer(BareLoop& loop, HINTERNET connection, const BareJob& job, unsigned char* buffer) {
    std::wstring object = loop.basePath + job.url;
    HINTERNET request =
        WinHttpOpenRequest(connection, L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, loop.https ? WINHTTP_FLAG_SECURE : 0);
    if (!request) return false;
    wchar_t range[96] = {};
    if (job.length)
        swprintf(range, 96, L"Range: bytes=%llu-%llu", static_cast<unsigned long long>(job.offset),
                 static_cast<unsigned long long>(job.offset + job.length - 1));
    bool ok = WinHttpSendRequest(request, job.length ? range : WINHTTP_NO_ADDITIONAL_HEADERS,
                                 job.length ? static_cast<DWORD>(-1) : 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
              WinHttpReceiveResponse(request, nullptr);
    HANDLE file = INVALID_HANDLE_VALUE;
    if (ok) {
        file =
            CreateFileW(job.file.c_str(), GENERIC_WRITE, job.length ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0,
                        nullptr, job.length ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(job.offset);
        ok = file != INVALID_HANDLE_VALUE && SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    }
    DWORD got = 0;
    while (ok && WinHttpReadData(request, buffer, kReadSize, &got) && got > 0) {
        DWORD wrote = 0;
        ok = WriteFile(file, buffer, got, &wrote, nullptr) && wrote == got;
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    WinHttpCloseHandle(request);
    return ok;
}

void bareWorker(BareLoop& loop) {
    HINTERNET connection = WinHttpConnect(loop.session, loop.host.c_str(), loop.port, 0);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadSize]);
    for (size_t i = loop.next++; i < loop.jobs.size(); i = loop.next++) {
        if (!connection || !bareTransfer(loop, connection, loop.jobs[i], buffer.get())) ++loop.failures;
    }
    if (connection) WinHttpCloseHandle(connection);
}

int bareRun(const wchar_t* url, const wchar_t* listFile, const wchar_t* outFolder, int connections) {
    BareLoop loop;
    ServerAddress server;
    if (!parseServerUrl(url, server) || server.host.empty()) return 2;
    loop.host = server.host;
    loop.basePath = server.basePath;
    loop.port = server.port;
    loop.https = server.useHttps;

    std::string list;
    if (!readWholeFile(listFile, list, 64u << 20)) return 2;
    createFolderTree(outFolder);
    int objects = 0;
    uint64_t bytes = 0;
    forEachLine(list, [&](std::string_view line) {
        size_t blank = line.rfind(' ');
        if (blank == std::string_view::npos) return true;
        std::wstring object = fromUtf8(line.substr(0, blank));
        uint64_t size = parseDecimal(line.substr(blank + 1));
        std::wstring file = std::wstring(outFolder) + L"\\" + std::to_wstring(objects++);
        bytes += size;
        if (size <= kSplitAbove || connections < 2) {
            loop.jobs.push_back(BareJob{object, file, 0, 0});
            return true;
        }
        // The split file exists at its full size before its ranges arrive, as the engine does it.
        HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
        for (uint64_t offset = 0; offset < size; offset += kRange)
            loop.jobs.push_back(
                BareJob{object, file, offset, size - offset < kRange ? size - offset : kRange});
        return true;
    });

    double start = now();
    double processorAtStart = processSeconds();
    loop.session =
        WinHttpOpen(L"bare", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    DWORD many = 16;
    WinHttpSetOption(loop.session, WINHTTP_OPTION_MAX_CONNS_PER_SERVER, &many, sizeof many);
    std::vector<std::thread> threads;
    int workers =
        static_cast<int>(loop.jobs.size()) < connections ? static_cast<int>(loop.jobs.size()) : connections;
    for (int i = 0; i < workers; ++i)
        threads.emplace_back(bareWorker, std::ref(loop));
    for (std::thread& t : threads)
        t.join();
    double seconds = now() - start;
    WinHttpCloseHandle(loop.session);
    std::printf("bare WinHTTP: %d objects, %zu requests, %llu bytes, %d threads, %d failed\n", objects,
                loop.jobs.size(), static_cast<unsigned long long>(bytes), workers, loop.failures.load());
    figure("bare_transfer", seconds);
    figure("bare_transfer_processor", processSeconds() - processorAtStart);
    return loop.failures.load() ? 1 : 0;
}

int bareHash(int count, wchar_t** paths) {
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[1048576]);
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return 1;
    uint64_t bytes = 0;
    double start = now();
    double processorAtStart = processSeconds();
    for (int i = 0; i < count; ++i) {
        HANDLE h = CreateFileW(paths[i], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE) return 1;
        BCRYPT_HASH_HANDLE hash = nullptr;
        BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
        DWORD got = 0;
        while (ReadFile(h, buffer.get(), 1048576, &got, nullptr) && got > 0) {
            BCryptHashData(hash, buffer.get(), got, 0);
            bytes += got;
        }
        unsigned char digest[32];
        BCryptFinishHash(hash, digest, 32, 0);
        BCryptDestroyHash(hash);
        CloseHandle(h);
    }
    double seconds = now() - start;
    BCryptCloseAlgorithmProvider(algorithm, 0);
    std::printf("bare CNG: %d files, %llu bytes\n", count, static_cast<unsigned long long>(bytes));
    figure("bare_hash", seconds);
    figure("bare_hash_processor", processSeconds() - processorAtStart);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"--yalin" && argc >= 5)
        return bareRun(argv[2], argv[3], argv[4], argc > 5 ? _wtoi(argv[5]) : 6);
    if (mode == L"--cng" && argc >= 3) return bareHash(argc - 2, argv + 2);
    if (argc >= 3 && mode.rfind(L"--", 0) != 0)
        return engineRun(argv[1], argv[2], argc > 3 ? argv[3] : nullptr);
    std::fprintf(
        stderr,
        "usage: download_bench.exe <server URL> <empty install folder> [connections]\n"
        "       download_bench.exe --yalin <server URL> <object list> <output folder> [connections]\n"
        "       download_bench.exe --cng <file>...\n");
    return 2;
}
