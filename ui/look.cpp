#include "ui/look.h"

#include <cmath>
#include <cwchar>
#include <string>

namespace {

Gdiplus::ARGB systemColour(int index) {
    const COLORREF c = GetSysColor(index);
    return 0xFF000000u | static_cast<Gdiplus::ARGB>(GetRValue(c)) << 16 |
           static_cast<Gdiplus::ARGB>(GetGValue(c)) << 8 | GetBValue(c);
}

double channelLuminance(unsigned value) {
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double relativeLuminance(Gdiplus::ARGB colour) {
    return 0.2126 * channelLuminance((colour >> 16) & 0xFF) +
           0.7152 * channelLuminance((colour >> 8) & 0xFF) + 0.0722 * channelLuminance(colour & 0xFF);
}

}  // namespace

Gdiplus::ARGB pick(const Look& look, Gdiplus::ARGB design, Role role) {
    if (!look.highContrast) return design;
    const ContrastColours& c = look.colours;
    switch (role) {
        case Role::Text:
            return c.windowText;
        case Role::Disabled:
            return c.grayText;
        case Role::Window:
            return c.window;
        case Role::Highlight:
            return c.highlight;
        case Role::HighlightText:
            return c.highlightText;
        case Role::ButtonFace:
            return c.buttonFace;
        case Role::ButtonText:
            return c.buttonText;
    }
    return c.windowText;
}

Look systemLook() {
    Look look;
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    if (SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0))
        look.highContrast = (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
    if (look.highContrast) {
        look.colours.window = systemColour(COLOR_WINDOW);
        look.colours.windowText = systemColour(COLOR_WINDOWTEXT);
        look.colours.highlight = systemColour(COLOR_HIGHLIGHT);
        look.colours.highlightText = systemColour(COLOR_HIGHLIGHTTEXT);
        look.colours.buttonFace = systemColour(COLOR_BTNFACE);
        look.colours.buttonText = systemColour(COLOR_BTNTEXT);
        look.colours.grayText = systemColour(COLOR_GRAYTEXT);
    }
    BOOL animations = TRUE;
    if (SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &animations, 0))
        look.animations = animations != FALSE;
    return look;
}

ContrastColours previewContrastColours() {
    return ContrastColours{};
}

double contrastRatio(Gdiplus::ARGB a, Gdiplus::ARGB b) {
    double la = relativeLuminance(a), lb = relativeLuminance(b);
    if (la < lb) std::swap(la, lb);
    return (la + 0.05) / (lb + 0.05);
}

std::wstring lookKey(const Look& look) {
    if (!look.highContrast) return L"design";
    const ContrastColours& c = look.colours;
    wchar_t buffer[128];
    std::swprintf(buffer, 128, L"hc %08x %08x %08x %08x %08x %08x %08x", c.window, c.windowText, c.highlight,
                  c.highlightText, c.buttonFace, c.buttonText, c.grayText);
    return buffer;
}
