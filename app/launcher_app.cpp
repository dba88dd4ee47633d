#include "app/launcher_app.h"

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

LauncherApp::LauncherApp() : particles(generateParticles()) {
    // The clock is read last so that animation time starts when the object is complete.
    QueryPerformanceFrequency(&clockFrequency);
    QueryPerformanceCounter(&clockStart);
}
