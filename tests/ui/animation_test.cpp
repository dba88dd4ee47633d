#include "ui/animation.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(Particles, AreTheSameOnEveryStartAndStartFromTheSeed) {
    auto a = generateParticles();
    auto b = generateParticles();
    ASSERT_EQ(a.size(), 70u);
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].x, b[i].x);
        EXPECT_EQ(a[i].alpha, b[i].alpha);
    }
    EXPECT_FLOAT_EQ(a[0].x, static_cast<float>(7.0 * 16807 / 2147483647.0) * 960);
    // Second draw: the next state of the generator.
    uint64_t x = (7ull * 16807) % 2147483647;
    x = (x * 16807) % 2147483647;
    EXPECT_FLOAT_EQ(a[0].y, static_cast<float>(x / 2147483647.0) * 560);
    for (const Particle& p : a) {
        EXPECT_GE(p.x, 0);
        EXPECT_LE(p.x, 960);
        EXPECT_GE(p.riseSpeed, 8);
        EXPECT_LE(p.riseSpeed, 30);
        EXPECT_GE(p.size, 0.8f);
        EXPECT_LE(p.size, 3.0f);
        EXPECT_GE(p.alpha, 0.25f);
        EXPECT_LE(p.alpha, 0.85f);
    }
}

TEST(AnimationClock, RunsFromItsStartUnlessFrozen) {
    AnimationClock clock;
    EXPECT_GT(clock.frequency.QuadPart, 0);
    const double first = animationTime(clock);
    EXPECT_GE(first, 0);
    EXPECT_GE(animationTime(clock), first);  // never backwards
    clock.frozen = true;
    clock.frozenTime = 3.5;
    EXPECT_DOUBLE_EQ(animationTime(clock), 3.5);
}

}  // namespace
