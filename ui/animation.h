// The background embers and the clock that moves them: the fixed particle set, the animation
// time (frozen for the preview), and painting the embers for a time.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <vector>

struct Particle {
    float x, y, riseSpeed, size, phase, alpha;
};

constexpr int kParticleCount = 70;
// The fixed particle set: a multiplicative congruential generator seeded with 7.
std::vector<Particle> generateParticles();

struct AnimationClock {
    AnimationClock();  // starts now
    LARGE_INTEGER frequency{};
    LARGE_INTEGER start{};
    bool frozen = false;  // the preview paints every state at one fixed time
    double frozenTime = 0;
};
// Seconds since the clock started, or the frozen time.
double animationTime(const AnimationClock& clock);

// Design units; embers rise, sway and flicker with t and re-enter at the bottom.
void paintParticles(const std::vector<Particle>& particles, Gdiplus::GpGraphics* g, double t);
