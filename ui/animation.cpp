#include "ui/animation.h"

#include <cmath>
#include <cstdint>

#include "ui/gdiplus_handles.h"

using namespace Gdiplus::DllExports;

namespace {

Gdiplus::ARGB withAlpha(float alpha, Gdiplus::ARGB rgb) {
    int a = static_cast<int>(std::floor(alpha * 255));
    if (a < 0) a = 0;
    if (a > 255) a = 255;
    return (static_cast<Gdiplus::ARGB>(a) << 24) | (rgb & 0x00FFFFFF);
}

void paintEmber(Gdiplus::GpGraphics* g, float cx, float cy, float r, float a) {
    UniquePath path;
    if (GdipCreatePath(Gdiplus::FillModeAlternate, path.put()) != Gdiplus::Ok) return;
    GdipAddPathEllipse(path.get(), cx - r, cy - r, 2 * r, 2 * r);
    Gdiplus::GpPathGradient* rawBrush = nullptr;
    if (GdipCreatePathGradientFromPath(path.get(), &rawBrush) != Gdiplus::Ok) return;
    UniqueBrush brush(rawBrush);
    Gdiplus::GpPointF centre(cx, cy);
    GdipSetPathGradientCenterPoint(rawBrush, &centre);

    const Gdiplus::ARGB rim = 0x00C83C0A;
    const Gdiplus::ARGB middle = withAlpha(a * 0.5f, 0xF06E1E);
    const Gdiplus::ARGB core = withAlpha(a, 0xFFBE5A);
    // Some GDI+ implementations (Wine's) ignore the three-stop blend below and fill with the centre
    // colour alone; centre and rim colours give them a plain two-colour glow of the same ember.
    GdipSetPathGradientCenterColor(rawBrush, core);
    INT surroundCount = 1;
    GdipSetPathGradientSurroundColorsWithCount(rawBrush, &rim, &surroundCount);
    const Gdiplus::ARGB colours[3] = {rim, middle, core};
    const float positions[3] = {0.0f, 0.6f, 1.0f};
    GdipSetPathGradientPresetBlend(rawBrush, colours, positions, 3);
    GdipFillPath(g, brush.get(), path.get());
}

}  // namespace

std::vector<Particle> generateParticles() {
    std::vector<Particle> particles(kParticleCount);
    uint64_t x = 7;
    auto draw = [&x]() {
        x = (x * 16807) % 2147483647;
        return static_cast<float>(static_cast<double>(x) / 2147483647.0);
    };
    for (Particle& p : particles) {
        p.x = draw() * 960;
        p.y = draw() * 560;
        p.riseSpeed = draw() * 22 + 8;
        p.size = draw() * 2.2f + 0.8f;
        p.phase = draw() * 6.28f;
        p.alpha = draw() * 0.6f + 0.25f;
    }
    return particles;
}

AnimationClock::AnimationClock() {
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
}

double animationTime(const AnimationClock& clock) {
    if (clock.frozen) return clock.frozenTime;
    if (clock.frequency.QuadPart == 0) return 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - clock.start.QuadPart) /
           static_cast<double>(clock.frequency.QuadPart);
}

void paintParticles(const std::vector<Particle>& particles, Gdiplus::GpGraphics* g, double t) {
    for (const Particle& p : particles) {
        float cx = static_cast<float>(p.x + 14 * std::sin(0.7 * t + p.phase));
        // Embers rise and re-enter at the bottom; the visible band runs from -20 to 580.
        float cy = static_cast<float>(std::fmod(std::fmod(p.y - p.riseSpeed * t, 600.0) + 600.0, 600.0) - 20);
        float a = static_cast<float>(p.alpha * (0.6 + 0.4 * std::sin(2 * t + p.phase)));
        paintEmber(g, cx, cy, 3 * p.size, a);
    }
}
