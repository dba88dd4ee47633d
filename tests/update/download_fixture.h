// Helpers for the engine's tests: manifests built from real bytes, an Updater pointed at a temp
// folder with its log switched on and reading that log back, and a game served from the loopback
// server with an Updater and an open session pointed at it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/path_identity.h"
#include "base/sha256.h"
#include "base/text.h"
#include "net/http_client.h"
#include "protocol/hash_cache.h"
#include "protocol/manifest.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_folder.h"
#include "update/downloader.h"
#include "update/live_status.h"
#include "update/update_log.h"
#include "update/updater.h"

inline std::string sha256Of(const std::string& bytes) {
    return sha256Hex(bytes);
}

// Deterministic, non-repeating-looking content so that a misplaced range changes the hash.
inline std::string patternBytes(size_t size, unsigned seed) {
    std::string out(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

inline void addEntry(Manifest& m, const std::wstring& path, uint64_t size, const std::string& hash) {
    ManifestEntry e;
    e.hash = hash;
    e.size = size;
    e.path = path;
    m.entries.push_back(e);
    m.pathIndex[pathKey(path)] = m.entries.size() - 1;
}

inline void addEntry(Manifest& m, const std::wstring& path, const std::string& bytes) {
    addEntry(m, path, bytes.size(), sha256Of(bytes));
}

// Writes bytes through a handle at its start.
inline void writeThrough(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    OVERLAPPED start{};
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &start));
    EXPECT_EQ(written, bytes.size());
}

inline std::vector<uint32_t> allIndices(const Manifest& m) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < m.entries.size(); ++i)
        out.push_back(i);
    return out;
}

// Sets the game folder and switches the log on in it.
inline void pointAt(Updater& updater, const TempFolder& folder) {
    updater.config.rootFolder = folder.path;
    setLogFolder(updater.log, folder.path);
    updater.log.enabled = true;
}

// The retry rules of a run with pauses short enough for a test and still long enough to measure:
// no test waits for the real ones.
inline RetryRules quickRetries() {
    RetryRules rules;
    rules.list.pausesMs = {20};
    rules.wholeFile.pausesMs = {20, 40, 60};
    rules.range.pausesMs = {20, 40, 60};
    return rules;
}

inline std::string logOf(const TempFolder& t) {
    return readFileBytes(t.file(L"koruma\\launcher_gunluk.txt"));
}

inline int countOf(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

// Every ".indir" file anywhere below folder.
inline std::vector<std::wstring> leftoverTemps(const std::wstring& folder) {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW d;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &d);
    if (find == INVALID_HANDLE_VALUE) return out;
    do {
        std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring child = folder + L"\\" + name;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (auto& p : leftoverTemps(child))
                out.push_back(p);
        } else if (name.size() > 6 && name.compare(name.size() - 6, 6, L".indir") == 0) {
            out.push_back(child);
        }
    } while (FindNextFileW(find, &d));
    FindClose(find);
    return out;
}

// The download stage of u over every listed file, its failure reported as the run's driver does.
inline bool runAndReport(Updater& u, const Manifest& manifest, HashCache& cache) {
    StepResult result = runDownloader(downloadSettings(u.config), runServices(u), manifest, allIndices(manifest), cache);
    if (!result.ok() && result.outcome != StepOutcome::Stopped) reportError(u.status, u.log, result);
    return result.ok();
}

// Points the engine at the server: host 127.0.0.1, its port, plain HTTP, the given base path.
inline void pointUpdaterAt(Updater& updater, const LoopbackServer& server,
                           const std::wstring& basePath = L"/qorvane/pc/") {
    ServerAddress& address = updater.config.server;
    address.host = L"127.0.0.1";
    address.port = server.port();
    address.useHttps = false;
    address.basePath = basePath;
    updater.config.retries = quickRetries();
}

// Opens the updater's session on its configured server, as the worker does around a run.
inline bool openUpdaterSession(Updater& updater) {
    return openSession(updater.session, updater.config.server, updater.config.timeouts) == 0;
}

inline std::string objectUrl(const std::string& hash) {
    return "/qorvane/pc/obj/" + hash.substr(0, 2) + "/" + hash;
}

// A game published on the loopback server for the downloader and self-update tests: objects under
// their hash paths, and an Updater with an open session pointed at it.
struct ServedGame {
    LoopbackServer server;
    TempFolder folder;
    Updater u;
    Manifest manifest;
    HashCache cache;

    explicit ServedGame(int connections = 6) {
        pointAt(u, folder);
        pointUpdaterAt(u, server);
        u.config.connectionCount = connections;
    }
    ~ServedGame() { closeSession(u.session); }
    // Session options (time-outs) are read when the session opens, so tests change them first.
    void open() { ASSERT_TRUE(openUpdaterSession(u)); }

    // Lists the file and serves its bytes under its hash path.
    std::string publish(const std::wstring& path, const std::string& bytes) {
        addEntry(manifest, path, bytes);
        std::string hash = manifest.entries.back().hash;
        server.addFile(objectUrl(hash), bytes);
        return hash;
    }
    // Lists `listed` but serves `served` under the listed hash: a server whose file never matches.
    std::string publishMismatch(const std::wstring& path, const std::string& listed,
                                const std::string& served) {
        addEntry(manifest, path, listed);
        std::string hash = manifest.entries.back().hash;
        server.addFile(objectUrl(hash), served);
        return hash;
    }
    // The download stage, with its failure reported as the run's driver reports it.
    bool run() { return runAndReport(u, manifest, cache); }
    std::string log() const { return logOf(folder); }
    // What the run's progress showed last.
    uint64_t bytesShown() { return copyStatus(u.status).bytesDone; }
};
