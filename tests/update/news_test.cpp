#include "update/news.h"

#include <gtest/gtest.h>

#include "net/http_client.h"
#include "tests/update/download_fixture.h"

TEST(NewsFetch, FailedFetchKeepsThatLanguagesPreviousItemsAndAnOversizedFileIsNoNews) {
    LoopbackServer server;
    Updater u;
    pointUpdaterAt(u, server);
    ASSERT_TRUE(openUpdaterSession(u));
    publishNews(u.status, 0, {{L"eski", L"tr"}});
    publishNews(u.status, 1, {{L"old", L"en"}});
    server.addFile("/qorvane/pc/haberler_tr.txt", "\xEF\xBB\xBF# yeni\n08.12|Bak\xC4\xB1m\n");
    fetchNews(u.session, u.stop, u.status);
    StatusSnapshot s = copyStatus(u.status);
    ASSERT_EQ(1u, s.news[0].size());
    EXPECT_EQ(L"Bak\u0131m", s.news[0][0].title);
    ASSERT_EQ(1u, s.news[1].size());
    EXPECT_EQ(L"old", s.news[1][0].date);
    auto en = server.requestsFor("/qorvane/pc/haberler_en.txt");
    ASSERT_EQ(1u, en.size());
    EXPECT_EQ(0u, en[0].query.find("r="));

    server.addFile("/qorvane/pc/haberler_en.txt", "# nothing yet\n");  // an empty list replaces the old one
    fetchNews(u.session, u.stop, u.status);
    EXPECT_TRUE(copyStatus(u.status).news[1].empty());

    // Too long to be news: that language shows none (the collector stops after the limit).
    std::string huge = "1|a\n";
    huge += std::string(4 * 1048576, '#');
    server.addFile("/qorvane/pc/haberler_tr.txt", huge);
    server.addFile("/qorvane/pc/haberler_en.txt", "2|b\n");
    fetchNews(u.session, u.stop, u.status);
    StatusSnapshot after = copyStatus(u.status);
    EXPECT_TRUE(after.news[0].empty());
    ASSERT_EQ(1u, after.news[1].size());
    EXPECT_EQ(L"b", after.news[1][0].title);

    u.stop.request();
    server.clearRequests();
    fetchNews(u.session, u.stop, u.status);
    EXPECT_TRUE(server.requests().empty());
    closeSession(u.session);
}
