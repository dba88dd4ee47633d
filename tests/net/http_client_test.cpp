#include "net/http_client.h"

#include <gtest/gtest.h>

#include <set>

#include "base/handles.h"
#include "base/stop_signal.h"
#include "tests/support/loopback_server.h"

namespace {

const std::string kBase = "/qorvane/pc/";

struct Blocks {
    std::vector<size_t> sizes;
    std::string bytes;
};

bool recordBlocks(void* context, const uint8_t* data, size_t length, uint64_t total) {
    auto* b = static_cast<Blocks*>(context);
    b->sizes.push_back(length);
    b->bytes.append(reinterpret_cast<const char*>(data), length);
    return b->bytes.size() == total;
}

class HttpClient : public ::testing::Test {
   protected:
    void SetUp() override {
        ServerAddress address{L"127.0.0.1", L"/qorvane/pc/", server.port(), false};
        SessionTimeouts timeouts;
        timeouts.receiveMs = 1500;
        ASSERT_EQ(0u, openSession(session, address, timeouts));
    }
    void TearDown() override { closeSession(session); }

    // The status, 0 when the transfer broke off; a broken transfer must carry its system error.
    int fetch(const std::string& name, Blocks& out, uint64_t start = 0, uint64_t length = 0) {
        HttpResult r = httpGet(session, nullptr, std::wstring(name.begin(), name.end()), recordBlocks, &out, start, length);
        EXPECT_FALSE(r.sinkRefused);
        EXPECT_EQ(r.status == 0, r.systemError != 0) << r.status << " " << r.systemError;
        lastError = r.systemError;
        return r.status;
    }

    DWORD lastError = 0;

    LoopbackServer server;
    HttpSession session;
    StopSignal stop;
};

std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return s;
}

}  // namespace

TEST_F(HttpClient, WholeObjectAndRequestShape) {
    server.addFile(kBase + "manifest.txt", "hello list");
    Blocks b;
    EXPECT_EQ(200, fetch("manifest.txt?r=0011223344556677", b));
    EXPECT_EQ("hello list", b.bytes);
    auto seen = server.requestsFor(kBase + "manifest.txt");
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("r=0011223344556677", seen[0].query);
    EXPECT_EQ("", seen[0].range);
    EXPECT_EQ("QorvaneLauncher/1.0", seen[0].userAgent);
}

TEST_F(HttpClient, StatusesOtherThanExpectedSkipTheBody) {
    server.addFile(kBase + "f", pattern(1000));
    server.addFile(kBase + "empty", "");
    LoopbackFault ignore;
    ignore.ignoreRange = true;
    server.setFault(kBase + "f", ignore);
    Blocks b;
    EXPECT_EQ(200, fetch("f", b, 10, 20));  // a range answered with the whole file
    EXPECT_EQ(404, fetch("missing", b));
    LoopbackFault unavailable;
    unavailable.status = 503;
    server.setFault(kBase + "f", unavailable);
    EXPECT_EQ(503, fetch("f", b));
    EXPECT_EQ(200, fetch("empty", b));  // an empty body never reaches the sink
    EXPECT_TRUE(b.sizes.empty());
}

TEST_F(HttpClient, RangesAreInclusiveAndReuseTheConnection) {
    std::string body = pattern(5000);
    server.addFile(kBase + "f", body);
    UniqueInternet connection(openConnection(session));
    ASSERT_TRUE(connection);
    Blocks first, middle;
    EXPECT_TRUE(httpGet(session, connection.get(), L"f", recordBlocks, &first, 0, 1).delivered(206));
    EXPECT_TRUE(httpGet(session, connection.get(), L"f", recordBlocks, &middle, 1000, 3000).delivered(206));
    EXPECT_EQ(body.substr(0, 1), first.bytes);
    EXPECT_EQ(body.substr(1000, 3000), middle.bytes);
    auto seen = server.requests();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ("bytes=0-0", seen[0].range);
    EXPECT_EQ("bytes=1000-3999", seen[1].range);
    EXPECT_EQ(seen[0].connection, seen[1].connection);
}

TEST_F(HttpClient, LargeBodiesArriveInBoundedBlocks) {
    std::string body = pattern(3 * 262144 + 17);
    server.addFile(kBase + "big", body);
    Blocks b;
    EXPECT_EQ(200, fetch("big", b));
    EXPECT_EQ(body, b.bytes);
    for (size_t n : b.sizes)
        EXPECT_LE(n, 262144u);
}

TEST_F(HttpClient, TransportFailuresReturnZero) {
    server.addFile(kBase + "f", pattern(100000));
    LoopbackFault drop;
    drop.dropAfterBytes = 5000;
    server.setFault(kBase + "f", drop);
    Blocks b;
    EXPECT_EQ(0, fetch("f", b));

    LoopbackFault stall;
    stall.stallMs = 5000;
    stall.stallAfterBytes = 1000;
    server.setFault(kBase + "f", stall);
    Blocks stalled;
    EXPECT_EQ(0, fetch("f", stalled));
    // The receive time-out, not the end of the stall, ended it: Windows reports ERROR_WINHTTP_TIMEOUT,
    // Wine the socket's WSAETIMEDOUT.
    EXPECT_TRUE(lastError == ERROR_WINHTTP_TIMEOUT || lastError == WSAETIMEDOUT) << lastError;

    uint16_t port = server.port();
    server.stop();
    EXPECT_EQ(0, fetch("f", b));
    ASSERT_TRUE(server.start(port));  // the same address works again
    server.clearFaults();
    Blocks again;
    EXPECT_EQ(200, fetch("f", again));
    EXPECT_EQ(100000u, again.bytes.size());
}

