// The system's DPI queries, resolved at run time so that the launcher also starts on systems
// without the per-monitor functions (those fall back to the screen's DPI), and design-unit rounding.
#pragma once

#include <windows.h>

int monitorDpi(HMONITOR monitor);
int systemDpi();
int windowDpi(HWND window);
// A design length in device pixels at a scale, rounded to the nearest.
int scaledLength(float design, float scale);
