// The built publisher's version resource and manifest, read back from the executable.
#include <gtest/gtest.h>

#include <windows.h>

#include "build_config.h"
#include "tests/support/built_program.h"

namespace {

std::wstring publisherPath() { return builtProgramPath(L"tools\\qorvane-yayinci.exe"); }

TEST(PublisherResources, VersionResourceCarriesTheBuildVersionAndATurkishDescription) {
    ASSERT_NE(GetFileAttributesW(publisherPath().c_str()), INVALID_FILE_ATTRIBUTES) << "publisher not built";
    ProgramVersion v = readProgramVersion(publisherPath());
    ASSERT_TRUE(v.found);
    EXPECT_EQ(v.fileVersion[0], QORVANE_VERSION_MAJOR);
    EXPECT_EQ(v.fileVersion[1], QORVANE_VERSION_MINOR);
    EXPECT_EQ(v.productVersion[2], QORVANE_VERSION_PATCH);
    EXPECT_EQ(v.strings[L"ProductVersion"], QORVANE_VERSION_WTEXT);
    EXPECT_EQ(v.strings[L"FileVersion"], QORVANE_VERSION_WTEXT);
    EXPECT_EQ(v.strings[L"ProductName"], L"Qorvane Launcher");
    EXPECT_EQ(v.strings[L"OriginalFilename"], L"qorvane-yayinci.exe");
    // Written in UTF-8 in the resource script: the dotless ı must survive the resource compiler.
    EXPECT_EQ(v.strings[L"FileDescription"], L"Qorvane yay\u0131nc\u0131 arac\u0131");
}

TEST(PublisherResources, ManifestRunsAsInvokerWithUtf8AndEverySupportedWindows) {
    std::string manifest = readProgramManifest(publisherPath());
    ASSERT_FALSE(manifest.empty());
    for (const char* id : kSupportedOsIds)
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos) << id;
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find(">UTF-8</activeCodePage>"), std::string::npos);
}

}  // namespace
