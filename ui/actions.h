// What every click id does: window buttons, repair, game folder, language toggle, the primary
// action (install, play or retry), the install form and the display settings panel.
#pragma once

struct LauncherApp;

void onClick(LauncherApp& app, int id);
void runInstallAction(LauncherApp& app);
