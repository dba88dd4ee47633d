// How the window looks and moves for the person in front of it: the design's own colours or, with
// high contrast on, the system's colour pairs; and whether animations run. Read from the system's
// accessibility settings, and again whenever the system says they changed.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <string>

// The system colour pairs a high-contrast screen is painted with (opaque ARGB).
struct ContrastColours {
    Gdiplus::ARGB window = 0xFF000000;
    Gdiplus::ARGB windowText = 0xFFFFFFFF;
    Gdiplus::ARGB highlight = 0xFF1AEBFF;
    Gdiplus::ARGB highlightText = 0xFF000000;
    Gdiplus::ARGB buttonFace = 0xFF000000;
    Gdiplus::ARGB buttonText = 0xFFFFFFFF;
    Gdiplus::ARGB grayText = 0xFF3FF23F;
};

struct Look {
    bool highContrast = false;
    ContrastColours colours;  // used only with highContrast
    bool animations = true;   // false: the embers stand still and unchanged frames are not repainted
};

// What a colour stands for where it is used; with high contrast each role takes its system colour.
enum class Role {
    Text,           // window text on the window
    Disabled,       // gray text: controls that cannot be used
    Window,         // backgrounds and fills behind text
    Highlight,      // selected, hovered, focused, the progress fill
    HighlightText,  // text and marks on the highlight
    ButtonFace,
    ButtonText,  // text, marks and borders of buttons
};

// The design's colour, or the role's system colour when high contrast is on.
Gdiplus::ARGB pick(const Look& look, Gdiplus::ARGB design, Role role);

// The system's settings now: SPI_GETHIGHCONTRAST with the GetSysColor pairs, and
// SPI_GETCLIENTAREAANIMATION (animations stay on when the question fails).
Look systemLook();
// The preview's fixed high-contrast scheme (white on black, cyan highlight, green gray text), so
// that its pictures do not depend on the machine that renders them.
ContrastColours previewContrastColours();
// The WCAG contrast ratio of two opaque colours, 1 to 21.
double contrastRatio(Gdiplus::ARGB a, Gdiplus::ARGB b);
// Describes the look for the frame's cache keys: equal texts, equal pixels.
std::wstring lookKey(const Look& look);
