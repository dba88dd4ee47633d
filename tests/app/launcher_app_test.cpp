#include "app/launcher_app.h"

#include <gtest/gtest.h>

namespace {

TEST(LauncherApp, StartsWithTheDocumentedDefaultsAndTheWindowRefersToItsRunControl) {
    LauncherApp app;
    EXPECT_EQ(&app.ui.runs, &app.runs);
    EXPECT_EQ(app.ui.window.particles.size(), 70u);
    EXPECT_FLOAT_EQ(app.ui.window.uiScale, 1.0f);
    EXPECT_EQ(app.ui.window.showCommand, 1);
    EXPECT_GT(app.ui.window.clock.frequency.QuadPart, 0);
    EXPECT_TRUE(app.ui.installForm.desktopShortcut);
    EXPECT_TRUE(app.ui.installForm.startMenuShortcut);
    EXPECT_FALSE(app.ui.settings.open);
    EXPECT_FLOAT_EQ(app.ui.settings.draft.interfaceScale, 1.2f);
    EXPECT_EQ(app.ui.status.phase, UpdatePhase::Idle);
    EXPECT_FALSE(app.ui.backBuffer.bitmap);

    const Updater& updater = app.runs.updater;
    EXPECT_EQ(copyStatus(app.runs.updater.status).phase, UpdatePhase::Idle);
    EXPECT_EQ(updater.config.server.basePath, L"/qorvane/pc/");
    EXPECT_EQ(updater.config.server.port, 443);
    EXPECT_TRUE(updater.config.server.useHttps);
    EXPECT_EQ(updater.config.connectionCount, 6);
    EXPECT_FALSE(updater.config.server.host.empty());
}

}  // namespace
