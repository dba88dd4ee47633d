// What every click does: window buttons, repair, game folder, language toggle, the primary action
// (install, play or retry), the install form's controls and the display settings panel.
#pragma once

#include "ui/click_id.h"
#include "ui/launcher_ui.h"

void onClick(LauncherUi& ui, ClickId id);
