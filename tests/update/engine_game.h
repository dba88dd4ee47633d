// A game published on the loopback server with a list signed by the development key, and an
// Updater whose real worker runs against it in a temp folder.
#pragma once

#include <map>
#include <string>

#include "tests/support/dev_key.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_folder.h"
#include "tests/update/download_fixture.h"
#include "update/updater.h"
#include "update/worker.h"

struct EngineGame {
    LoopbackServer server;
    TempFolder folder;
    Updater u;
    std::map<std::string, std::string> files;        // path as listed -> content ("K" records)
    std::map<std::string, std::string> installOnly;  // "I" records
    std::string rules;                               // extra record lines, each ending in "\n"
    uint64_t version = 5;
    std::string listText;

    EngineGame() {
        pointUpdaterAt(u, server);
        u.config.rootFolder = folder.path;
        u.config.skipSelfUpdate = true;  // the test binary is no launcher to replace
    }
    ~EngineGame() { finish(); }

    void publish() {
        listText = "#QORVANEPC 1\n#surum " + std::to_string(version) + "\n" + rules;
        auto add = [&](char kind, const std::string& path, const std::string& bytes) {
            std::string hash = sha256Of(bytes);
            listText +=
                std::string(1, kind) + " " + hash + " " + std::to_string(bytes.size()) + " " + path + "\n";
            server.addFile("/qorvane/pc/obj/" + hash.substr(0, 2) + "/" + hash, bytes);
        };
        for (const auto& [path, bytes] : files)
            add('K', path, bytes);
        for (const auto& [path, bytes] : installOnly)
            add('I', path, bytes);
        serveSignedList(server, listText);
    }
    // Writes every listed file into the game folder as published.
    void install() {
        for (const auto& [path, bytes] : files)
            folder.write(std::wstring(path.begin(), path.end()), bytes);
        for (const auto& [path, bytes] : installOnly)
            folder.write(std::wstring(path.begin(), path.end()), bytes);
    }
    // One run on the real worker thread, waited for (at most a minute).
    StatusSnapshot run(bool fullScan = false, bool checkOnly = false) {
        startRun(u, fullScan, checkOnly);
        finish();
        return copyStatus(u.status);
    }
    void finish() {
        for (int i = 0; i < 3000 && u.workerRunning; ++i)
            Sleep(20);
        if (u.workerThread.joinable()) u.workerThread.join();
    }
    std::string log() const { return logOf(folder); }
};
