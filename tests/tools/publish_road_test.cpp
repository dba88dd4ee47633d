// The road from a build to a live tree beyond one-step publishing: the served tree's caching rules,
// signing on another machine, and pruning the object store.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>

#include "base/sha256.h"
#include "base/text.h"
#include "protocol/key_set.h"
#include "protocol/object_path.h"
#include "tests/support/keyed_program.h"
#include "tests/support/source_path.h"
#include "tests/support/temp_folder.h"
#include "tools/list_history.h"
#include "tools/list_signing.h"
#include "tools/offline_signing.h"
#include "tools/prune.h"
#include "tools/publisher.h"
#include "tools/served_tree.h"
#include "tools/tree_verify.h"

namespace {

const std::string kHashA(64, 'a');
const std::string kHashB(64, 'b');
const std::string kHashC(64, 'c');

TEST(ServedTree, DocumentsThatChangeInPlaceMustReachPlayersUncached) {
    struct Case {
        const wchar_t* cacheControl;
        const wchar_t* expires;
        const wchar_t* age;
        const wchar_t* xCache;
        bool problem;
        bool warning;
    } cases[] = {
        {L"no-store", L"", L"", L"", false, false},  // as docs/server.md sets it up
        {L"private, no-cache", L"", L"", L"", false, false},
        {L"public, max-age=0", L"", L"", L"", false, false},
        {L"max-age=600, s-maxage=0", L"", L"", L"", false, false},  // shared caches keep nothing
        {L"public, max-age=600", L"", L"", L"", false, true},
        {L"s-maxage=60", L"", L"", L"", false, true},
        {L"", L"", L"", L"", false, true},  // no rule: caches may keep it by their own heuristics
        {L"", L"Thu, 01 Jan 2099 00:00:00 GMT", L"", L"", false, true},
        {L"", L"Thu, 01 Jan 1970 00:00:00 GMT", L"", L"", false, false},
        {L"", L"0", L"", L"", false, false},          // an Expires that does not parse has expired
        {L"no-store", L"", L"42", L"", true, false},  // a cache answered a query it cannot have seen
        {L"no-store", L"", L"0", L"", false, false},
        {L"no-store", L"", L"", L"HIT from edge-3", true, false},
        {L"no-store", L"", L"", L"MISS", false, false},
        {L"max-age=300", L"", L"17", L"TCP_HIT", true, true},
    };
    for (const Case& c : cases) {
        ResponseHeaders headers;
        headers.cacheControl = c.cacheControl;
        headers.expires = c.expires;
        headers.date = L"Tue, 08 Dec 2026 20:00:00 GMT";
        headers.age = c.age;
        headers.xCache = c.xCache;
        CacheFinding finding = changingDocumentCaching(L"manifest.txt", headers);
        SCOPED_TRACE(
            toUtf8(std::wstring(c.cacheControl) + L" | " + c.expires + L" | " + c.age + L" | " + c.xCache));
        EXPECT_EQ(!finding.problem.empty(), c.problem);
        EXPECT_EQ(!finding.warning.empty(), c.warning);
    }
}

TEST(Pruning, EveryRecordThatNamesAnObjectProtectsIt) {
    struct Case {
        std::string line;
        std::set<std::string> named;
    } cases[] = {
        {"K " + kHashA + " 12 pack/a.dat", {kHashA}},
        {"I " + kHashA + " 12 ayarlar/kullanici.cfg\r", {kHashA}},
        // A chunked file names its content and its chunk index.
        {"P " + kHashA + " " + kHashB + " 4096 pack/buyuk.epk", {kHashA, kHashB}},
        // A record kind this publisher does not know yet still protects what it names.
        {"Z " + kHashC + " 1", {kHashC}},
        {"D pack", {}},
        {"#anahtar " + kHashA + kHashB, {}},
        {"#kural I " + kHashA, {}},
        {"K " + std::string(64, 'A') + " 12 upper.dat", {}},  // never a list hash
        {"K " + kHashA.substr(1) + " 12 short.dat", {}},
        {"S " + kHashA, {kHashA}},  // a rule value that happens to look like a hash: kept, harmlessly
    };
    for (const Case& c : cases) {
        std::set<std::string> found;
        collectListedObjects("#QORVANEPC 1\n" + c.line + "\n", found);
        EXPECT_EQ(found, c.named) << c.line;
    }
}

SigningKey developmentSigningKey() {
    SigningKey key;
    EXPECT_FALSE(readSigningKeyFile(sourcePath("keys/dev-private-key.txt"), key).failed());
    return key;
}

struct RoadFixture : ::testing::Test {
    TempFolder game;
    TempFolder server;
    SigningKey key = developmentSigningKey();

