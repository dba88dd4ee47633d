// Mutated lists, news and cache files: the parsers never crash and never hand on a value that
// breaks their own rules (a path that escapes the game folder, a hash of the wrong length).
#include <gtest/gtest.h>

#include <random>

#include "base/path_identity.h"
#include "protocol/hash_cache.h"
#include "protocol/manifest.h"
#include "protocol/news_format.h"
#include "tests/support/temp_folder.h"
#include "update/extra_files.h"

namespace {

const std::string kHash = "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";

const std::string kList =
    "#QORVANEPC 1\n#surum 12\nD pack\nD screenshot\nE .dll\nS pack/keep/*\nO logs\nX x\n"
    "K " +
    kHash + " 5 pack/a.bin\nK " + kHash + " 5 Pack\\B b.bin\nI " + kHash + " 7 user.cfg\nK " + kHash +
    " 5 top.dll\n";
const std::string kNews =
    "\xEF\xBB\xBF# haberler\n01.12|Bir\n02.12|*Iki*|x\n03.12|\xC3\x9C\xC3\xA7\n04.12|Dort\n";
const std::string kCache = kHash + " 5 133000000000000000 pack/a.bin\r\n" + kHash + " 7 1 user.cfg\n";

// Byte-level mutations biased towards the characters the formats give meaning to.
std::string mutate(std::string text, std::mt19937& rng) {
    static const char special[] = {'\n', '\r', ' ', '|', '#',  '/',    '\\',
                                   '.',  ':',  '*', '?', '\0', '\xFF', '\xC3'};
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
        size_t at = text.empty() ? 0 : rng() % (text.size() + 1);
        char c = (rng() % 2) ? special[rng() % sizeof special] : static_cast<char>(rng());
        switch (rng() % 6) {
            case 0:
                if (at < text.size()) text[at] = c;
                break;
            case 1:
                text.insert(at, 1, c);
                break;
            case 2:
                text.erase(at, rng() % 16);
                break;
            case 3:
                text.insert(at, text.substr(rng() % (text.size() + 1), rng() % 80));
                break;  // duplicate
            case 4:
                text.resize(at);
                break;
            case 5:
                text.insert(at, "..");
                break;
        }
    }
    return text;
}

void checkManifest(const Manifest& m, bool accepted) {
    if (accepted) {
        ASSERT_FALSE(m.entries.empty());
    }
    for (const ManifestEntry& e : m.entries) {
        ASSERT_EQ(64u, e.hash.size());
        ASSERT_FALSE(e.path.empty());
        ASSERT_TRUE(isAcceptablePath(e.path));
    }
    for (const auto& [key, index] : m.pathIndex) {
        ASSERT_LT(index, m.entries.size());
        ASSERT_EQ(key, pathKey(m.entries[index].path));
    }
    for (const auto* list : {&m.cleanDirs, &m.keepPatterns, &m.createDirs})
        for (const std::wstring& value : *list)
            ASSERT_TRUE(isAcceptablePath(value));
}

}  // namespace

TEST(Robustness, MutatedListsParseSafely) {
    std::mt19937 rng(20261207);
    for (int i = 0; i < 3000; ++i) {
        std::string text = mutate(kList, rng);
        Manifest m;
        bool accepted = parseManifest(text, m);
        checkManifest(m, accepted);
        if (HasFatalFailure()) FAIL() << "iteration " << i;
    }
}

TEST(Robustness, MutatedListsNeverReachOutsideTheirFolders) {
    TempFolder t;
    for (const wchar_t* f :
         {L"pack/a.bin", L"pack/old.bin", L"pack/keep/x.ini", L"pack/sub/y.dat", L"top.dll", L"other.dll",
          L"screenshot/s.png", L"notes.txt", L"Qorvane Launcher.exe"})
        t.write(f, "x");
    std::mt19937 rng(7);
    int accepted = 0;
    for (int i = 0; i < 400; ++i) {
        Manifest m;
        if (!parseManifest(mutate(kList, rng), m)) continue;
        ++accepted;
        std::vector<std::wstring> extras;
        findExtraFiles(t.path, m, extras);
        for (const std::wstring& path : extras) {
            ASSERT_EQ(std::wstring::npos, path.find(L"..")) << i;
            size_t slash = path.find(L'/');
            if (slash == std::wstring::npos) continue;  // a top-level file
            bool underCleanFolder = false;
            for (const std::wstring& dir : m.cleanDirs)
                underCleanFolder |= pathKey(path).rfind(pathKey(dir) + L"/", 0) == 0;
            ASSERT_TRUE(underCleanFolder) << i;
        }
    }
    EXPECT_GT(accepted, 50);  // the mutations must leave enough lists alive to test anything
}

TEST(Robustness, MutatedNewsAndCacheFilesParseSafely) {
    std::mt19937 rng(99);
    for (int i = 0; i < 3000; ++i) {
        std::vector<NewsItem> items = parseNews(mutate(kNews, rng));
        ASSERT_LE(items.size(), 3u);

        HashCache cache;
        parseHashCache(mutate(kCache, rng), cache);
        for (const auto& [key, entry] : cache) {
            ASSERT_EQ(64u, entry.hash.size());
            ASSERT_EQ(key, pathKey(key));
        }
        // What we write we read back the same (keys with a line feed excepted: they cannot be stored).
        HashCache again;
        parseHashCache(formatHashCache(cache), again);
        for (const auto& [key, entry] : cache) {
            if (key.find(L'\n') != std::wstring::npos || key.find(L'\r') != std::wstring::npos) continue;
            ASSERT_EQ(1u, again.count(key)) << i;
            ASSERT_EQ(entry.size, again.at(key).size);
        }
    }
}
