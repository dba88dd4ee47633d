// The game client's display settings: the window size in sorvik.cfg, the interface scale in
// zoom.cfg, the marker koruma\ekran.txt, and the conversion between game units and screen pixels.
#pragma once

#include <cstddef>
#include <string>

// The panel's draft. The DPI and the game folder are not part of it: callers pass them in, so this
// module never depends on the window.
struct DisplaySettings {
    int windowWidth = 0;
    int windowHeight = 0;
    float interfaceScale = 1.2f;
    int simulatedScreenWidth = 0;  // preview only; 0 = the real screen
    int simulatedScreenHeight = 0;
    int dpiOverride = 0;  // preview only; 0 = the system DPI
};

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// The window sizes and interface scales the settings panel offers, smallest first.
constexpr int kScreenSizeCount = 5;
constexpr int kInterfaceScaleCount = 4;
extern const ScreenSize kScreenSizeChoices[kScreenSizeCount];
extern const float kInterfaceScaleChoices[kInterfaceScaleCount];

// Client area of a maximised window on the primary monitor, or the simulated screen minus a
// 63-pixel taskbar and caption.
ScreenSize usableScreen(const DisplaySettings& draft);
// The whole screen (SM_CXSCREEN x SM_CYSCREEN), or the simulated one.
ScreenSize fullScreen(const DisplaySettings& draft);
// dpiOverride when set, else the given system DPI.
int effectiveDpi(const DisplaySettings& draft, int systemDpi);
bool fitsScreen(ScreenSize size, ScreenSize usable);
// 1600 x 900 when the usable screen holds it, else the usable screen itself.
ScreenSize firstStartWindowSize(ScreenSize usable);

// DPI factor (DPI / 96 within 97..384, else 1) times the zoom factor (the scale within 0.5..3,
// else 1), in single precision.
float displayScale(int dpi, float interfaceScale);
int screenPixelsFromUnits(int units, float scale);
int gameUnitsFromPixels(int pixels, float scale);

struct ConfigLine {
    bool found = false;
    size_t start = 0;
    size_t length = 0;  // up to the line feed; a carriage return before it is included
};
ConfigLine findConfigLine(const std::string& text, const char* key);
// Rewrites (or appends) "key\t\t\t\t\t\tvalue", keeping every other byte of the text.
void setConfigValue(std::string& text, const char* key, int value);

bool displayMarkerExists(const std::wstring& gameFolder);
void writeDisplayMarker(const std::wstring& gameFolder);

// Fills the draft's size and scale from the game's files for the given usable screen (no
// first-start override, no snapping).
void readDisplayFiles(const std::wstring& gameFolder, ScreenSize usable, int dpi, DisplaySettings& draft);
// Moves a size within 4 pixels of a fixed size (or the usable screen) that fits onto it.
void snapToChoice(DisplaySettings& draft, ScreenSize usable);
// What opening the panel loads: the files, snapped, or the first-start defaults while the marker
// is missing (never with a simulated screen).
void loadDisplaySettings(const std::wstring& gameFolder, int systemDpi, DisplaySettings& draft);
// Writes sorvik.cfg and zoom.cfg from the draft; true only when both were written (the marker is
// then written too).
bool storeDisplaySettings(const std::wstring& gameFolder, int systemDpi, const DisplaySettings& draft);
// Before the first game start: writes the defaults once (1600 x 900 or the usable screen, scale
// 1.2) unless the marker exists. Failures are silent; the game starts anyway.
void applyDefaultDisplaySettings(const std::wstring& gameFolder, int systemDpi);
void applyDefaultDisplaySettings(const std::wstring& gameFolder, int systemDpi, ScreenSize usable);
