#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "base/text.h"
#include "tests/support/keyed_program.h"
#include "tests/support/temp_folder.h"
#include "tools/launcher_file.h"
#include "tools/wine_locale.h"

namespace {

TEST(LauncherFile, LookalikesAreTopLevelLauncherNamesWithSomethingAdded) {
    const struct {
        const wchar_t* path;
        bool lookalike;
    } cases[] = {
        {L"Qorvane Launcher.exe", false},
        {L"QORVANE LAUNCHER.EXE", false},
        {L"Qorvane Launcher-imzasiz.exe", true},
        {L"qorvane launcher (2).Exe", true},
        {L"Qorvane Launcher.exe.exe", true},
        {L"Qorvane Launcher .exe", true},
        {L"bin/Qorvane Launcher-eski.exe", false},  // below the top: not where launchers look
        {L"Qorvane Launcher.exe.eski", false},
        {L"Qorvane Launcher-imzasiz.txt", false},
        {L"Qorvane.exe", false},
        {L"Qorvane Launche.exe", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isLauncherLookalike(c.path), c.lookalike) << toUtf8(c.path);
}

// The certificate table's directory entry decides; a program whose entry is filled counts as
// signed, one without as unsigned, anything that is no program as unreadable.
TEST(LauncherFile, CodeSignatureIsReadFromTheProgramHeader) {
    TempFolder t;
    writeKeyedProgram(t.file(L"imzasiz.exe"), {developmentKey()});
    EXPECT_EQ(codeSignatureOf(t.file(L"imzasiz.exe")), CodeSignature::Absent);

    std::string program = t.read(L"imzasiz.exe");
    uint32_t pe = 0;
    std::memcpy(&pe, program.data() + 0x3c, 4);
    uint16_t magic = 0;
    std::memcpy(&magic, program.data() + pe + 24, 2);
    ASSERT_EQ(magic, 0x20b);  // a 64-bit program: directories at 112
    const uint32_t table[2] = {static_cast<uint32_t>(program.size()), 8};
    std::memcpy(program.data() + pe + 24 + 112 + 4 * 8, table, sizeof(table));
    t.write(L"imzali.exe", program + std::string(8, '\0'));
    EXPECT_EQ(codeSignatureOf(t.file(L"imzali.exe")), CodeSignature::Present);

    t.write(L"metin.exe", "MZ but no program");
    EXPECT_EQ(codeSignatureOf(t.file(L"metin.exe")), CodeSignature::Unreadable);
    EXPECT_EQ(codeSignatureOf(t.file(L"yok.exe")), CodeSignature::Unreadable);
}

TEST(WineLocale, Utf8LocaleNames) {
    for (const wchar_t* name : {L"C.UTF-8", L"tr_TR.utf8", L"en_US.Utf-8@euro"})
        EXPECT_TRUE(isUtf8LocaleName(name)) << toUtf8(name);
    for (const wchar_t* name : {L"C", L"POSIX", L"tr_TR.ISO-8859-9", L"UTF-8", L"tr_TR"})
        EXPECT_FALSE(isUtf8LocaleName(name)) << toUtf8(name);
}

// Under a non-UTF-8 locale Wine garbles Turkish letters ("ş" arrives as "E" and a control character
// under "C"): the refusal of such a name names the locale, not Windows' naming rules. The Unix
// locale reaches the program as environment variables; Windows has none of this.
TEST(WineLocale, ARefusedNameBlamesANonUtf8Locale) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!GetProcAddress(ntdll, "wine_get_version")) GTEST_SKIP() << "Windows: the Unix locale plays no part";
    struct Saved {
        const wchar_t* name;
        std::wstring value;
        bool set;
    } saved[] = {{L"LC_ALL", {}, false}, {L"LC_CTYPE", {}, false}, {L"LANG", {}, false}};
    for (Saved& s : saved) {
        wchar_t buffer[256];
        DWORD n = GetEnvironmentVariableW(s.name, buffer, 256);
        s.set = n > 0 && n < 256;
        if (s.set) s.value.assign(buffer, n);
    }
    const std::wstring garbled =
        L"pack/E\x1f"
        L"ehir.txt";
    SetEnvironmentVariableW(L"LC_ALL", nullptr);
    SetEnvironmentVariableW(L"LC_CTYPE", L"tr_TR.UTF-8");
    SetEnvironmentVariableW(L"LANG", L"C");
    EXPECT_EQ(nonUtf8WineLocale(), L"");
    EXPECT_EQ(gameFileNameProblem(garbled).find(L"LC_ALL=C.UTF-8"), std::wstring::npos);
    SetEnvironmentVariableW(L"LC_ALL", L"C");
    EXPECT_EQ(nonUtf8WineLocale(), L"C");
    EXPECT_NE(gameFileNameProblem(garbled).find(L"LC_ALL=C.UTF-8"), std::wstring::npos);
    EXPECT_EQ(gameFileNameProblem(garbled).find(L"Windows cannot hold"), std::wstring::npos);
    EXPECT_EQ(gameFileNameProblem(L"pack/kale.txt"), L"");
    EXPECT_NE(gameFileNameProblem(L"pack/../x.txt").find(L"path rule"), std::wstring::npos);
    SetEnvironmentVariableW(L"LC_ALL", nullptr);
    SetEnvironmentVariableW(L"LC_CTYPE", nullptr);
    SetEnvironmentVariableW(L"LANG", nullptr);
    EXPECT_EQ(nonUtf8WineLocale(), L"C");  // nothing set: the C library's default
    for (const Saved& s : saved)
        SetEnvironmentVariableW(s.name, s.set ? s.value.c_str() : nullptr);
}

}  // namespace
