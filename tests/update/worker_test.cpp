#include <gtest/gtest.h>

#include <memory>

#include "base/security.h"
#include "tests/update/engine_game.h"
#include "update/updater.h"
#include "update/worker.h"

namespace {

struct EnvironmentGuard {
    ~EnvironmentGuard() {
        SetEnvironmentVariableW(L"QORVANE_SUNUCU", nullptr);
        SetEnvironmentVariableW(L"QORVANE_ISCI", nullptr);
    }
};

}  // namespace

TEST(WorkerConfig, ServerUrlFromTheEnvironment) {
    EnvironmentGuard guard;
    struct Case {
        std::wstring value;
        const wchar_t* host;
        uint16_t port;
        bool https;
        const wchar_t* basePath;
    } cases[] = {
        {L"http://127.0.0.1:8080/oyun", L"127.0.0.1", 8080, false, L"/oyun/"},
        {L"https://cdn.example.net", L"cdn.example.net", 443, true, L"/"},
        {L"http://cdn.example.net/a/b/", L"cdn.example.net", 80, false, L"/a/b/"},
        // Refused values keep the previous configuration.
        {L"ftp://files.example.net/x", L"start.example", 1234, true, L"/base/"},
        {L"not a url", L"start.example", 1234, true, L"/base/"},
        {L"http://x.example/" + std::wstring(495, L'p'), L"start.example", 1234, true,
         L"/base/"},  // 512 long
    };
    for (const Case& c : cases) {
        Updater u;
        u.config.server.host = L"start.example";
        u.config.server.port = 1234;
        u.config.server.basePath = L"/base/";
        SetEnvironmentVariableW(L"QORVANE_SUNUCU", c.value.c_str());
        configureRun(u, L"C:\\oyun", false);
        EXPECT_EQ(c.host, u.config.server.host) << c.value.size();
        EXPECT_EQ(c.port, u.config.server.port) << c.value.size();
        EXPECT_EQ(c.https, u.config.server.useHttps) << c.value.size();
        EXPECT_EQ(c.basePath, u.config.server.basePath) << c.value.size();
    }
}

// The tries and pauses every run starts with (tests shorten the pauses): the list twice 2 s apart,
// a file or a range three times after pauses of 1, 2 and 3 s, the launcher three times in a row.
TEST(WorkerConfig, RetryRulesOfARun) {
    const RetryRules rules = Updater().config.retries;
    const std::pair<const RetryPolicy*, RetryPolicy> table[] = {
        {&rules.list, {2, {2000}}},
        {&rules.wholeFile, {3, {1000, 2000, 3000}}},
        {&rules.range, {3, {1000, 2000, 3000}}},
        {&rules.selfUpdate, {3, {}}},
    };
    for (const auto& [policy, expected] : table) {
        EXPECT_EQ(policy->attempts, expected.attempts);
        EXPECT_EQ(policy->pausesMs, expected.pausesMs);
    }
}

TEST(WorkerConfig, ConnectionCountFromTheEnvironment) {
    EnvironmentGuard guard;
    struct Case {
        const wchar_t* value;
        int count;
    } cases[] = {{L"0", 6},  {L"17", 6},   {L"abc", 6}, {L"-3", 6}, {L"", 6},
                 {L" 8", 8}, {L"16x", 16}, {L"+2", 2},  {L"1", 1},  {L"99999999999999999999", 6}};
    for (const Case& c : cases) {
        Updater u;
        SetEnvironmentVariableW(L"QORVANE_ISCI", c.value);
        configureRun(u, L"C:\\oyun", true);
        EXPECT_EQ(c.count, u.config.connectionCount) << c.value;
        EXPECT_TRUE(u.config.skipSelfUpdate);
    }
    Updater u;
    u.config.rootFolder = L"C:\\eski";
    configureRun(u, u.config.rootFolder, false);  // handing in its own folder is harmless
    EXPECT_EQ(L"C:\\eski", u.config.rootFolder);
}

