// The built launcher's version resource and manifest, read back from the executable.
#include <gtest/gtest.h>

#include <windows.h>

#include "build_config.h"
#include "tests/support/built_program.h"

namespace {

TEST(LauncherResources, VersionResourceCarriesTheBuildVersionAndNames) {
    std::wstring exe = builtProgramPath(L"Qorvane Launcher.exe");
    ASSERT_NE(GetFileAttributesW(exe.c_str()), INVALID_FILE_ATTRIBUTES) << "launcher not built";
    ProgramVersion v = readProgramVersion(exe);
    ASSERT_TRUE(v.found);
    const WORD expected[4] = {QORVANE_VERSION_MAJOR, QORVANE_VERSION_MINOR, QORVANE_VERSION_PATCH,
                              QORVANE_VERSION_TWEAK};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v.fileVersion[i], expected[i]) << i;
        EXPECT_EQ(v.productVersion[i], expected[i]) << i;
    }
    EXPECT_EQ(v.language, 0x041F);
    EXPECT_EQ(v.codePage, 1200);
    const std::pair<const wchar_t*, std::wstring> strings[] = {
        {L"ProductVersion", QORVANE_VERSION_WTEXT},  // also the uninstall entry's DisplayVersion
        {L"FileVersion", QORVANE_VERSION_WTEXT},
        {L"ProductName", L"Qorvane Launcher"},
        {L"FileDescription", L"Qorvane Launcher"},
        {L"OriginalFilename", L"Qorvane Launcher.exe"},
        {L"CompanyName", L"Qorvane"},
    };
    for (const auto& [name, text] : strings)
        EXPECT_EQ(v.strings[name], text) << std::string(name, name + wcslen(name));
    EXPECT_EQ(v.strings[L"LegalCopyright"].rfind(L"Copyright (C) ", 0), 0u);
}

TEST(LauncherResources, ManifestDeclaresEverySupportedWindowsAndKeepsDpiAwareness) {
    std::string manifest = readProgramManifest(builtProgramPath(L"Qorvane Launcher.exe"));
    ASSERT_FALSE(manifest.empty());
    for (const char* id : kSupportedOsIds)
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos) << id;
    EXPECT_NE(manifest.find(">PerMonitorV2</dpiAwareness>"), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    // The generated assembly version follows the build's.
    EXPECT_NE(manifest.find("name=\"Qorvane.Launcher\" version=\"" QORVANE_VERSION_TEXT), std::string::npos);
}

}  // namespace
