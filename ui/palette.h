// The colours the screens share (ARGB). Shades used by one shape only stay beside that shape.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

inline constexpr Gdiplus::ARGB kCream = 0xFFF1E6C0;      // main text
inline constexpr Gdiplus::ARGB kGold = 0xFFF2C94C;       // emphasis, outlines of selected things
inline constexpr Gdiplus::ARGB kDeepGold = 0xFFD9A83A;   // hovered outlines, headings
inline constexpr Gdiplus::ARGB kMuted = 0xFFB5A888;      // secondary text
inline constexpr Gdiplus::ARGB kDim = 0xFF6D6455;        // hints and disabled text
inline constexpr Gdiplus::ARGB kRed = 0xFFE0544A;        // errors
inline constexpr Gdiplus::ARGB kGreen = 0xFF8FD16A;      // success
inline constexpr Gdiplus::ARGB kPanel = 0xFF15100B;      // button and pill bodies
inline constexpr Gdiplus::ARGB kBorder = 0xFF4E4130;     // resting outlines
inline constexpr Gdiplus::ARGB kTrack = 0xFF120D08;      // progress track
inline constexpr Gdiplus::ARGB kTrackEdge = 0xFF5A4A2E;  // progress track and settings button edge
