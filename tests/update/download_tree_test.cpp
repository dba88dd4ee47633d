// Whole runs over a published game tree served from loopback: an empty folder is filled
// byte-identical, a second run fetches nothing, and changes on either side converge.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/dev_key.h"
#include "tests/update/download_served.h"
#include "tools/publisher.h"
#include "update/run_driver.h"

namespace {

using Tree = std::map<std::wstring, std::string>;

void readTree(const std::wstring& root, const std::wstring& relative, Tree& out) {
    WIN32_FIND_DATAW d;
    std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &d);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring child = relative.empty() ? name : relative + L"/" + name;
        if (relative.empty() && name == L"koruma") continue;  // the launcher's own state
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            readTree(root, child, out);
        else
            out[child] = readFileBytes(folder + L"\\" + name);
    } while (FindNextFileW(find, &d));
    FindClose(find);
}

Tree treeOf(const std::wstring& root) {
    Tree t;
    readTree(root, L"", t);
    return t;
}

// A few hundred files from empty to above 32 MiB, nested, with blanks and Turkish letters.
void generateGame(const TempFolder& game) {
    const wchar_t* folders[] = {
        L"", L"data", L"data/alt klasör", L"Şehir haritaları", L"Şehir haritaları/ığüşöç çİ", L"pack/Maps"};
    for (int i = 0; i < 300; ++i) {
        std::wstring folder = folders[i % 6];
        std::wstring name = L"dosya " + std::to_wstring(i) + (i % 7 == 0 ? L" çağrı" : L"") + L".bin";
        size_t size = i % 50 == 0 ? 0 : static_cast<size_t>(i * 7919 % 20000);
        game.write(folder.empty() ? name : folder + L"/" + name, patternBytes(size, i));
    }
    game.write(L"pack/orta boy.epk", patternBytes(1048576, 1000));
    game.write(L"pack/büyük arşiv.epk", patternBytes(40000000, 1001));
}

struct PublishedGame {
    TempFolder game;
    TempFolder server;
    LoopbackServer http;
    TempFolder installed;
    Updater u;

    PublishedGame() {
        http.serveFolder("/qorvane/pc/", server.path);
        u.rootFolder = installed.path;
        pointUpdaterAt(u, http);
    }
    void publish(uint64_t version) {
        PublishOptions o;
        o.gameFolder = game.path;
        o.serverFolder = server.path;
        o.version = version;
        // Folders the launcher keeps free of files the list does not know.
        o.rules.recordLines = {"D data", "D pack"};
        o.signingKey = devSigningKey();
        PublishResult r = publishGame(o, nullptr, nullptr);
        ASSERT_TRUE(r.ok) << toUtf8(r.error);
    }
    // One full run on this thread, as the worker thread would do it.
    void run() {
        http.clearRequests();
        u.stopRequested = false;
        {
            std::lock_guard<std::mutex> lock(u.statusMutex);
            resetStatusForRun(u);
        }
        u.workerRunning = true;
        runWorker(u, false, false);
    }
    size_t objectRequests() const {
        size_t n = 0;
        for (const auto& r : http.requests())
            n += r.path.rfind("/qorvane/pc/obj/", 0) == 0;
        return n;
    }
    void expectConverged() {
        StatusSnapshot s = copyStatus(u);
        EXPECT_EQ(s.phase, UpdatePhase::Ready) << static_cast<int>(s.errorCode) << " " << toUtf8(s.detailText) << "\n" << logOf(installed);
        Tree want = treeOf(game.path);
        Tree got = treeOf(installed.path);
        EXPECT_EQ(want.size(), got.size());
        for (const auto& [path, bytes] : want) {
            auto it = got.find(path);
            if (it == got.end())
                ADD_FAILURE() << "missing " << toUtf8(path);
            else if (it->second != bytes)
                ADD_FAILURE() << "differs " << toUtf8(path);
        }
        for (const auto& [path, bytes] : got)
            if (!want.count(path)) ADD_FAILURE() << "extra " << toUtf8(path);
        EXPECT_TRUE(leftoverTemps(installed.path).empty());
    }
};

}  // namespace

TEST(DownloadTree, EmptyFolderFillsThenStaysThenConverges) {
    PublishedGame p;
    generateGame(p.game);
    p.publish(1);

    p.run();
    p.expectConverged();
    std::string log = logOf(p.installed);
    EXPECT_NE(log.find("tarama bitti: 302 dosya, 302 indirilecek"), std::string::npos) << log;
    EXPECT_NE(log.find("indirildi pack/büyük arşiv.epk (40000000 bayt, 3 parca)"), std::string::npos);
    EXPECT_EQ(copyStatus(p.u).filesUpdated, 302);

    p.run();
    p.expectConverged();
    EXPECT_EQ(p.objectRequests(), 0u);
    EXPECT_EQ(copyStatus(p.u).filesUpdated, 0);

    // Server side: one file changed, one added, one removed; local side: one file damaged.
    p.game.write(L"data/dosya 1.bin", "changed on the server");
    p.game.write(L"data/yeni klasör/eklendi.txt", "added");
    DeleteFileW(p.game.file(L"pack/Maps/dosya 5.bin").c_str());
    p.publish(2);
    p.installed.write(L"Şehir haritaları/dosya 3.bin", "damaged locally");
    p.run();
    p.expectConverged();
    EXPECT_EQ(p.objectRequests(), 3u);
    EXPECT_EQ(copyStatus(p.u).filesUpdated, 3);
}
