#include "update/speed_cap.h"

#include <windows.h>

#include "base/file.h"
#include "base/names.h"

namespace {

template <typename Char>
uint32_t parseDigits(std::basic_string_view<Char> text) {
    auto blank = [](Char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (text.empty() || text.size() > 8) return 0;
    uint32_t value = 0;
    for (Char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value <= kMostSpeedCapKiB ? value : 0;
}

}  // namespace

uint32_t parseSpeedCap(std::string_view text) {
    return parseDigits(text);
}

uint32_t parseSpeedCap(std::wstring_view text) {
    return parseDigits(text);
}

uint32_t readSpeedCapChoice(const std::wstring& rootFolder) {
    std::string text;
    if (!readWholeFile(stateFilePath(rootFolder, kSpeedCapFileName), text, 64)) return 0;
    return parseSpeedCap(text);
}

unsigned long writeSpeedCapChoice(const std::wstring& rootFolder, uint32_t kibPerSecond) {
    createFolderTree(stateFolderPath(rootFolder));
    return replaceFileDurably(stateFilePath(rootFolder, kSpeedCapFileName),
                              std::to_string(kibPerSecond <= kMostSpeedCapKiB ? kibPerSecond : 0) + "\n");
}

uint32_t effectiveSpeedCap(std::wstring_view environmentValue, uint32_t choice) {
    const uint32_t fromEnvironment = parseSpeedCap(environmentValue);
    return fromEnvironment != 0 ? fromEnvironment : choice;
}
