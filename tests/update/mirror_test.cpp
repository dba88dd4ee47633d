// The engine with mirrors: further loopback servers carrying the game's tree, named in the signed
// list, while the configured server answers 503, stalls, or is down.
#include <gtest/gtest.h>

#include "base/text.h"
#include "tests/update/engine_game.h"
#include "update/object_hosts.h"

namespace {

// What an operator's copy of the published tree gives a mirror: every object and the signed list.
void copyTree(const EngineGame& game, LoopbackServer& mirror) {
    for (const auto& [path, bytes] : game.files)
        mirror.addFile(objectUrl(sha256Of(bytes)), bytes);
    serveSignedList(mirror, game.listText);
}

std::string urlOf(const LoopbackServer& server) {
    return toUtf8(server.url());
}

std::string mirrorRecord(const LoopbackServer& server) {
    return "A " + urlOf(server) + "\n";
}

// Object requests, and how many of them asked for the whole file.
int objectRequests(const LoopbackServer& server, int* whole = nullptr) {
    int count = 0;
    for (const LoopbackRequest& r : server.requests()) {
        if (r.path.find("/obj/") == std::string::npos) continue;
        ++count;
        if (whole && r.range.empty()) ++*whole;
    }
    return count;
}

void refuseObjects(EngineGame& game, const LoopbackFault& fault) {
    for (const auto& [path, bytes] : game.files)
        game.server.setFault(objectUrl(sha256Of(bytes)), fault);
}

void expectInstalled(const EngineGame& game) {
    for (const auto& [path, bytes] : game.files)
        EXPECT_EQ(bytes, game.folder.read(std::wstring(path.begin(), path.end()))) << path;
}

}  // namespace

TEST(Mirrors, FilesMoveOnWhenTheServerAnswers503AndItIsAskedForOneFileOnly) {
    EngineGame game;
    LoopbackServer mirror;
    game.u.config.connectionCount = 1;
    game.rules = mirrorRecord(mirror);
    for (int i = 0; i < 4; ++i)
        game.files["data/f" + std::to_string(i) + ".bin"] = patternBytes(3000 + i, i);
    game.publish();
    copyTree(game, mirror);
    LoopbackFault busy;
    busy.status = 503;
    refuseObjects(game, busy);

    StatusSnapshot status = game.run();
    ASSERT_EQ(UpdatePhase::Ready, status.phase) << game.log();
    expectInstalled(game);
    const std::string log = game.log();
    EXPECT_EQ(4, countOf(log, ", ayna " + urlOf(mirror))) << log;
    EXPECT_EQ(1, countOf(log, "sunucu bu calismada atlaniyor: 127.0.0.1:")) << log;
    // The first file's three attempts; the later files go to the mirror at once.
    EXPECT_EQ(3, objectRequests(game.server));
    EXPECT_EQ(4, objectRequests(mirror));
}

TEST(Mirrors, AStalledTransferFailsAndMovesOn) {
    EngineGame game;
    LoopbackServer mirror;
    game.u.config.connectionCount = 1;
    game.u.config.timeouts.stallWindowMs = 300;  // the rule's 1 KiB per 300 ms instead of per 30 s
    game.rules = mirrorRecord(mirror);
    game.files["big.bin"] = patternBytes(200000, 3);
    game.publish();
    copyTree(game, mirror);
    LoopbackFault stops;
    stops.stallAfterBytes = 1000;
    stops.stallMs = 600000;  // longer than any test may run: only the stall rule ends the wait
    refuseObjects(game, stops);

    StatusSnapshot status = game.run();
    ASSERT_EQ(UpdatePhase::Ready, status.phase) << game.log();
    expectInstalled(game);
    const std::string log = game.log();
    EXPECT_EQ(1, countOf(log, "indirilemedi (1) big.bin, deneme 3")) << log;
    EXPECT_EQ(1, countOf(log, "indirildi big.bin (200000 bayt), ayna " + urlOf(mirror))) << log;
}

TEST(Mirrors, OnlyTheRangesThatFailedComeFromTheMirror) {
    EngineGame game;
    LoopbackServer mirror;
    game.u.config.connectionCount = 2;
    game.rules = mirrorRecord(mirror);
    game.files["big.bin"] = patternBytes(33554433, 4);  // ranges at 0, 16 MiB and 32 MiB
    game.publish();
    copyTree(game, mirror);
    LoopbackFault laterRanges;
    laterRanges.status = 503;
    laterRanges.fromRangeStart = 16777216;
    refuseObjects(game, laterRanges);

    StatusSnapshot status = game.run();
    ASSERT_EQ(UpdatePhase::Ready, status.phase) << game.log();
    expectInstalled(game);
    int whole = 0;
    EXPECT_EQ(2, objectRequests(mirror, &whole));
    EXPECT_EQ(0, whole);
    for (const LoopbackRequest& r : mirror.requests())
        EXPECT_NE(0u, r.range.find("bytes=0-")) << "the range that arrived was fetched again";
    EXPECT_NE(std::string::npos,
              game.log().find("indirildi big.bin (33554433 bayt, 3 parca), ayna " + urlOf(mirror)))
        << game.log();
}

TEST(Mirrors, TheListComesFromAKnownMirrorPastAStaleOne) {
    EngineGame game;
    LoopbackServer stale, fresh;
    game.rules = mirrorRecord(stale) + mirrorRecord(fresh);
    game.files["a.bin"] = patternBytes(5000, 1);
    game.version = 4;
    game.publish();
    copyTree(game, stale);  // the stale mirror stops at version 4
    game.version = 5;
    game.publish();
    copyTree(game, fresh);
    ASSERT_EQ(UpdatePhase::Ready, game.run().phase) << game.log();  // koruma now knows both mirrors

    game.files["a.bin"] = patternBytes(5000, 2);
    game.files["b.bin"] = patternBytes(700, 3);
    game.version = 6;
    game.publish();
    copyTree(game, fresh);
    game.server.stop();
    StatusSnapshot status = game.run();
    ASSERT_EQ(UpdatePhase::Ready, status.phase) << game.log();
    EXPECT_EQ(6u, status.manifestVersion);
    expectInstalled(game);
    const std::string log = game.log();
    EXPECT_EQ(1, countOf(log, "ayna listesi kullanilamadi: " + urlOf(stale) + ": eski liste: surum 4"))
        << log;
    EXPECT_EQ(1, countOf(log, "liste aynadan alindi: " + urlOf(fresh))) << log;
    // The stale mirror lacks the new objects; the down server is not asked for them at all.
    EXPECT_EQ(1, countOf(log, "indirildi b.bin (700 bayt), ayna " + urlOf(fresh))) << log;
    EXPECT_EQ(0, countOf(log, "sunucu bu calismada atlaniyor")) << log;

    // With no mirror left the configured server's own failure is the run's error.
    fresh.stop();
    stale.stop();
    status = game.run();
    EXPECT_EQ(UpdatePhase::Error, status.phase);
    EXPECT_EQ(ErrorKind::Connection, status.errorCode);
    EXPECT_NE(std::string::npos, game.log().find("HATA 1 liste manifest.txt alinamadi")) << game.log();
}
