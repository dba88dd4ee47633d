// The background embers and the clock that moves them: the fixed particle set, the animation
// time (frozen for the preview), and painting the embers for a time, directly or from sprites.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "ui/pixel_layer.h"

struct Particle {
    float x, y, riseSpeed, size, phase, alpha;
};

constexpr int kParticleCount = 70;
// The fixed particle set: a multiplicative congruential generator seeded with 7.
std::vector<Particle> generateParticles();

// The moment the preview shows, and the embers stand at while animations are turned off.
inline constexpr double kStillEmberTime = 3.0;

struct AnimationClock {
    AnimationClock();  // starts now
    LARGE_INTEGER frequency{};
    LARGE_INTEGER start{};
    bool frozen = false;  // the preview paints every state at one fixed time
    double frozenTime = 0;
};
// Seconds since the clock started, or the frozen time.
double animationTime(const AnimationClock& clock);

// Where an ember stands at time t, in design units, and its opacity (0 to 1).
struct EmberPlace {
    float cx, cy, radius, alpha;
};
EmberPlace emberAt(const Particle& particle, double seconds);

// Design units; embers rise, sway and flicker with t and re-enter at the bottom.
void paintParticles(const std::vector<Particle>& particles, Gdiplus::GpGraphics* graphics, double seconds);

// Embers rendered once at full opacity, by radius and sub-pixel position in device pixels (both
// rounded to a bucket), for one scale; blending one then costs a few hundred pixel operations
// where a gradient fill costs a path, a brush and a rasterisation.
struct EmberSprites {
    float scale = 0;
    std::unordered_map<uint32_t, PixelLayer> byKey;
};
// The same embers as paintParticles, blended from sprites into premultiplied BGRA pixels of
// width x height painted at scale; sprites missing from the set are rendered on first use.
void blendParticles(const std::vector<Particle>& particles, EmberSprites& sprites, uint32_t* pixels,
                    int width, int height, float scale, double seconds);
