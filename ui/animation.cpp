#include "ui/animation.h"

#include <algorithm>
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

void paintEmber(Gdiplus::GpGraphics* graphics, float cx, float cy, float r, float a) {
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
    GdipFillPath(graphics, brush.get(), path.get());
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

EmberPlace emberAt(const Particle& particle, double seconds) {
    EmberPlace place;
    place.cx = static_cast<float>(particle.x + 14 * std::sin(0.7 * seconds + particle.phase));
    // Embers rise and re-enter at the bottom; the visible band runs from -20 to 580.
    place.cy = static_cast<float>(
        std::fmod(std::fmod(particle.y - particle.riseSpeed * seconds, 600.0) + 600.0, 600.0) - 20);
    place.alpha = static_cast<float>(particle.alpha * (0.6 + 0.4 * std::sin(2 * seconds + particle.phase)));
    place.radius = 3 * particle.size;
    return place;
}

void paintParticles(const std::vector<Particle>& particles, Gdiplus::GpGraphics* graphics, double seconds) {
    for (const Particle& particle : particles) {
        EmberPlace e = emberAt(particle, seconds);
        paintEmber(graphics, e.cx, e.cy, e.radius, e.alpha);
    }
}

namespace {

// Buckets per device pixel. A quarter pixel of position and an eighth of radius keep every ember
// within a few levels of its exact fill, and the set small: at most 16 positions per radius.
constexpr int kPositionSteps = 4;
constexpr int kRadiusSteps = 32;
constexpr int kSpriteMargin = 2;  // device pixels around the circle, for the edge's anti-aliasing
constexpr size_t kSpriteLimit = 4096;

uint32_t spriteKey(int radiusBucket, int stepX, int stepY) {
    return static_cast<uint32_t>(radiusBucket) << 8 | static_cast<uint32_t>(stepX) << 4 |
           static_cast<uint32_t>(stepY);
}

// The ember's centre sits at (reach + stepX / kPositionSteps, reach + stepY / kPositionSteps), on
// a graphics set up as the frame's, so the fill lands on the same pixels as it would there.
PixelLayer renderSprite(float deviceRadius, int stepX, int stepY, float scale) {
    const int reach = static_cast<int>(std::ceil(deviceRadius)) + kSpriteMargin;
    const int size = 2 * reach + 2;
    return paintLayer(size, size, scale, reach + static_cast<float>(stepX) / kPositionSteps,
                      reach + static_cast<float>(stepY) / kPositionSteps, [&](Gdiplus::GpGraphics* graphics) {
                          paintEmber(graphics, 0, 0, deviceRadius / scale, 1.0f);
                      });
}

}  // namespace

void blendParticles(const std::vector<Particle>& particles, EmberSprites& sprites, uint32_t* pixels,
                    int width, int height, float scale, double seconds) {
    if (sprites.scale != scale || sprites.byKey.size() > kSpriteLimit) {
        sprites.byKey.clear();
        sprites.scale = scale;
    }
    for (const Particle& particle : particles) {
        EmberPlace e = emberAt(particle, seconds);
        // The fill's colours are linear in the ember's alpha, so one sprite at full opacity serves
        // every alpha; the byte is the one the gradient's centre colour would get.
        const int opacity = std::clamp(static_cast<int>(std::floor(e.alpha * 255)), 0, 255);
        if (opacity == 0) continue;
        const int radiusBucket = static_cast<int>(std::lround(e.radius * scale * kRadiusSteps));
        const float deviceX = e.cx * scale, deviceY = e.cy * scale;
        int wholeX = static_cast<int>(std::floor(deviceX)), wholeY = static_cast<int>(std::floor(deviceY));
        int stepX = static_cast<int>(std::lround((deviceX - wholeX) * kPositionSteps));
        int stepY = static_cast<int>(std::lround((deviceY - wholeY) * kPositionSteps));
        if (stepX == kPositionSteps) {
            ++wholeX;
            stepX = 0;
        }
        if (stepY == kPositionSteps) {
            ++wholeY;
            stepY = 0;
        }

        const uint32_t key = spriteKey(radiusBucket, stepX, stepY);
        auto found = sprites.byKey.find(key);
        if (found == sprites.byKey.end()) {
            const float deviceRadius = static_cast<float>(radiusBucket) / kRadiusSteps;
            found = sprites.byKey.emplace(key, renderSprite(deviceRadius, stepX, stepY, scale)).first;
        }
        const PixelLayer& sprite = found->second;
        const int reach = (sprite.width - 2) / 2;
        blendLayer(sprite, pixels, width, height, wholeX - reach, wholeY - reach, opacity);
    }
}
