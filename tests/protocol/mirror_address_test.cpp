#include "protocol/mirror_address.h"

#include <gtest/gtest.h>

#include "protocol/manifest.h"

TEST(MirrorAddress, ReadsTheUrlsTheLauncherCanUse) {
    struct Case {
        const wchar_t* url;
        const wchar_t* host;  // nullptr: refused
        uint16_t port;
        bool https;
        const wchar_t* basePath;
    } cases[] = {
        {L"https://ayna.ornek.com/qorvane/pc/", L"ayna.ornek.com", 443, true, L"/qorvane/pc/"},
        {L"HTTP://127.0.0.1:8081/qorvane/pc", L"127.0.0.1", 8081, false, L"/qorvane/pc/"},
        {L"https://cdn-2.example.net", L"cdn-2.example.net", 443, true, L"/"},
        {L"http://[::1]:9000/x/", L"[::1]", 9000, false, L"/x/"},
        {L"https://a.example:65535/", L"a.example", 65535, true, L"/"},
        {L"ftp://ayna.ornek.com/", nullptr},
        {L"ayna.ornek.com/qorvane/pc/", nullptr},
        {L"https://", nullptr},
        {L"https://user@ayna.ornek.com/", nullptr},
        {L"https://ayna.ornek.com:0/", nullptr},
        {L"https://ayna.ornek.com:65536/", nullptr},
        {L"https://ayna.ornek.com:/", nullptr},
        {L"https://ayna..ornek.com/", nullptr},
        {L"https://ayna_ornek.com/", nullptr},
        {L"https://ayna.ornek.com/pc/?r=1", nullptr},
        {L"https://ayna.ornek.com/pc/#x", nullptr},
        {L"https://ayna.ornek.com/bir yol/", nullptr},
        {L"https://ayna.\u00f6rnek.com/", nullptr},
        {L"http://[::1/", nullptr},
        {L"", nullptr},
    };
    for (const Case& c : cases) {
        MirrorAddress m;
        bool parsed = parseMirrorUrl(c.url, m);
        EXPECT_EQ(c.host != nullptr, parsed) << c.url;
        EXPECT_EQ(c.host == nullptr, !mirrorUrlProblem(c.url).empty()) << c.url;
        if (!parsed || !c.host) continue;
        EXPECT_EQ(c.url, m.url);
        EXPECT_EQ(c.host, m.host) << c.url;
        EXPECT_EQ(c.port, m.port) << c.url;
        EXPECT_EQ(c.https, m.useHttps) << c.url;
        EXPECT_EQ(c.basePath, m.basePath) << c.url;
    }
    MirrorAddress tooLong;
    EXPECT_FALSE(parseMirrorUrl(L"https://a.example/" + std::wstring(500, L'x'), tooLong));
}

TEST(MirrorAddress, ListKeepsEachReadableMirrorOnceInOrder) {
    const std::string file = "K " + std::string(64, 'a') + " 1 a.bin\n";
    Manifest m;
    ASSERT_TRUE(
        parseManifest("#QORVANEPC 1\n"
                      "A https://b.example/pc/\n"
                      "A kotu adres\n"
                      "A https://B.EXAMPLE:443/pc\n"
                      "A http://b.example/pc/\n"
                      "A https://b.example/PC/\n" +
                          file,
                      m));
    ASSERT_EQ(3u, m.mirrors.size());
    EXPECT_EQ(L"https://b.example/pc/", m.mirrors[0].url);
    EXPECT_EQ(L"http://b.example/pc/", m.mirrors[1].url);
    EXPECT_EQ(L"/PC/", m.mirrors[2].basePath);
    // Mirrors alone are no list, as any other record that is not a file.
    EXPECT_FALSE(parseManifest("#QORVANEPC 1\nA https://b.example/\n", m));
}
