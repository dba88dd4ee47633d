#include <gtest/gtest.h>

#include <windows.h>

#include "base/file.h"
#include "display/display_settings.h"
#include "tests/support/temp_folder.h"

namespace {

const std::string kTabs = "\t\t\t\t\t\t";

// A simulated screen whose usable area (63 pixels less in height) is exactly the given size.
DisplaySettings screenWithUsable(int width, int height) {
    DisplaySettings d;
    d.simulatedScreenWidth = width;
    d.simulatedScreenHeight = height + 63;
    return d;
}

TEST(ConfigLine, MatchesOnlyTheKeyFollowedByABlankOrTab) {
    struct Case {
        const char* text;
        bool found;
        size_t start, length;
    } cases[] = {
        {"WIDTH\t1280\r\nHEIGHT 720\r\n", true, 0, 11},  // the carriage return belongs to the line
        {"WIDTHX 5\nWIDTH 7\n", true, 9, 7},             // a longer key is another key
        {" WIDTH 5\nA 1\n", false, 0, 0},                // indented lines are not config lines
        {"WIDTH=5\n", false, 0, 0},
        {"WIDTH\nWIDTH\r\n", false, 0, 0},  // nothing after the key
        {"width 5\n", false, 0, 0},         // case matters
        {"A 1\nWIDTH 9", true, 4, 7},       // last line without a line end
        {"", false, 0, 0},
        {"WIDTH 1\nWIDTH 2\n", true, 0, 7},  // the first match wins
    };
    for (const Case& c : cases) {
        ConfigLine line = findConfigLine(c.text, "WIDTH");
        EXPECT_EQ(line.found, c.found) << c.text;
        if (c.found) {
            EXPECT_EQ(line.start, c.start) << c.text;
            EXPECT_EQ(line.length, c.length) << c.text;
        }
    }
}

TEST(ConfigLine, SetValueRewritesInPlaceOrAppends) {
    struct Case {
        std::string before;
        int value;
        std::string after;
    } cases[] = {
        // Rewritten with six tabs, CR LF kept, neighbours untouched.
        {"FULL 0\r\nWIDTH\t1280\r\nSOUND 1\r\n", 1366, "FULL 0\r\nWIDTH" + kTabs + "1366\r\nSOUND 1\r\n"},
        // A bare line feed stays a bare line feed.
        {"WIDTH 5\nX 1", 7, "WIDTH" + kTabs + "7\nX 1"},
        {"X 1\r\nWIDTH 5", -3, "X 1\r\nWIDTH" + kTabs + "-3"},
        // Missing: a line end is added first only where the last line lacks one.
        {"X 1", 7, "X 1\r\nWIDTH" + kTabs + "7\r\n"},
        {"X 1\n", 7, "X 1\nWIDTH" + kTabs + "7\r\n"},
        {"", 7, "WIDTH" + kTabs + "7\r\n"},
        {"WIDTHX 1\r\n", 7, "WIDTHX 1\r\nWIDTH" + kTabs + "7\r\n"},
    };
    for (Case& c : cases) {
        std::string text = c.before;
        setConfigValue(text, "WIDTH", c.value);
        EXPECT_EQ(text, c.after) << c.before;
    }
}

TEST(ConfigLine, FileWithoutBothKeysAndWithoutFinalLineEndGetsBothLines) {
    std::string text = "LANG tr\r\nMUSIC 1";
    setConfigValue(text, "WIDTH", 1366);
    setConfigValue(text, "HEIGHT", 768);
    EXPECT_EQ(text, "LANG tr\r\nMUSIC 1\r\nWIDTH" + kTabs + "1366\r\nHEIGHT" + kTabs + "768\r\n");
}

TEST(Conversion, DisplayScaleIsSinglePrecisionDpiTimesZoom) {
    struct Case {
        int dpi;
        float scale;
        float expected;
    } cases[] = {
        {96, 1.0f, 1.0f},          {120, 1.4f, 1.75f}, {144, 1.2f, 1.5f * 1.2f}, {96, 5.0f, 1.0f},
        {96, 0.4f, 1.0f},          {96, 3.0f, 3.0f},   {400, 1.0f, 1.0f},        {0, 1.2f, 1.2f},
        {97, 1.0f, 97.0f / 96.0f}, {384, 0.5f, 2.0f},  {96, 0.8f, 0.8f},
    };
    for (const Case& c : cases)
        EXPECT_EQ(displayScale(c.dpi, c.scale), c.expected) << c.dpi << " " << c.scale;
}

TEST(Conversion, PixelsAndUnitsRoundTrip) {
    float s = displayScale(120, 1.4f);
    EXPECT_EQ(gameUnitsFromPixels(1920, s), 1097);
    EXPECT_EQ(gameUnitsFromPixels(1080, s), 617);
    EXPECT_EQ(screenPixelsFromUnits(1097, s), 1920);  // 1919.75 rounds up
    EXPECT_EQ(screenPixelsFromUnits(617, s), 1080);   // 1079.75
    // 1.8 in single precision lies slightly above 1.8, so 900 pixels fall just below 500 units.
    float s144 = displayScale(144, 1.2f);
    EXPECT_EQ(gameUnitsFromPixels(1600, s144), 888);
    EXPECT_EQ(gameUnitsFromPixels(900, s144), 499);
    // Absurd values from a hand-edited file saturate instead of wrapping around.
    EXPECT_EQ(screenPixelsFromUnits(2000000000, 1.75f), INT_MAX);
    EXPECT_EQ(screenPixelsFromUnits(-2000000000, 1.75f), INT_MIN);
}

TEST(Conversion, FirstStartSizeIsFullHdLessOrTheUsableScreen) {
    struct Case {
        ScreenSize usable, expected;
    } cases[] = {
        {{1920, 1040}, {1600, 900}}, {{1536, 801}, {1536, 801}},   {{1600, 900}, {1600, 900}},
        {{1600, 899}, {1600, 899}},  {{1599, 1200}, {1599, 1200}},
    };
    for (const Case& c : cases) {
        ScreenSize got = firstStartWindowSize(c.usable);
        EXPECT_EQ(got.width, c.expected.width);
        EXPECT_EQ(got.height, c.expected.height);
    }
}

TEST(Screen, SimulatedScreenLosesTheTaskbarHeight) {
    DisplaySettings d;
    d.simulatedScreenWidth = 1366;
    d.simulatedScreenHeight = 768;
    EXPECT_EQ(usableScreen(d).width, 1366);
    EXPECT_EQ(usableScreen(d).height, 705);
    EXPECT_EQ(fullScreen(d).height, 768);
    EXPECT_EQ(effectiveDpi(d, 144), 144);
    d.dpiOverride = 120;
    EXPECT_EQ(effectiveDpi(d, 144), 120);
}

TEST(Open, ReadsUnitsThroughTheDisplayScaleAndCutsToTheScreen) {
    TempFolder t;
    t.write(L"sorvik.cfg", "WIDTH\t1097\r\nHEIGHT\t617\r\n");
    t.write(L"zoom.cfg", "1.4\n");
    struct Case {
        ScreenSize usable;
        int width, height;
    } cases[] = {
        {{1920, 1080}, 1920, 1080},
        {{2560, 1400}, 1920, 1080},
        {{1920, 1040}, 1920, 1040},  // cut to the usable height, then equal to "Fill screen"
        {{1900, 1000}, 1900, 1000},
    };
    for (const Case& c : cases) {
        DisplaySettings d = screenWithUsable(c.usable.width, c.usable.height);
        loadDisplaySettings(t.path, 120, d);
        EXPECT_EQ(d.windowWidth, c.width) << c.usable.width << "x" << c.usable.height;
        EXPECT_EQ(d.windowHeight, c.height) << c.usable.width << "x" << c.usable.height;
        EXPECT_FLOAT_EQ(d.interfaceScale, 1.4f);
    }
}

TEST(Open, SnapsWithinFourPixelsOfAChoiceThatFits) {
    struct Case {
        const char* config;
        int width, height;
    } cases[] = {
        {"WIDTH 1598\nHEIGHT 902\n", 1600, 900},
        {"WIDTH 1590\nHEIGHT 900\n", 1590, 900},    // 10 pixels off: stays
        {"WIDTH 1924\nHEIGHT 1076\n", 1920, 1040},  // 1920x1080 does not fit; cut, then the usable screen
        {"WIDTH 1916\nHEIGHT 1044\n", 1920, 1040},  // near "Fill screen" only
        {"WIDTH 1276\nHEIGHT 724\n", 1280, 720},
        {"WIDTH 1275\nHEIGHT 720\n", 1275, 720},
    };
    for (const Case& c : cases) {
        TempFolder t;
        t.write(L"sorvik.cfg", c.config);
        t.write(L"zoom.cfg", "1.0\n");
        DisplaySettings d = screenWithUsable(1920, 1040);
        loadDisplaySettings(t.path, 96, d);
        EXPECT_EQ(d.windowWidth, c.width) << c.config;
        EXPECT_EQ(d.windowHeight, c.height) << c.config;
    }
}

TEST(Open, MissingOrBadValuesFallBackQuietly) {
    struct Case {
        const char* config;  // nullptr: no file
        const char* zoom;
        int width, height;
        float scale;
    } cases[] = {
        {nullptr, nullptr, 1280, 660, 1.0f},
        {"LANG tr\r\n", "5\n", 1280, 660, 1.0f},                    // scale out of range
        // Below one unit (not a number reads as 0) is no window: the default instead.
        {"WIDTH abc\r\nHEIGHT 700\r\n", "x\n", 1280, 700, 1.0f},
        {"WIDTH 1000\r\n", "0.8\n", 800, 528, 0.8f},                   // missing HEIGHT: 660 units
        {"WIDTH \r\n1600\r\nHEIGHT 600\r\n", "1.0", 1280, 600, 1.0f},  // no value: not the next line's
        {"WIDTH   -20\r\nHEIGHT +700 px\r\n", "3.0", 1920, 1040, 3.0f},
        {"WIDTH 0\r\nHEIGHT -1\r\n", "1.0", 1280, 660, 1.0f},
        {"WIDTH 99999999999\r\nHEIGHT 700\r\n", "1.0", 1920, 700, 1.0f},
    };
    for (const Case& c : cases) {
        TempFolder t;
        if (c.config) t.write(L"sorvik.cfg", c.config);
        if (c.zoom) t.write(L"zoom.cfg", c.zoom);
        DisplaySettings d = screenWithUsable(1920, 1040);
        loadDisplaySettings(t.path, 96, d);
        EXPECT_EQ(d.windowWidth, c.width) << (c.config ? c.config : "none");
        EXPECT_EQ(d.windowHeight, c.height) << (c.config ? c.config : "none");
        EXPECT_FLOAT_EQ(d.interfaceScale, c.scale) << (c.zoom ? c.zoom : "none");
    }
}

TEST(Open, ProposesFirstStartDefaultsOnlyWhileTheMarkerIsMissing) {
    TempFolder t;
    t.write(L"sorvik.cfg", "WIDTH 1024\r\nHEIGHT 600\r\n");
    t.write(L"zoom.cfg", "1.0\n");
    DisplaySettings real;  // the real screen: the marker decides
    loadDisplaySettings(t.path, 96, real);
    ScreenSize expected = firstStartWindowSize(usableScreen(DisplaySettings{}));
    EXPECT_EQ(real.windowWidth, expected.width);
    EXPECT_EQ(real.windowHeight, expected.height);
    EXPECT_FLOAT_EQ(real.interfaceScale, 1.2f);

    writeDisplayMarker(t.path);
    EXPECT_EQ(t.read(L"koruma/ekran.txt"), "ekran ayari yazildi\n");
    DisplaySettings again;
    loadDisplaySettings(t.path, 96, again);
    EXPECT_FLOAT_EQ(again.interfaceScale, 1.0f);
    EXPECT_EQ(again.windowHeight, std::min(600, usableScreen(DisplaySettings{}).height));
}

TEST(Save, WritesUnitsScaleAndMarker) {
    struct Case {
        int dpi;
        float scale;
        int width, height;
        std::string config, zoom;
    } cases[] = {
        {96, 1.0f, 1366, 768, "WIDTH" + kTabs + "1366\r\nHEIGHT" + kTabs + "768\r\n", "1.0\n"},
        {120, 1.4f, 1920, 1080, "WIDTH" + kTabs + "1097\r\nHEIGHT" + kTabs + "617\r\n", "1.4\n"},
        {144, 0.8f, 1280, 720, "WIDTH" + kTabs + "1066\r\nHEIGHT" + kTabs + "600\r\n", "0.8\n"},
    };
    for (const Case& c : cases) {
        TempFolder t;
        DisplaySettings d;
        d.windowWidth = c.width;
        d.windowHeight = c.height;
        d.interfaceScale = c.scale;
        ASSERT_TRUE(storeDisplaySettings(t.path, c.dpi, d));
        EXPECT_EQ(t.read(L"sorvik.cfg"), c.config);
        EXPECT_EQ(t.read(L"zoom.cfg"), c.zoom);
        EXPECT_TRUE(t.exists(L"koruma/ekran.txt"));
        EXPECT_FALSE(t.exists(L"sorvik.cfg.yeni"));
    }
}

TEST(Save, KeepsTheGamesOtherLinesAndReadsBackTheSameChoice) {
    TempFolder t;
    const std::string before = "FULLSCREEN 0\r\nWIDTH\t1280\r\nHEIGHT\t720\r\n; comment\r\nSOUND 1";
    t.write(L"sorvik.cfg", before);
    DisplaySettings d = screenWithUsable(1920, 1080);
    d.dpiOverride = 120;  // the override wins over the system DPI passed in
    d.windowWidth = 1920;
    d.windowHeight = 1080;
    d.interfaceScale = 1.4f;
    ASSERT_TRUE(storeDisplaySettings(t.path, 96, d));
    EXPECT_EQ(t.read(L"sorvik.cfg"),
              "FULLSCREEN 0\r\nWIDTH" + kTabs + "1097\r\nHEIGHT" + kTabs + "617\r\n; comment\r\nSOUND 1");

    DisplaySettings reopened = screenWithUsable(1920, 1080);
    loadDisplaySettings(t.path, 120, reopened);
    EXPECT_EQ(reopened.windowWidth, 1920);
    EXPECT_EQ(reopened.windowHeight, 1080);
    EXPECT_FLOAT_EQ(reopened.interfaceScale, 1.4f);
}

TEST(Save, UnitsFollowTheScaleTheGameWillReadBack) {
    TempFolder t;
    t.write(L"zoom.cfg", "0.75\n");
    t.write(L"sorvik.cfg", "WIDTH 2133\r\nHEIGHT 1200\r\n");
    DisplaySettings d = screenWithUsable(1920, 1040);
    loadDisplaySettings(t.path, 96, d);
    EXPECT_FLOAT_EQ(d.interfaceScale, 0.75f);
    EXPECT_EQ(d.windowWidth, 1600);
    EXPECT_EQ(d.windowHeight, 900);
    ASSERT_TRUE(storeDisplaySettings(t.path, 96, d));
    EXPECT_EQ(t.read(L"zoom.cfg"), "0.8\n");
    EXPECT_EQ(t.read(L"sorvik.cfg"), "WIDTH" + kTabs + "2000\r\nHEIGHT" + kTabs + "1125\r\n");
    DisplaySettings reopened = screenWithUsable(1920, 1040);
    loadDisplaySettings(t.path, 96, reopened);
    EXPECT_EQ(reopened.windowWidth, 1600);
    EXPECT_EQ(reopened.windowHeight, 900);
}

// A game folder the launcher cannot write into. Windows ignores the read-only attribute of
// folders, so the realistic causes are a running game holding its files and read-only files.
enum class Blocker { LockedFiles, ReadOnlyFiles, TemporaryIsFolder };

bool runningUnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(Save, FailureLeavesOldFilesAndNoTemporaryAndNoMarker) {
    for (Blocker blocker : {Blocker::LockedFiles, Blocker::ReadOnlyFiles, Blocker::TemporaryIsFolder}) {
        // Windows refuses to move a file over a read-only one; Wine 8 replaces it.
        if (blocker == Blocker::ReadOnlyFiles && runningUnderWine()) continue;
        TempFolder t;
        t.write(L"sorvik.cfg", "WIDTH 1280\r\nHEIGHT 660\r\n");
        t.write(L"zoom.cfg", "1.0\n");
        HANDLE locks[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
        const wchar_t* names[2] = {L"sorvik.cfg", L"zoom.cfg"};
        for (int i = 0; i < 2; ++i) {
            std::wstring path = t.file(names[i]);
            if (blocker == Blocker::LockedFiles)
                locks[i] = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                       nullptr);
            if (blocker == Blocker::ReadOnlyFiles) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
            if (blocker == Blocker::TemporaryIsFolder) CreateDirectoryW((path + L".yeni").c_str(), nullptr);
        }
        DisplaySettings d;
        d.windowWidth = 1600;
        d.windowHeight = 900;
        d.interfaceScale = 1.4f;
        EXPECT_FALSE(storeDisplaySettings(t.path, 96, d)) << static_cast<int>(blocker);
        for (HANDLE h : locks)
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        EXPECT_EQ(t.read(L"sorvik.cfg"), "WIDTH 1280\r\nHEIGHT 660\r\n") << static_cast<int>(blocker);
        EXPECT_EQ(t.read(L"zoom.cfg"), "1.0\n") << static_cast<int>(blocker);
        EXPECT_FALSE(t.exists(L"koruma/ekran.txt")) << static_cast<int>(blocker);
        if (blocker != Blocker::TemporaryIsFolder) {
            EXPECT_FALSE(t.exists(L"sorvik.cfg.yeni")) << static_cast<int>(blocker);
            EXPECT_FALSE(t.exists(L"zoom.cfg.yeni")) << static_cast<int>(blocker);
        }
    }
}

TEST(Save, UnreadableConfigIsNeverReplacedByAFreshOne) {
    TempFolder t;
    const std::string config = "WIDTH 1280\r\nHEIGHT 660\r\nSOUND 1\r\nLANG tr\r\n";
    t.write(L"sorvik.cfg", config);
    // Held for writing without read sharing, but renaming over it is allowed.
    HANDLE held = CreateFileW(t.file(L"sorvik.cfg").c_str(), GENERIC_WRITE,
                              FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string bytes = "stale";
    EXPECT_FALSE(readWholeFile(t.file(L"sorvik.cfg"), bytes, 1u << 20));
    EXPECT_TRUE(bytes.empty());
    DisplaySettings d;
    d.windowWidth = 1600;
    d.windowHeight = 900;
    d.interfaceScale = 1.0f;
    EXPECT_FALSE(storeDisplaySettings(t.path, 96, d));
    applyDefaultDisplaySettings(t.path, 96, {1920, 1040});
    CloseHandle(held);
    EXPECT_EQ(t.read(L"sorvik.cfg"), config);
    EXPECT_FALSE(t.exists(L"sorvik.cfg.yeni"));
    EXPECT_FALSE(t.exists(L"koruma/ekran.txt"));

    // A settings file past the read bound is treated the same way: never rewritten from nothing.
    TempFolder large;
    std::string huge = "WIDTH 1280\r\n" + std::string(1u << 20, '#');
    large.write(L"sorvik.cfg", huge);
    EXPECT_FALSE(storeDisplaySettings(large.path, 96, d));
    EXPECT_TRUE(large.read(L"sorvik.cfg") == huge);
    EXPECT_FALSE(large.exists(L"koruma/ekran.txt"));
}

// The game multiplies the units of sorvik.cfg by the scale of zoom.cfg: one changed without the
// other is a window of the wrong size, so they change together or not at all.
TEST(Save, TheTwoFilesChangeTogetherOrNotAtAll) {
    DisplaySettings d;
    d.windowWidth = 1280;
    d.windowHeight = 720;
    d.interfaceScale = 0.8f;
    {  // sorvik.cfg cannot be written: zoom.cfg is not touched
        TempFolder t;
        t.write(L"sorvik.cfg", "WIDTH 1280\r\n");
        t.write(L"zoom.cfg", "1.0\n");
        CreateDirectoryW(t.file(L"sorvik.cfg.yeni").c_str(), nullptr);
        EXPECT_FALSE(storeDisplaySettings(t.path, 96, d));
        EXPECT_EQ(t.read(L"sorvik.cfg"), "WIDTH 1280\r\n");
        EXPECT_EQ(t.read(L"zoom.cfg"), "1.0\n");
        EXPECT_FALSE(t.exists(L"zoom.cfg.yeni"));
        EXPECT_FALSE(t.exists(L"koruma/ekran.txt"));
    }
    {  // zoom.cfg is held when its turn comes: sorvik.cfg gets its old content back
        TempFolder t;
        t.write(L"sorvik.cfg", "WIDTH 1280\r\nSOUND 1\r\n");
        t.write(L"zoom.cfg", "1.0\n");
        HANDLE held = CreateFileW(t.file(L"zoom.cfg").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(storeDisplaySettings(t.path, 96, d));
        CloseHandle(held);
        EXPECT_EQ(t.read(L"sorvik.cfg"), "WIDTH 1280\r\nSOUND 1\r\n");
        EXPECT_EQ(t.read(L"zoom.cfg"), "1.0\n");
        EXPECT_FALSE(t.exists(L"sorvik.cfg.yeni"));
        EXPECT_FALSE(t.exists(L"zoom.cfg.yeni"));
    }
    {  // a zoom.cfg past the read bound is no settings file of the game's: it is left alone
        TempFolder t;
        std::string huge(1048577, '1');
        t.write(L"zoom.cfg", huge);
        EXPECT_FALSE(storeDisplaySettings(t.path, 96, d));
        EXPECT_FALSE(t.exists(L"sorvik.cfg"));
        EXPECT_TRUE(t.read(L"zoom.cfg") == huge);
    }
}

TEST(Save, SizesBelowOneUnitAreNeverWritten) {
    struct Case {
        int dpi;
        float scale;
        int width, height;
    } cases[] = {
        {96, 1.0f, 0, 720},   // a draft that kept a damaged file's 0
        {96, 1.0f, 1280, -5},
        {144, 1.4f, 1, 2},    // one pixel is less than a unit at 2.1 pixels per unit
    };
    for (const Case& c : cases) {
        TempFolder t;
        t.write(L"sorvik.cfg", "WIDTH 1280\r\nHEIGHT 660\r\n");
        DisplaySettings d;
        d.windowWidth = c.width;
        d.windowHeight = c.height;
        d.interfaceScale = c.scale;
        EXPECT_FALSE(storeDisplaySettings(t.path, c.dpi, d)) << c.width << "x" << c.height;
        EXPECT_EQ(t.read(L"sorvik.cfg"), "WIDTH 1280\r\nHEIGHT 660\r\n");
        EXPECT_FALSE(t.exists(L"zoom.cfg"));
        EXPECT_FALSE(t.exists(L"koruma/ekran.txt"));
    }
}

TEST(Defaults, WrittenOnceBeforeTheFirstStart) {
    struct Case {
        int dpi;
        ScreenSize usable;
        int units[2];
    } cases[] = {
        {144, {1920, 1040}, {888, 499}},
        {96, {1536, 801}, {1280, 667}},
        {120, {2560, 1400}, {1066, 600}},
    };
    for (const Case& c : cases) {
        TempFolder t;
        t.write(L"sorvik.cfg", "LANG tr");
        applyDefaultDisplaySettings(t.path, c.dpi, c.usable);
        EXPECT_EQ(t.read(L"sorvik.cfg"), "LANG tr\r\nWIDTH" + kTabs + std::to_string(c.units[0]) +
                                             "\r\nHEIGHT" + kTabs + std::to_string(c.units[1]) + "\r\n");
        EXPECT_EQ(t.read(L"zoom.cfg"), "1.2\n");
        EXPECT_EQ(t.read(L"koruma/ekran.txt"), "ekran ayari yazildi\n");

        // The marker stops every later run, whatever the user has chosen since.
        t.write(L"zoom.cfg", "0.8\n");
        applyDefaultDisplaySettings(t.path, c.dpi, {800, 600});
        EXPECT_EQ(t.read(L"zoom.cfg"), "0.8\n");
    }
}

TEST(Defaults, StopAtTheFirstFailedWrite) {
    TempFolder t;
    CreateDirectoryW(t.file(L"sorvik.cfg.yeni").c_str(), nullptr);
    applyDefaultDisplaySettings(t.path, 96, {1920, 1040});
    EXPECT_FALSE(t.exists(L"sorvik.cfg"));
    EXPECT_FALSE(t.exists(L"zoom.cfg"));
    EXPECT_FALSE(t.exists(L"koruma/ekran.txt"));

    TempFolder u;
    CreateDirectoryW(u.file(L"zoom.cfg.yeni").c_str(), nullptr);
    applyDefaultDisplaySettings(u.path, 96, {1920, 1040});
    EXPECT_FALSE(u.exists(L"sorvik.cfg"));  // both files or neither
    EXPECT_FALSE(u.exists(L"sorvik.cfg.yeni"));
    EXPECT_FALSE(u.exists(L"koruma/ekran.txt"));
}

}  // namespace