TEST(WorkerLifecycle, StartWhileRunningIsIgnoredAndStopDetachesAStalledWorker) {
    // The Updater must outlive the detached worker, so it lives on the heap until the worker ends.
    auto game = std::make_unique<EngineGame>();
    game->publish();
    LoopbackFault stall;
    stall.stallMs = 600000;  // only closing the server ends it
    game->server.setFault("/qorvane/pc/manifest.txt", stall);
    startRun(game->u, false, false);
    Sleep(300);
    startRun(game->u, true, false);  // ignored: neither a second run nor a full scan
    DWORD begin = GetTickCount();
    stopRun(game->u, 1500);
    EXPECT_GE(GetTickCount() - begin, 1450u);
    // Back while the worker is still blocked in its receive: the thread was let go, not waited for.
    EXPECT_FALSE(game->u.workerThread.joinable());
    EXPECT_TRUE(game->u.workerRunning);
    // Closing the server ends the blocked receive; the worker then sees the stop and ends quietly.
    game->server.stop();
    for (int i = 0; i < 500 && game->u.workerRunning; ++i)
        Sleep(20);
    ASSERT_FALSE(game->u.workerRunning);
    Sleep(50);  // the worker's last act is clearing the flag; let its thread return
    EXPECT_EQ(UpdatePhase::Connecting, copyStatus(game->u.status).phase);
    std::string log = game->log();
    EXPECT_EQ(1, countOf(log, "---- basla"));
    EXPECT_EQ(1, countOf(log, "---- basla: hizli tarama (--guncellendi), sunucu 127.0.0.1:"));
    EXPECT_EQ(0, countOf(log, "HATA"));
}

TEST(WorkerLifecycle, LargeLogIsRestartedAndCheckOnlyRunsWriteNothing) {
    EngineGame game;
    game.files["a.bin"] = "abc";
    game.publish();
    game.u.config.skipSelfUpdate = false;
    game.folder.write(L"koruma/launcher_gunluk.txt", std::string(600000, 'x'));
    game.server.setFault("/qorvane/pc/manifest.txt", LoopbackFault{404});
    StatusSnapshot s = game.run();
    EXPECT_EQ(UpdatePhase::Error, s.phase);
    EXPECT_EQ(ErrorKind::Connection, s.errorCode);
    // The detail names the document and the server's answer; no system call failed.
    EXPECT_EQ(L"liste manifest.txt alinamadi: HTTP 404", s.detailText);
    std::string log = game.log();
    EXPECT_LT(log.size(), 1000u);
    EXPECT_EQ(0u, log.find("20"));  // starts with the time stamp of the start line
    EXPECT_NE(std::string::npos, log.find("---- basla: hizli tarama, sunucu 127.0.0.1:"));
    EXPECT_NE(std::string::npos, log.find("HATA 1 liste manifest.txt alinamadi: HTTP 404 (son sistem hatasi 0)\r\n"))
        << log;
    // The test build trusts the development key, and every run's log says so after its start line.
    size_t start = log.find("---- basla"), warning = log.find("UYARI: gelistirme anahtarina guvenen launcher");
    EXPECT_NE(std::string::npos, warning);
    EXPECT_EQ(log.find("\r\n", start) + 2 + 20, warning);

    EngineGame fresh;
    fresh.files["a.bin"] = "abc";
    fresh.publish();
    fresh.u.config.skipSelfUpdate = false;
    StatusSnapshot checked = fresh.run(false, true);
    EXPECT_EQ(UpdatePhase::ListChecked, checked.phase);
    EXPECT_FALSE(fresh.folder.exists(L"koruma"));
}

// An install made by an older build may sit in a folder every account can write: each run says so.
// Wine keeps rights as the Unix mode, which is enough to show both cases.
TEST(WorkerLifecycle, ARunWarnsWhenOtherAccountsMayWriteTheGameFolder) {
    EngineGame game;
    game.files["a.bin"] = "a";
    game.publish();
    const std::string warning = "UYARI: oyun klasorune baska hesaplar da yazabilir";
    const std::wstring user = currentUserSid();
    ASSERT_EQ(protectFolder(game.folder.path, privateFolderSddl(user)), 0u);
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    EXPECT_EQ(std::string::npos, game.log().find(warning)) << game.log();
    ASSERT_EQ(protectFolder(game.folder.path, L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;WD)"), 0u);
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase);
    EXPECT_NE(std::string::npos, game.log().find(warning)) << game.log();
}
