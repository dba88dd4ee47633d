#include "display/display_settings.h"

#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const ScreenSize screenSizes[kScreenSizeCount] = {
    {1280, 720}, {1366, 768}, {1600, 900}, {1920, 1080}, {2560, 1440}};
const float interfaceScales[kInterfaceScaleCount] = {0.8f, 1.0f, 1.2f, 1.4f};

namespace {

constexpr int kDefaultUnitsWidth = 1280;
constexpr int kDefaultUnitsHeight = 660;
constexpr float kFirstStartScale = 1.2f;
constexpr char kMarkerText[] = "ekran ayari yazildi\n";

std::wstring gameFile(const std::wstring& gameFolder, const wchar_t* name) {
    return gameFolder + L"\\" + name;
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
    float scale = 0;
    int fields = 0;
    if (FILE* file = _wfopen(gameFile(gameFolder, L"zoom.cfg").c_str(), L"r")) {
        fields = fscanf(file, "%f", &scale);
        fclose(file);
    }
    return fields == 1 && scaleInRange(scale) ? scale : 1.0f;
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

bool writeSizeAndScale(const std::wstring& gameFolder, int unitsWidth, int unitsHeight,
                       const std::string& zoom, bool zoomOnlyAfterConfig) {
    const std::wstring configPath = gameFile(gameFolder, L"sorvik.cfg");
    std::string config;
    bool configWritten = false;
    // Only a missing file starts from nothing. One that exists but cannot be read (held by the game
    // without read sharing, denied by its permissions) would otherwise be replaced by just two
    // lines, losing every other setting of the game.
    if (readWholeFile(configPath, config) ||
        GetFileAttributesW(configPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        setConfigValue(config, "WIDTH", unitsWidth);
        setConfigValue(config, "HEIGHT", unitsHeight);
        configWritten = writeFileAtomically(configPath, config);
    }
    if (!configWritten && zoomOnlyAfterConfig) return false;
    bool zoomWritten = writeFileAtomically(gameFile(gameFolder, L"zoom.cfg"), zoom);
    return configWritten && zoomWritten;
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

bool readWholeFile(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    char block[4096];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) != 0)
        bytes.append(block, got);
    // A read error ends the loop like the end of the file would; half a file is not the file.
    bool complete = !ferror(file);
    fclose(file);
    if (!complete) bytes.clear();
    return complete;
}

bool writeFileAtomically(const std::wstring& path, const std::string& bytes) {
    std::wstring temporary = path + L".yeni";
    FILE* file = _wfopen(temporary.c_str(), L"wb");
    if (!file) return false;
    size_t written = bytes.empty() ? 0 : fwrite(bytes.data(), 1, bytes.size(), file);
    bool closed = fclose(file) == 0;
    if (!closed || written != bytes.size()) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
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
    return GetFileAttributesW(gameFile(gameFolder, L"koruma\\ekran.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
}

void writeDisplayMarker(const std::wstring& gameFolder) {
    CreateDirectoryW(gameFile(gameFolder, L"koruma").c_str(), nullptr);
    writeFileAtomically(gameFile(gameFolder, L"koruma\\ekran.txt"),
                        std::string(kMarkerText, sizeof kMarkerText - 1));
}

void readDisplayFiles(const std::wstring& gameFolder, ScreenSize usable, int dpi, DisplaySettings& draft) {
    draft.interfaceScale = readZoomFile(gameFolder);
    float scale = displayScale(dpi, draft.interfaceScale);

    std::string config;
    int unitsWidth = kDefaultUnitsWidth;
    int unitsHeight = kDefaultUnitsHeight;
    if (readWholeFile(gameFile(gameFolder, L"sorvik.cfg"), config)) {
        unitsWidth = readConfigNumber(config, "WIDTH", kDefaultUnitsWidth);
        unitsHeight = readConfigNumber(config, "HEIGHT", kDefaultUnitsHeight);
    }
    int width = screenPixelsFromUnits(unitsWidth, scale);
    int height = screenPixelsFromUnits(unitsHeight, scale);
    draft.windowWidth = width < usable.width ? width : usable.width;
    draft.windowHeight = height < usable.height ? height : usable.height;
}

void snapToChoice(DisplaySettings& draft, ScreenSize usable) {
    for (int i = 0; i <= kScreenSizeCount; ++i) {
        ScreenSize candidate = i < kScreenSizeCount ? screenSizes[i] : usable;
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
                                gameUnitsFromPixels(draft.windowHeight, scale), zoom, false);
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
                          gameUnitsFromPixels(size.height, scale), "1.2\n", true))
        writeDisplayMarker(gameFolder);
}
