// A game published on the in-process loopback server for the downloader and self-update tests:
// objects under their hash paths, and an Updater with an open session pointed at it.
#pragma once

#include "tests/support/loopback_server.h"
#include "tests/update/download_fixture.h"
#include "update/downloader.h"
#include "update/http_client.h"

inline std::string objectUrl(const std::string& hash) {
    return "/qorvane/pc/obj/" + hash.substr(0, 2) + "/" + hash;
}

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
    ~ServedGame() { closeSession(u); }
    // Session options (time-outs) are read when the session opens, so tests change them first.
    void open() { ASSERT_TRUE(openSession(u)); }

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
    bool run() { return runDownloader(u, manifest, allIndices(manifest), cache); }
    std::string log() const { return logOf(folder); }
};
