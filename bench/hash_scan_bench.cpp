// Hashing and quick-scan figures: hashFile on a 1 GiB file against a bare CNG read-and-hash loop,
// and the run's quick scan of 20,000 files with a warm hash cache against a bare
// GetFileAttributesExW loop over the same paths. Each pair runs alternately; the best round counts.
//
//   hash_scan_bench.exe [work folder] [hash MiB] [files]    (defaults: %TEMP%, 1024, 20000)
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/path_identity.h"
#include "base/sha256.h"
#include "protocol/hash_cache.h"
#include "protocol/manifest.h"
#include "update/live_status.h"
#include "update/run_driver.h"

namespace {

double now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / frequency.QuadPart;
}

bool writeFile(const std::wstring& path, const void* data, size_t size) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    bool ok = size == 0 || (WriteFile(h, data, static_cast<DWORD>(size), &n, nullptr) && n == size);
    CloseHandle(h);
    return ok;
}

// The least any hashing of a file can do: the same reads and the same CNG calls, nothing else.
std::string bareHash(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    BCRYPT_ALG_HANDLE alg;
    BCRYPT_HASH_HANDLE hash;
    BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[1048576]);
    DWORD got = 0;
    while (ReadFile(h, buffer.get(), 1048576, &got, nullptr) && got > 0)
        BCryptHashData(hash, buffer.get(), got, 0);
    unsigned char digest[32];
    BCryptFinishHash(hash, digest, 32, 0);
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(alg, 0);
    CloseHandle(h);
    return toHex(digest, 32);
}

void hashBench(const std::wstring& folder, uint64_t mebibytes) {
    std::wstring path = folder + L"\\hash_bench.bin";
    {
        std::vector<unsigned char> block(1048576);
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<unsigned char>(i * 31 + (i >> 11));
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD n = 0;
        for (uint64_t i = 0; i < mebibytes; ++i) {
            block[0] = static_cast<unsigned char>(i);
            WriteFile(h, block.data(), 1048576, &n, nullptr);
        }
        CloseHandle(h);
    }
    bareHash(path);  // warm the page cache for both
    double bestEngine = 1e9, bestBare = 1e9;
    std::string a, b;
    for (int round = 0; round < 3; ++round) {
        double t0 = now();
        a = hashFile(path, nullptr, nullptr);
        double t1 = now();
        b = bareHash(path);
        double t2 = now();
        bestEngine = std::min(bestEngine, t1 - t0);
        bestBare = std::min(bestBare, t2 - t1);
    }
    DeleteFileW(path.c_str());
    double mb = mebibytes * 1048576.0 / 1e6;
    printf("hash %llu MiB: hashFile %.1f MB/s, bare CNG loop %.1f MB/s, ratio %.3f%s\n",
           static_cast<unsigned long long>(mebibytes), mb / bestEngine, mb / bestBare, bestBare / bestEngine,
           a == b ? "" : "  (DIGESTS DIFFER)");
}

void scanBench(const std::wstring& folder, int files) {
    std::wstring root = folder + L"\\scan_bench";
    CreateDirectoryW(root.c_str(), nullptr);
    Manifest manifest;
    std::string content = "sixteen bytes...";
    std::string hash = sha256Hex(content);
    std::vector<std::wstring> fullPaths;
    for (int i = 0; i < files; ++i) {
        wchar_t dir[32], name[48];
        swprintf(dir, 32, L"d%03d", i / 200);
        swprintf(name, 48, L"d%03d/file%05d.bin", i / 200, i);
        if (i % 200 == 0) CreateDirectoryW((root + L"\\" + dir).c_str(), nullptr);
        std::wstring full = root + L"\\" + name;
        full[full.size() - 14] = L'\\';
        writeFile(full, content.data(), content.size());
        fullPaths.push_back(full);
        ManifestEntry e;
        e.hash = hash;
        e.size = content.size();
        e.path = name;
        manifest.pathIndex[pathKey(e.path)] = manifest.entries.size();
        manifest.entries.push_back(e);
    }
    LiveStatus status;
    StopSignal stop;
    HashCache cache;
    std::vector<uint32_t> downloads;
    ScanCounts counted;
    // Fills the cache: warm from here.
    StepResult scanned = scanListedFiles(root, stop, status, manifest, cache, false, downloads, counted);
    double bestEngine = 1e9, bestBare = 1e9;
    for (int round = 0; round < 3; ++round) {
        downloads.clear();
        double t0 = now();
        scanned = scanListedFiles(root, stop, status, manifest, cache, false, downloads, counted);
        double t1 = now();
        int present = 0;
        for (const std::wstring& p : fullPaths) {
            WIN32_FILE_ATTRIBUTE_DATA data;
            present += GetFileAttributesExW(p.c_str(), GetFileExInfoStandard, &data) ? 1 : 0;
        }
        double t2 = now();
        if (present != files || !downloads.empty() || !scanned.ok())
            printf("  (scan saw %d files, %zu to fetch)\n", present, downloads.size());
        bestEngine = std::min(bestEngine, t1 - t0);
        bestBare = std::min(bestBare, t2 - t1);
    }
    printf(
        "quick scan %d files, warm cache: scan %.0f files/s, bare attribute loop %.0f files/s, ratio %.3f\n",
        files, files / bestEngine, files / bestBare, bestBare / bestEngine);
    for (const std::wstring& p : fullPaths)
        DeleteFileW(p.c_str());
    for (int i = 0; i < files; i += 200) {
        wchar_t dir[32];
        swprintf(dir, 32, L"\\d%03d", i / 200);
        RemoveDirectoryW((root + dir).c_str());
    }
    RemoveDirectoryW(root.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = argc > 1 ? argv[1] : temp;
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    uint64_t mebibytes = argc > 2 ? _wtoi64(argv[2]) : 1024;
    int files = argc > 3 ? _wtoi(argv[3]) : 20000;
    if (mebibytes > 0) hashBench(folder, mebibytes);
    if (files > 0) scanBench(folder, files);
    return 0;
}