    void SetUp() override {
        writeKeyedProgram(game.file(L"Qorvane Launcher.exe"), {developmentKey()});
        game.write(L"Qorvane.exe", "MZ game bytes");
        game.write(L"pack/harita.dat", "harita 1");
    }
    std::wstring tree(const std::wstring& relative = L"") const {
        return server.path + (relative.empty() ? L"" : L"\\" + relative);
    }
    PublishResult publish(uint64_t version, bool prepareOnly = false) {
        PublishOptions options;
        options.gameFolder = game.path;
        options.serverFolder = tree();
        options.version = version;
        options.signingKey = key;
        options.allowDevelopmentKey = true;
        options.keepPublishedRules = true;
        options.prepareOnly = prepareOnly;
        return publishGame(options, nullptr, nullptr);
    }
    bool objectPresent(const std::string& content) const {
        std::wstring relative = objectPath(sha256Hex(content));
        return GetFileAttributesW(tree(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
};

TEST_F(RoadFixture, APreparedListIsSignedElsewhereAndPlacedOnlyWithTheLaunchersKey) {
    ASSERT_TRUE(publish(1).ok);
    const std::string live1 = readFileBytes(tree(L"manifest.txt"));
    game.write(L"pack/harita.dat", "harita 2");
    PublishResult prepared = publish(2, true);
    ASSERT_TRUE(prepared.ok) << toUtf8(prepared.error);
    // The objects are in place, the live list untouched.
    EXPECT_TRUE(objectPresent("harita 2"));
    EXPECT_EQ(readFileBytes(tree(L"manifest.txt")), live1);
    const std::string list = readFileBytes(prepared.preparedList);

    PreparedListSummary summary;
    std::wstring error;
    ASSERT_TRUE(readPreparedList(list, summary, error)) << toUtf8(error);
    EXPECT_EQ(summary.version, 2u);
    EXPECT_EQ(summary.files, 3);
    EXPECT_TRUE(summary.namesLauncher);
    EXPECT_EQ(summary.launcherKeys, KeySet{developmentKey()});

    SigningKey otherKey;
    KeySet other = freshKeySet(&otherKey);
    EXPECT_NE(signingRefusal(summary, developmentKey(), false), L"");  // the development key needs its option
    EXPECT_EQ(signingRefusal(summary, developmentKey(), true), L"");
    EXPECT_NE(signingRefusal(summary, other.front(), true), L"");  // a key the launcher lacks
    PreparedListSummary damaged;
    EXPECT_FALSE(readPreparedList(list + "#anahtar 12\n", damaged, error));

    PlaceOptions place;
    place.serverFolder = tree();
    place.allowDevelopmentKey = true;
    std::string signature;
    // A signature of a changed list, and one by a key the launcher does not carry, are refused.
    std::string changed = list;
    changed.replace(changed.find("#surum 2"), 8, "#surum 3");
    ASSERT_FALSE(signList(key, changed, signature).failed());
    writeFileBytes(tree(L"hazirlik\\manifest.sig"), signature);
    EXPECT_FALSE(placeSignedList(place).ok);
    ASSERT_FALSE(signList(otherKey, list, signature).failed());
    writeFileBytes(tree(L"hazirlik\\manifest.sig"), signature);
    EXPECT_FALSE(placeSignedList(place).ok);
    EXPECT_EQ(readFileBytes(tree(L"manifest.txt")), live1);

    ASSERT_FALSE(signList(key, list, signature).failed());
    writeFileBytes(tree(L"hazirlik\\manifest.sig"), signature);
    place.allowDevelopmentKey = false;
    EXPECT_FALSE(placeSignedList(place).ok);  // signed with the development key, not allowed here
    place.allowDevelopmentKey = true;
    PublishResult placed = placeSignedList(place);
    ASSERT_TRUE(placed.ok) << toUtf8(placed.error);
    EXPECT_EQ(readFileBytes(tree(L"manifest.txt")), list);
    EXPECT_TRUE(verifyPublishedTree(tree(), {developmentKey()}).ok());
    EXPECT_FALSE(server.exists(L"hazirlik"));
    std::vector<std::wstring> history = historyLists(tree());
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(readFileBytes(history[0]), live1);
    // A second placement has nothing to place.
    EXPECT_FALSE(placeSignedList(place).ok);
}

TEST_F(RoadFixture, PruningKeepsWhatTheLastListsAndAPreparedListName) {
    for (int version = 1; version <= 3; ++version) {
        game.write(L"pack/harita.dat", "harita " + std::to_string(version));
        ASSERT_TRUE(publish(version).ok);
    }
    ASSERT_EQ(historyLists(tree()).size(), 2u);
    // A chunk index named only by a "P" record of the newest history list, and a prepared build.
    const std::string index = "parca dizini";
    server.write(objectPath(sha256Hex(index)), index);
    std::wstring newest = historyLists(tree()).front();
    writeFileBytes(newest, readFileBytes(newest) + "P " + sha256Hex("harita 2") + " " + sha256Hex(index) +
                               " 12 " + "pack/harita.dat\n");
    game.write(L"pack/harita.dat", "harita 4");
    ASSERT_TRUE(publish(4, true).ok);
    server.write(L"obj/aa/" + std::wstring(64, L'a') + L".gecici", "yarim");

    PruneOptions options{tree(), 2, true};
    PruneResult trial = pruneObjects(options);
    ASSERT_TRUE(trial.ok) << toUtf8(trial.error);
    EXPECT_EQ(trial.deleted.size(), 2u);  // version 1's map and the staged leftover
    EXPECT_TRUE(objectPresent("harita 1"));
    EXPECT_TRUE(objectPresent("parca dizini"));

    options.dryRun = false;
    PruneResult r = pruneObjects(options);
    ASSERT_TRUE(r.ok) << toUtf8(r.error);
    EXPECT_EQ(r.deleted.size(), 2u);
    EXPECT_EQ(r.bytesFreed, 8u + 5u);
    EXPECT_EQ(r.listsKept.size(), 3u);  // live, prepared, newest history
    EXPECT_EQ(r.listsDropped.size(), 1u);
    EXPECT_EQ(historyLists(tree()).size(), 1u);
    for (const char* kept : {"harita 2", "harita 3", "harita 4", "parca dizini", "MZ game bytes"})
        EXPECT_TRUE(objectPresent(kept)) << kept;
    EXPECT_FALSE(objectPresent("harita 1"));
    EXPECT_TRUE(verifyPublishedTree(tree(), {developmentKey()}).ok());

    options.keepLists = 1;
    r = pruneObjects(options);
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(objectPresent("harita 2"));
    EXPECT_FALSE(objectPresent("parca dizini"));
    EXPECT_TRUE(objectPresent("harita 3"));
    EXPECT_TRUE(objectPresent("harita 4"));  // the prepared list still needs it

    options.keepLists = 0;
    EXPECT_FALSE(pruneObjects(options).ok);
    // A history list that cannot be read could name anything: nothing is deleted.
    game.write(L"pack/harita.dat", "harita 5");
    ASSERT_TRUE(publish(5).ok);
    writeFileBytes(historyLists(tree()).front(), "bozuk");
    options.keepLists = 3;
    EXPECT_FALSE(pruneObjects(options).ok);
}

TEST(ListHistory, KeepsTheMostRecentlyReplacedListsInTheOrderTheyWentOut) {
    TempFolder target;
    EXPECT_EQ(archiveLiveList(target.path, 7), 0u);  // nothing live yet: nothing kept, no failure
    EXPECT_TRUE(historyLists(target.path).empty());
    // Versions out of order (a lower one published on purpose) do not change the order.
    const uint64_t versions[] = {5, 9, 3};
    for (uint64_t version : versions) {
        target.write(L"manifest.txt", "liste " + std::to_string(version));
        ASSERT_EQ(archiveLiveList(target.path, version), 0u);
    }
    std::vector<std::wstring> history = historyLists(target.path);
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(readFileBytes(history[0]), "liste 3");
    EXPECT_EQ(readFileBytes(history[2]), "liste 5");
    target.write(L"gecmis/notlar.txt", "not a list");
    for (uint64_t version = 10; version < 10 + kListHistoryLimit; ++version) {
        target.write(L"manifest.txt", "liste " + std::to_string(version));
        ASSERT_EQ(archiveLiveList(target.path, version), 0u);
    }
    history = historyLists(target.path);
    ASSERT_EQ(history.size(), kListHistoryLimit);
    EXPECT_EQ(readFileBytes(history.front()), "liste " + std::to_string(9 + kListHistoryLimit));
    EXPECT_EQ(readFileBytes(history.back()), "liste 10");
    EXPECT_TRUE(target.exists(L"gecmis/notlar.txt"));
}

}  // namespace
