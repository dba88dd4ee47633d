#include "base/path_identity.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(PathIdentity, CleanSpellingKeepsCaseAndNames) {
    struct Case {
        const wchar_t* path;
        const wchar_t* clean;
    } cases[] = {
        {L"pack/", L"pack"},
        {L"./data", L"data"},
        {L"data\\", L"data"},
        {L"pack//maps\\\\old.epk", L"pack/maps/old.epk"},
        {L"./a/./b/.", L"a/b"},
        {L".", L""},
        {L"//", L""},
        {L"Pack/\u015eehir/\u00d6 z.epk", L"Pack/\u015eehir/\u00d6 z.epk"},
        // Only "." parts go: the path rules decide about "..", and names keep their dots.
        {L"a/../b", L"a/../b"},
        {L".hidden/x.", L".hidden/x."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.clean, cleanRelativePath(c.path)) << c.path;
}

// What the system's own file-name comparison says, since the key stands in for it; the letters of
// the game's own language are the ones that matter.
TEST(PathIdentity, KeysAreEqualExactlyWhenWindowsSeesOneName) {
    const wchar_t* pairs[][2] = {
        {L"PACK/data.epk", L"pack\\DATA.EPK"},
        {L"\u015fehir/\u00e7i\u00e7ek/\u00f6yk\u00fc/\u00fcr\u00fcn/a\u011fa\u00e7/\u00e2lem", L"\u015eEH\u0130R/\u00c7\u0130\u00c7EK/\u00d6YK\u00dc/\u00dcR\u00dcN/A\u011eA\u00c7/\u00c2LEM"},
        {L"\u0130zmir", L"izmir"},
        {L"\u0131l\u0131k", L"ILIK"},
        {L"\u0131l\u0131k", L"ilik"},
        {L"\u212a", L"k"},  // KELVIN SIGN
        {L"stra\u00dfe", L"STRASSE"},
        {L"\U0001D41A", L"\U0001D400"},  // letters beyond the basic plane never fold
    };
    for (const auto& pair : pairs) {
        // Separators are the cleaning's business; the system compares the letters.
        std::wstring a = cleanRelativePath(pair[0]), b = cleanRelativePath(pair[1]);
        int ordinal = CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE);
        ASSERT_NE(0, ordinal);
        EXPECT_EQ(ordinal == CSTR_EQUAL, pathKey(pair[0]) == pathKey(pair[1])) << pair[0] << L" " << pair[1];
    }
    EXPECT_EQ(pathKey(L"\u015eEH\u0130R/\u00c7\u0130\u00c7EK"), pathKey(L"\u015eEH\u0130R\\\u00e7\u0130\u00e7ek/"));
    EXPECT_NE(pathKey(L"\u015fehir/\u00e7i\u00e7ek"), pathKey(L"\u015fehir/\u00e7i\u00e7ek.txt"));
}

TEST(PathIdentity, NamesWindowsCannotHoldAsWritten) {
    for (const wchar_t* path : {L"CON", L"con.txt", L"Nul.tar.gz", L"a/AUX", L"prn", L"COM1", L"lpt9.dat",
                                L"COM\u00b9", L"CONIN$", L"conout$.log", L"NUL .txt", L"a/b.", L"a./b", L"a /b",
                                L"a/b ", L"a//b", L"/a", L"a/", L".", L"..", L"a/./b", L"a\x01", L"a\x7f",
                                L"a<b", L"a>b", L"a:b", L"a\"b", L"a|b", L"a?b", L"a*b", L""})
        EXPECT_FALSE(isFaithfulRelativePath(path)) << path;
    for (const wchar_t* path : {L"CONSOLE", L"COM10", L"LPT0", L"xcon", L"con_x.txt", L".hidden", L"a b/c d.e",
                                L"a.b.c", L"\u015eehir/a\u011fa\u00e7.epk", L"pack\\maps/old.epk"})
        EXPECT_TRUE(isFaithfulRelativePath(path)) << path;
}

TEST(PathIdentity, ProtectionFolderIsOnlyKorumaAtTheTop) {
    EXPECT_TRUE(isInProtectionFolder(pathKey(L"koruma")));
    EXPECT_TRUE(isInProtectionFolder(pathKey(L"KORUMA/onbellek.txt")));
    EXPECT_TRUE(isInProtectionFolder(pathKey(L"./Koruma//x/")));
    EXPECT_FALSE(isInProtectionFolder(pathKey(L"korumalar/x")));
    EXPECT_FALSE(isInProtectionFolder(pathKey(L"pack/koruma/x")));
    EXPECT_FALSE(isInProtectionFolder(pathKey(L"")));
}
