// The game client's display settings: the window size in sorvik.cfg, the interface scale in
// zoom.cfg, the marker koruma\ekran.txt, and the conversion between game units and screen pixels.
#pragma once

struct DisplaySettings {
    int windowWidth = 0;
    int windowHeight = 0;
    float interfaceScale = 1.2f;
    int simulatedScreenWidth = 0;
    int simulatedScreenHeight = 0;
    int dpiOverride = 0;
};
