#include "protocol/manifest.h"

#include <gtest/gtest.h>

#include "base/path_identity.h"

namespace {

const std::string kHash(64, 'a');

std::string fileLine(const std::string& path, const std::string& size = "10", char kind = 'K') {
    return std::string(1, kind) + " " + kHash + " " + size + " " + path + "\n";
}

Manifest parsed(const std::string& text, bool expectAccepted = true) {
    Manifest m;
    EXPECT_EQ(expectAccepted, parseManifest(text, m)) << text;
    return m;
}

}  // namespace

TEST(ManifestParse, AcceptsHeaderAnywhereAndNeedsAFile) {
    struct Case {
        const char* name;
        std::string text;
        bool accepted;
    } cases[] = {
        {"header first", "#QORVANEPC 1\n" + fileLine("a.bin"), true},
        {"header last without LF", fileLine("a.bin") + "#QORVANEPC 1", true},
        {"CRLF lines", "#QORVANEPC 1\r\nK " + kHash + " 1 a.bin\r\n", true},
        {"header without blank", "#QORVANEPC\n" + fileLine("a.bin"), false},
        {"BOM before header", "\xEF\xBB\xBF#QORVANEPC 1\n" + fileLine("a.bin"), false},
        {"BOM, then a later header", "\xEF\xBB\xBF#QORVANEPC 1\n#QORVANEPC 1\n" + fileLine("a.bin"), true},
        {"no header", fileLine("a.bin"), false},
        {"only rules", "#QORVANEPC 1\nD pack\nE .dll\nS pack/*\nO logs\n", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        Manifest m;
        EXPECT_EQ(c.accepted, parseManifest(c.text, m)) << c.name;
    }
}

TEST(ManifestParse, VersionLines) {
    EXPECT_EQ(42u, parsed("#QORVANEPC 1\n#surum 42abc\n" + fileLine("a")).version);
    EXPECT_EQ(0u, parsed("#QORVANEPC 1\n#surum42\n" + fileLine("a")).version);
    EXPECT_EQ(7u, parsed("#QORVANEPC 1\n#surum 5\n#surum   7\n" + fileLine("a")).version);
    EXPECT_EQ(0u, parsed("#QORVANEPC 1\n#surum x\n" + fileLine("a")).version);
    EXPECT_EQ(UINT64_MAX, parsed("#QORVANEPC 1\n#surum 99999999999999999999999\n" + fileLine("a")).version);
}

TEST(ManifestParse, FileRecordsThatAreIgnored) {
    const std::string h63(63, 'a'), h65(65, 'a');
    std::string bad[] = {
        "K " + h63 + " 10 a.bin\n",   "K " + h65 + " 10 a.bin\n",
        "K " + kHash + " 10\n",   // no second blank
        "K " + kHash + " \n",     // nothing after the first blank
        "K " + kHash + " 10 \n",  // empty path
        fileLine("/etc/passwd"),      fileLine("\\windows\\x.dll"), fileLine("C:/x.bin"),
        fileLine("c:x.bin"),          fileLine("../outside.bin"),   fileLine("pack/../../x.bin"),
        fileLine("pack\\..\\x.bin"),
        "Kx" + kHash + " 10 a.bin\n",  // second byte not a blank
        "Q " + kHash + " 10 a.bin\n",  // unknown kind
    };
    for (const std::string& line : bad) {
        Manifest m;
        EXPECT_FALSE(parseManifest("#QORVANEPC 1\n" + line, m)) << line;
        EXPECT_TRUE(m.entries.empty()) << line;
    }
}

TEST(ManifestParse, FileRecordFields) {
    Manifest m = parsed("#QORVANEPC 1\n" + fileLine("a b.txt", "10") + fileLine("big.bin", "12x", 'I') +
                        fileLine("\xC3\xA7i\xC3\xA7"
                                 "ek/Data.EPK",
                                 "abc"));
    ASSERT_EQ(3u, m.entries.size());
    EXPECT_EQ(L"a b.txt", m.entries[0].path);
    EXPECT_EQ(10u, m.entries[0].size);
    EXPECT_EQ('K', m.entries[0].kind);
    EXPECT_EQ('I', m.entries[1].kind);
    EXPECT_EQ(12u, m.entries[1].size);
    EXPECT_EQ(0u, m.entries[2].size);
    EXPECT_EQ(L"\u00e7i\u00e7ek/Data.EPK", m.entries[2].path);
    EXPECT_EQ(1u, m.pathIndex.count(pathKey(L"\u00c7i\u00c7EK\\data.epk")));
    EXPECT_EQ(22u, manifestTotalBytes(m));
}

TEST(ManifestParse, DuplicatePathsKeepBothEntriesAndIndexTheLast) {
    Manifest m = parsed("#QORVANEPC 1\n" + fileLine("Data/x.bin", "1") + fileLine("data\\x.bin", "2"));
    ASSERT_EQ(2u, m.entries.size());
    ASSERT_EQ(1u, m.pathIndex.size());
    EXPECT_EQ(1u, m.pathIndex.at(pathKey(L"data/x.bin")));
    EXPECT_EQ(3u, manifestTotalBytes(m));
}

TEST(ManifestParse, RuleRecords) {
    Manifest m = parsed("#QORVANEPC 1\n" + fileLine("a") +
                        "E .DLL\nD Pack\\Maps\nD ../up\nS Pack/*.LOG\nS C:/x\nO Logs\\Today\nO /abs\n"
                        "X Foo\xC4\xB0\nW BAR\n# comment line\n");
    EXPECT_EQ(std::vector<std::wstring>{L".dll"}, m.rootExtensions);
    // A lone dot would match names that end in a dot, which Windows strips on the way to another file.
    EXPECT_TRUE(parsed("#QORVANEPC 1\n" + fileLine("a") + "E .\n").rootExtensions.empty());
    EXPECT_EQ(std::vector<std::wstring>{L"Pack/Maps"}, m.cleanDirs);
    EXPECT_EQ(std::vector<std::wstring>{pathKey(L"pack/*.log")}, m.keepPatterns);
    EXPECT_EQ(std::vector<std::wstring>{L"Logs/Today"}, m.createDirs);
    // Only A-Z are lowered: the dotted capital I stays as it is.
    EXPECT_EQ(std::vector<std::wstring>{L"foo\u0130"}, m.xValues);
    EXPECT_EQ(std::vector<std::wstring>{L"bar"}, m.wValues);
}

TEST(ManifestParse, ReparsingResetsEverything) {
    Manifest m;
    ASSERT_TRUE(parseManifest("#QORVANEPC 1\n#surum 9\nD pack\n" + fileLine("a"), m));
    EXPECT_FALSE(parseManifest("#QORVANEPC 1\n", m));
    EXPECT_EQ(0u, m.version);
    EXPECT_TRUE(m.cleanDirs.empty());
    EXPECT_TRUE(m.pathIndex.empty());
}

// A rule reaches the launcher in its canonical spelling or not at all: a loose spelling must not
// turn the folder into another one (or into the whole game folder), and the launcher's own state
// is never a rule's business.
TEST(ManifestParse, RuleValuesAreCleanedOrIgnored) {
    struct Case {
        const char* record;
        const wchar_t* stored;  // nullptr: ignored
    } cases[] = {
        {"D pack/", L"pack"},
        {"D ./data", L"data"},
        {"D data\\", L"data"},
        {"D pack//maps/./", L"pack/maps"},
        {"D .", nullptr},
        {"D ./", nullptr},
        {"D koruma", nullptr},
        {"D KORUMA/logs", nullptr},
        {"D korumalar", L"korumalar"},
        {"D pack/CON", nullptr},
        {"D pack/lpt1.old", nullptr},
        {"D pack/data.", nullptr},
        {"D pack/a\x01b", nullptr},
        {"O ./Logs//Today/", L"Logs/Today"},
        {"O koruma/x", nullptr},
        {"O aux", nullptr},
        {"D PROGRA~1/pack", nullptr},  // a short name's shape may alias another folder
        {"O logs/GUNLUK~2", nullptr},
        {"D yedek~/eski~x", L"yedek~/eski~x"},
    };
    for (const Case& c : cases) {
        Manifest m = parsed("#QORVANEPC 1\n" + fileLine("a") + c.record + "\n");
        const std::vector<std::wstring>& stored = c.record[0] == 'D' ? m.cleanDirs : m.createDirs;
        if (c.stored)
            EXPECT_EQ(std::vector<std::wstring>{c.stored}, stored) << c.record;
        else
            EXPECT_TRUE(stored.empty()) << c.record;
    }
    Manifest m = parsed("#QORVANEPC 1\n" + fileLine("a") + "S ./pack//*.log\nS koruma/*\nS .\n");
    EXPECT_EQ(std::vector<std::wstring>{pathKey(L"pack/*.log")}, m.keepPatterns);
    // One folder in several spellings is walked once.
    m = parsed("#QORVANEPC 1\n" + fileLine("a") + "D pack\nD Pack/\nD ./PACK\n");
    EXPECT_EQ(std::vector<std::wstring>{L"pack"}, m.cleanDirs);
}

TEST(ManifestParse, FileRecordsWindowsCannotHoldAreIgnored) {
    for (const char* path :
         {"CON",         "pack/nul.txt", "pack/Com3.epk", "pack/LPT9",    "data./x.bin",
          "data/x.bin.", "data/x.bin ",  "a//b.bin",      "./a.bin",      "pack/",
          "a\x01b",      "a|b",          "a?b",           "a*b",          "a\"b",
          "a<b",         "a>b",          "QORVAN~1.EXE",  "PACK~2/x.bin", "pack/DATA~10.PAK"}) {
        Manifest m;
        EXPECT_FALSE(parseManifest("#QORVANEPC 1\n" + fileLine(path), m)) << path;
    }
    // Near misses are ordinary names.
    for (const char* path : {"CONSOLE.bin", "pack/COM10", "pack/LPT0", "pack/nul_x", ".hidden", "a. b/c.bin",
                             "yedek~.bin", "a~b1.bin"})
        EXPECT_EQ(1u, parsed("#QORVANEPC 1\n" + fileLine(path)).entries.size()) << path;
}

TEST(ManifestParse, PathsThatDifferOnlyInCaseAreOneEntryInTheIndex) {
    Manifest m = parsed("#QORVANEPC 1\n" + fileLine("pack/\xC5\x9E" "ehir/a.bin", "1") +
                        fileLine("PACK\\\xC5\x9F" "EHIR/A.BIN", "2"));
    ASSERT_EQ(2u, m.entries.size());
    EXPECT_EQ(1u, m.pathIndex.size());
    EXPECT_EQ(1u, m.pathIndex.begin()->second);
}

TEST(ManifestPaths, Wildcards) {
    struct Case {
        const wchar_t* pattern;
        const wchar_t* text;
        bool match;
    } cases[] = {
        {L"pack/*", L"pack/a/b/c.txt", true},
        {L"pack/*", L"pack/", true},
        {L"pack/*", L"packs/a", false},
        {L"pack/?.txt", L"pack/a.txt", true},
        {L"pack/?.txt", L"pack/ab.txt", false},
        {L"pack/*.log", L"pack/x/y.log", true},
        {L"pack/*.log", L"pack/x/y.log.old", false},
        {L"*a*a*a*b", L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", true},
        {L"*a*a*a*b", L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {L"screenshot/shot1.png", L"screenshot/shot1.png", true},
        {L"screenshot/shot1.png", L"screenshot/shot2.png", false},
        {L"**", L"", true},
        {L"?", L"", false},
        {L"", L"", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.match, matchWildcard(c.pattern, c.text)) << c.pattern << " " << c.text;
}
