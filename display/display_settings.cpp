#include "display/display_settings.h"

#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/file.h"
#include "base/names.h"

const ScreenSize kScreenSizeChoices[kScreenSizeCount] = {
    {1280, 720}, {1366, 768}, {1600, 900}, {1920, 1080}, {2560, 1440}};
const float kInterfaceScaleChoices[kInterfaceScaleCount] = {0.8f, 1.0f, 1.2f, 1.4f};

namespace {

constexpr int kDefaultUnitsWidth = 1280;
constexpr int kDefaultUnitsHeight = 660;
constexpr float kFirstStartScale = 1.2f;
constexpr char kMarkerText[] = "ekran ayari yazildi\n";
// The game's settings files are a few hundred bytes. A larger one is not read, and an unread file
// is never rewritten, so the bound can only ever leave such a file alone.
constexpr uint64_t kSettingsFileLimit = 1048576;

bool readSettingsFile(const std::wstring& path, std::string& bytes) {
    return readWholeFile(path, bytes, kSettingsFileLimit);
}

// The game never sees half a file: the new content is flushed under a temporary name first.
bool replaceSettingsFile(const std::wstring& path, std::string_view bytes) {
    return replaceFileDurably(path, bytes, kNewFileSuffix) == 0;
}

std::wstring gameFile(const std::wstring& gameFolder, const wchar_t* name) {
    return joinPath(gameFolder, name);
}

std::wstring markerPath(const std::wstring& gameFolder) {
    return stateFilePath(gameFolder, kDisplayRecordFileName);
}

// Float to int without the undefined conversion of out-of-range values: a WIDTH of two billion in
// a hand-edited file must not turn into a negative window.
int truncateToInt(float value) {
    if (value != value) return 0;
    if (value >= 2147483648.0f) return INT_MAX;
    if (value <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(value);
}

bool scaleInRange(float scale) {
    return scale >= 0.5f && scale <= 3.0f;
}

float readZoomFile(const std::wstring& gameFolder) {
    std::string text;
    if (!readSettingsFile(gameFile(gameFolder, kGameScaleFile), text)) return 1.0f;
    char* end = nullptr;
    float scale = strtof(text.c_str(), &end);
    return end != text.c_str() && scaleInRange(scale) ? scale : 1.0f;
}

// The number after the key, read like strtol but only within the key's own line, so a value-less
// "WIDTH " line cannot borrow the number of the line below it.
int readConfigNumber(const std::string& text, const char* key, int fallback) {
    ConfigLine line = findConfigLine(text, key);
    if (!line.found) return fallback;
    size_t keyLength = strlen(key);
    std::string rest = text.substr(line.start + keyLength, line.length - keyLength);
    long value = strtol(rest.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

std::string zoomText(float scale) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%.1f\n", scale);
    return buffer;
}

// Only a missing file starts from nothing. One that exists but cannot be read (held by the game
// without read sharing, denied by its permissions, larger than any settings file) is never replaced:
// rewriting it would lose every other setting of the game.
bool readForRewrite(const std::wstring& path, std::string& bytes) {
    return readSettingsFile(path, bytes) || !pathExists(path);
}

// The two files change together or not at all, since the game multiplies the units of one by the
// scale of the other: a new scale over old units (or the reverse) is a window of the wrong size.
// Both new contents are flushed under temporary names before either file changes.
bool writeSizeAndScale(const std::wstring& gameFolder, int unitsWidth, int unitsHeight,
                       const std::string& zoom) {
    // A size below one unit (from a damaged file, or a scale too large for the pixels) is no window.
    if (unitsWidth < 1 || unitsHeight < 1) return false;
    const std::wstring configPath = gameFile(gameFolder, kGameWindowFile);
    const std::wstring zoomPath = gameFile(gameFolder, kGameScaleFile);
    std::string oldConfig, oldZoom;
    if (!readForRewrite(configPath, oldConfig) || !readForRewrite(zoomPath, oldZoom)) return false;
    const bool configExisted = pathExists(configPath);
    std::string config = oldConfig;
    setConfigValue(config, "WIDTH", unitsWidth);
    setConfigValue(config, "HEIGHT", unitsHeight);

    const std::wstring configTemp = configPath + kNewFileSuffix;
    const std::wstring zoomTemp = zoomPath + kNewFileSuffix;
    bool staged = writeFlushedFile(configTemp, config) == 0 && writeFlushedFile(zoomTemp, zoom) == 0;
    if (staged && moveFileDurably(configTemp, configPath) == 0) {
        if (moveFileDurably(zoomTemp, zoomPath) == 0) return true;
        // zoom.cfg is held by another program: the old size goes back under the old scale.
        if (configExisted)
            replaceSettingsFile(configPath, oldConfig);
        else
            DeleteFileW(configPath.c_str());
    }
    DeleteFileW(configTemp.c_str());
    DeleteFileW(zoomTemp.c_str());
    return false;
}

}  // namespace

ScreenSize usableScreen(const DisplaySettings& draft) {
    if (draft.simulatedScreenWidth != 0)
        return {draft.simulatedScreenWidth, draft.simulatedScreenHeight - 63};
    return {GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN)};
}

ScreenSize fullScreen(const DisplaySettings& draft) {
    if (draft.simulatedScreenWidth != 0) return {draft.simulatedScreenWidth, draft.simulatedScreenHeight};
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

int effectiveDpi(const DisplaySettings& draft, int systemDpi) {
    return draft.dpiOverride != 0 ? draft.dpiOverride : systemDpi;
}

bool fitsScreen(ScreenSize size, ScreenSize usable) {
    return size.width <= usable.width && size.height <= usable.height;
}

ScreenSize firstStartWindowSize(ScreenSize usable) {
    ScreenSize preferred{1600, 900};
    return fitsScreen(preferred, usable) ? preferred : usable;
}

float displayScale(int dpi, float interfaceScale) {
    float dpiFactor = dpi >= 97 && dpi <= 384 ? static_cast<float>(dpi) / 96.0f : 1.0f;
    float zoomFactor = scaleInRange(interfaceScale) ? interfaceScale : 1.0f;
    return dpiFactor * zoomFactor;
}

int screenPixelsFromUnits(int units, float scale) {
    return truncateToInt(static_cast<float>(units) * scale + 0.5f);
}

int gameUnitsFromPixels(int pixels, float scale) {
    return truncateToInt(static_cast<float>(pixels) / scale);
}

ConfigLine findConfigLine(const std::string& text, const char* key) {
    size_t keyLength = strlen(key);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        size_t length = end - start;
        if (length > keyLength && text.compare(start, keyLength, key) == 0) {
            char after = text[start + keyLength];
            if (after == ' ' || after == '\t') return {true, start, length};
        }
        start = end + 1;
    }
    return {};
}

void setConfigValue(std::string& text, const char* key, int value) {
    std::string line = key;
    line += "\t\t\t\t\t\t";
    line += std::to_string(value);
    ConfigLine found = findConfigLine(text, key);
    if (found.found) {
        if (text[found.start + found.length - 1] == '\r') line += '\r';
        text.replace(found.start, found.length, line);
        return;
    }
    if (!text.empty() && text.back() != '\n') text += "\r\n";
    text += line;
    text += "\r\n";
}

bool displayMarkerExists(const std::wstring& gameFolder) {
    return pathExists(markerPath(gameFolder));
}

void writeDisplayMarker(const std::wstring& gameFolder) {
    CreateDirectoryW(stateFolderPath(gameFolder).c_str(), nullptr);
    replaceSettingsFile(markerPath(gameFolder), std::string_view(kMarkerText, sizeof kMarkerText - 1));
}

void readDisplayFiles(const std::wstring& gameFolder, ScreenSize usable, int dpi, DisplaySettings& draft) {
    draft.interfaceScale = readZoomFile(gameFolder);
    float scale = displayScale(dpi, draft.interfaceScale);

    std::string config;
    int unitsWidth = kDefaultUnitsWidth;
    int unitsHeight = kDefaultUnitsHeight;
    if (readSettingsFile(gameFile(gameFolder, kGameWindowFile), config)) {
        unitsWidth = readConfigNumber(config, "WIDTH", kDefaultUnitsWidth);
        unitsHeight = readConfigNumber(config, "HEIGHT", kDefaultUnitsHeight);
    }
    // A size below one unit (a damaged or hand-edited file) is no window: it counts as missing, so
    // the panel never offers it and a save never writes it back.
    if (unitsWidth < 1) unitsWidth = kDefaultUnitsWidth;
    if (unitsHeight < 1) unitsHeight = kDefaultUnitsHeight;
    int width = screenPixelsFromUnits(unitsWidth, scale);
    int height = screenPixelsFromUnits(unitsHeight, scale);
    draft.windowWidth = width < usable.width ? width : usable.width;
    draft.windowHeight = height < usable.height ? height : usable.height;
}

void snapToChoice(DisplaySettings& draft, ScreenSize usable) {
    for (int i = 0; i <= kScreenSizeCount; ++i) {
        ScreenSize candidate = i < kScreenSizeCount ? kScreenSizeChoices[i] : usable;
        bool nearby =
            abs(draft.windowWidth - candidate.width) <= 4 && abs(draft.windowHeight - candidate.height) <= 4;
        if (nearby && fitsScreen(candidate, usable)) {
            draft.windowWidth = candidate.width;
            draft.windowHeight = candidate.height;
            return;
        }
    }
}

void loadDisplaySettings(const std::wstring& gameFolder, int systemDpi, DisplaySettings& draft) {
    ScreenSize usable = usableScreen(draft);
    readDisplayFiles(gameFolder, usable, effectiveDpi(draft, systemDpi), draft);
    snapToChoice(draft, usable);
    if (draft.simulatedScreenWidth == 0 && !displayMarkerExists(gameFolder)) {
        ScreenSize size = firstStartWindowSize(usable);
        draft.windowWidth = size.width;
        draft.windowHeight = size.height;
        draft.interfaceScale = kFirstStartScale;
    }
}

bool storeDisplaySettings(const std::wstring& gameFolder, int systemDpi, const DisplaySettings& draft) {
    // zoom.cfg keeps one decimal, and the game multiplies the units by what it reads back. A finer
    // scale from a hand-edited file (0.75) is saved as 0.8, so the units must follow 0.8 too or the
    // game window comes out the wrong size. For the chips' own scales nothing changes.
    std::string zoom = zoomText(draft.interfaceScale);
    float savedScale = strtof(zoom.c_str(), nullptr);
    float scale = displayScale(effectiveDpi(draft, systemDpi), savedScale);
    bool ok = writeSizeAndScale(gameFolder, gameUnitsFromPixels(draft.windowWidth, scale),
                                gameUnitsFromPixels(draft.windowHeight, scale), zoom);
    if (ok) writeDisplayMarker(gameFolder);
    return ok;
}

void applyDefaultDisplaySettings(const std::wstring& gameFolder, int systemDpi) {
    applyDefaultDisplaySettings(gameFolder, systemDpi, usableScreen(DisplaySettings{}));
}

void applyDefaultDisplaySettings(const std::wstring& gameFolder, int systemDpi, ScreenSize usable) {
    if (displayMarkerExists(gameFolder)) return;
    ScreenSize size = firstStartWindowSize(usable);
    float scale = displayScale(systemDpi, kFirstStartScale);
    if (writeSizeAndScale(gameFolder, gameUnitsFromPixels(size.width, scale),
                          gameUnitsFromPixels(size.height, scale), "1.2\n"))
        writeDisplayMarker(gameFolder);
}