TEST_F(HttpClient, TransfersThatStallFailWithinTheWindow) {
    // Every receive time-out is ten minutes and every server pause two: only the stall rule (1 KiB per
    // 300 ms here) can end these transfers with a failure; without it they would complete.
    ServerAddress address{L"127.0.0.1", L"/qorvane/pc/", server.port(), false};
    SessionTimeouts timeouts;
    timeouts.receiveMs = 600000;
    timeouts.stallWindowMs = 300;
    HttpSession watched;
    ASSERT_EQ(0u, openSession(watched, address, timeouts));
    server.addFile(kBase + "f", pattern(20000));
    struct Case {
        const char* name;
        LoopbackFault fault;
        bool stalls;
    } cases[] = {
        {"drips 2 bytes every 30 ms", [] { LoopbackFault f; f.dripMs = 30; f.dripBytes = 2; return f; }(), true},
        {"stops after 1000 bytes", [] { LoopbackFault f; f.stallAfterBytes = 1000; f.stallMs = 120000; return f; }(), true},
        {"says nothing after the request", [] { LoopbackFault f; f.stallMs = 120000; return f; }(), true},
        {"slow but above the rule", [] { LoopbackFault f; f.dripMs = 40; f.dripBytes = 2048; return f; }(), false},
    };
    for (const Case& c : cases) {
        server.setFault(kBase + "f", c.fault);
        Blocks b;
        HttpResult r = httpGet(watched, nullptr, L"f", recordBlocks, &b, 0, 0);
        if (c.stalls) {
            EXPECT_EQ(0, r.status) << c.name;
            EXPECT_NE(0u, r.systemError) << c.name;
            EXPECT_LT(b.bytes.size(), 20000u) << c.name;
        } else {
            EXPECT_EQ(200, r.status) << c.name;
            EXPECT_FALSE(r.stalled) << c.name;
            EXPECT_EQ(pattern(20000), b.bytes) << c.name;
        }
    }
    // A body that broke off by the rule says so, whichever way the platform ended the read.
    LoopbackFault drip;
    drip.dripMs = 30;
    drip.dripBytes = 2;
    server.setFault(kBase + "f", drip);
    Blocks b;
    EXPECT_TRUE(httpGet(watched, nullptr, L"f", recordBlocks, &b, 0, 0).stalled);
    closeSession(watched);
}

TEST_F(HttpClient, WrongLengthBodiesAreDeliveredAsSent) {
    std::string body = pattern(70000);
    server.addFile(kBase + "f", body);
    LoopbackFault f;
    f.shortenBy = 10;
    f.times = 1;
    server.setFault(kBase + "f", f);
    Blocks shorter;
    EXPECT_EQ(200, fetch("f", shorter));
    EXPECT_EQ(body.substr(0, 69990), shorter.bytes);

    f = {};
    f.extendBy = 5;
    f.extendDelayMs = 300;
    f.times = 1;
    server.setFault(kBase + "f", f);
    Blocks longer;
    EXPECT_EQ(206, fetch("f", longer, 0, 70000));
    EXPECT_EQ(body + "ZZZZZ", longer.bytes);
    // The range asked for is handed over once complete, so the late surplus is a block of its own.
    ASSERT_FALSE(longer.sizes.empty());
    EXPECT_EQ(5u, longer.sizes.back());

    f = {};
    f.noContentLength = true;  // a body that only the closing connection ends
    f.times = 1;
    server.setFault(kBase + "f", f);
    Blocks unbounded;
    EXPECT_EQ(200, fetch("f", unbounded));
    EXPECT_EQ(body, unbounded.bytes);
}

TEST_F(HttpClient, CollectorRefusesThirtyTwoMebibytes) {
    for (size_t size : {size_t(33554431), size_t(33554432)}) {
        server.addFile(kBase + "big", std::string(size, 'q'));
        std::string target;
        BodyCollector c{&target, &stop};
        HttpResult result = httpGet(session, nullptr, L"big", collectBody, &c, 0, 0);
        EXPECT_EQ(200, result.status) << size;
        EXPECT_EQ(size >= 33554432, result.sinkRefused) << size;
        if (result.delivered(200)) {
            EXPECT_EQ(size, target.size());
        }
    }
    server.removeFile(kBase + "big");
}

TEST_F(HttpClient, StopEndsTheBodyAtTheNextBlock) {
    server.addFile(kBase + "f", pattern(4 * 262144));
    struct Context {
        StopSignal* stop;
        std::string target;
        BodyCollector collector;
        int calls = 0;
    } ctx{&stop, {}, {nullptr, &stop}};
    ctx.collector.target = &ctx.target;
    auto sink = [](void* c, const uint8_t* data, size_t n, uint64_t total) {
        auto* x = static_cast<Context*>(c);
        if (++x->calls == 1) x->stop->request();  // the request arrives while the body streams
        return collectBody(&x->collector, data, n, total);
    };
    EXPECT_TRUE(httpGet(session, nullptr, L"f", sink, &ctx, 0, 0).sinkRefused);
    EXPECT_EQ(1, ctx.calls);
    EXPECT_TRUE(ctx.target.empty());
}

TEST(CacheBuster, SixteenHexDigitsFreshEachTime) {
    std::set<std::wstring> seen;
    for (int i = 0; i < 20; ++i) {
        std::wstring r = makeCacheBuster();
        ASSERT_EQ(19u, r.size());
        EXPECT_EQ(L"?r=", r.substr(0, 3));
        EXPECT_EQ(std::wstring::npos, r.find_first_not_of(L"0123456789abcdef", 3)) << r;
        seen.insert(r);
    }
    EXPECT_EQ(20u, seen.size());
}
