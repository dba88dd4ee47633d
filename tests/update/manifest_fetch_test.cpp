#include "update/manifest_fetch.h"

#include <gtest/gtest.h>

#include "net/http_client.h"
#include "protocol/manifest.h"
#include "tests/support/dev_key.h"
#include "tests/update/download_fixture.h"
#include "update/updater.h"

namespace {

const std::string kList = "#QORVANEPC 1\n#surum 7\nK " + std::string(64, 'a') + " 3 a.bin\n";
const std::string kListPath = "/qorvane/pc/manifest.txt";
const std::string kSigPath = "/qorvane/pc/manifest.sig";

class ManifestFetch : public ::testing::Test {
   protected:
    void SetUp() override {
        pointUpdaterAt(u, server);
        ASSERT_TRUE(openUpdaterSession(u));
    }
    void TearDown() override { closeSession(u.session); }

    StepOutcome fetch() { return fetchManifest(u.session, u.config.retries.list, u.stop, manifest, listBytes, signatureBytes).outcome; }

    LoopbackServer server;
    Updater u;
    Manifest manifest;
    std::string listBytes, signatureBytes;
};

}  // namespace

TEST_F(ManifestFetch, VerifiedListIsParsedWithOneQueryPerAttempt) {
    serveSignedList(server, kList);
    ASSERT_EQ(StepOutcome::Done, fetch());
    EXPECT_EQ(kList, listBytes);
    EXPECT_EQ(64u, signatureBytes.size());
    EXPECT_EQ(7u, manifest.version);
    ASSERT_EQ(1u, manifest.entries.size());
    ASSERT_EQ(StepOutcome::Done, fetch());
    auto lists = server.requestsFor(kListPath), sigs = server.requestsFor(kSigPath);
    ASSERT_EQ(2u, lists.size());
    ASSERT_EQ(2u, sigs.size());
    EXPECT_EQ(lists[0].query, sigs[0].query);  // list and signature of one attempt share the query
    EXPECT_NE(lists[0].query, lists[1].query);
    EXPECT_EQ(18u, lists[0].query.size());
}

TEST_F(ManifestFetch, TransferFailuresEndAfterOneTry) {
    struct Case {
        const char* name;
        std::string faultPath;
        int status;
    } cases[] = {
        {"list 404", kListPath, 404}, {"signature 404", kSigPath, 404}, {"list 500", kListPath, 500}};
    for (const Case& c : cases) {
        serveSignedList(server, kList);
        server.clearRequests();
        LoopbackFault f;
        f.status = c.status;
        server.setFault(c.faultPath, f);
        manifest.version = 99;
        StepResult result = fetchManifest(u.session, u.config.retries.list, u.stop, manifest, listBytes, signatureBytes);
        EXPECT_EQ(StepOutcome::Unavailable, result.outcome) << c.name;
        EXPECT_EQ(c.status, result.httpStatus) << c.name;  // the server's answer, not a transport error
        EXPECT_EQ(0u, result.systemError) << c.name;
        EXPECT_EQ(1u, server.requestsFor(c.faultPath).size()) << c.name;
        EXPECT_EQ(99u, manifest.version) << c.name;  // the caller's list is untouched
        server.clearFaults();
    }
    server.addFile(kListPath, std::string(33554432, '#'));  // over the document limit
    server.clearRequests();
    EXPECT_EQ(StepOutcome::Unavailable, fetch());
    EXPECT_TRUE(server.requestsFor(kSigPath).empty());
    server.stop();
    StepResult nobody = fetchManifest(u.session, u.config.retries.list, u.stop, manifest, listBytes, signatureBytes);
    EXPECT_EQ(StepOutcome::Unavailable, nobody.outcome);
    EXPECT_EQ(0, nobody.httpStatus);
    EXPECT_NE(0u, nobody.systemError) << "a refused connection names its system error";
}

TEST_F(ManifestFetch, RejectedListsAreFetchedTwiceTwoSecondsApart) {
    std::string signature = devSign(kList);
    std::string changed = kList;
    changed[changed.size() - 2] = 'c';  // one byte of the path
    struct Case {
        const char* name;
        std::string list, signature;
    } cases[] = {
        {"list changed by one byte", changed, signature},
        {"65-byte signature", kList, signature + "\x01"},
        {"DER signature", kList,
         std::string("\x30\x44\x02\x20", 4) + signature.substr(0, 32) + std::string("\x02\x20", 2) +
             signature.substr(32)},
        {"no header", "K " + std::string(64, 'a') + " 3 a.bin\n",
         devSign("K " + std::string(64, 'a') + " 3 a.bin\n")},
        {"no files", "#QORVANEPC 1\nD pack\n", devSign("#QORVANEPC 1\nD pack\n")},
    };
    for (const Case& c : cases) {
        server.addFile(kListPath, c.list);
        server.addFile(kSigPath, c.signature);
        server.clearRequests();
        manifest.version = 99;
        ULONGLONG begin = GetTickCount64();
        EXPECT_EQ(StepOutcome::Rejected, fetch()) << c.name;
        // The list policy's pause between the two tries (20 ms here; the tick count moves in steps
        // of up to 16 ms).
        EXPECT_GE(GetTickCount64() - begin + 16, 20u) << c.name;
        auto lists = server.requestsFor(kListPath);
        ASSERT_EQ(2u, lists.size()) << c.name;
        EXPECT_NE(lists[0].query, lists[1].query) << c.name;
        EXPECT_EQ(99u, manifest.version) << c.name;
    }
}

TEST_F(ManifestFetch, StopDuringThePauseEndsAtOnce) {
    server.addFile(kListPath, kList);
    server.addFile(kSigPath, std::string(64, '\0'));
    u.config.retries.list.pausesMs = {3600000};  // only the stop can end this pause
    std::thread stopper([this] {
        while (server.requestsFor(kSigPath).empty())
            Sleep(1);
        Sleep(100);  // most likely inside the pause by now; a stop during the signature's body counts too
        u.stop.request();
    });
    StepOutcome outcome = fetch();
    EXPECT_TRUE(outcome == StepOutcome::Rejected || outcome == StepOutcome::Unavailable);
    stopper.join();
    EXPECT_EQ(1u, server.requestsFor(kListPath).size());
}
