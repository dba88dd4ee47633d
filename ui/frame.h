// Painting one complete frame into the back buffer: background copy, particles, the main screen
// regions and, on top, the display settings panel. Hit regions are rebuilt on every paint.
#pragma once

#include "ui/drawing.h"

struct LauncherApp;

void paintFrame(LauncherApp& app);
void addHitRegion(LauncherApp& app, int id, float x, float y, float width, float height, bool clickable);
double animationTime(const LauncherApp& app);
void paintParticles(LauncherApp& app, GpGraphics* g, double t);
