// Every control the window registers while painting, as the hit regions and the actions name it.
// The numbers are the order in which the screens register them; 0 is no control.
#pragma once

enum class ClickId : int {
    None = 0,
    // Title bar and main screen
    Minimise = 1,
    Close = 2,
    Repair = 3,
    GameFolder = 4,
    Language = 5,
    Primary = 6,  // install, play or retry
    // Install form
    FolderBox = 7,
    ChangeFolder = 8,
    DesktopShortcut = 9,
    StartMenuShortcut = 10,
    Settings = 11,  // opens the display settings panel
    // Display settings panel
    PanelBackdrop = 12,  // covers the main screen; never an action
    PanelClose = 13,
    FirstSizeChip = 14,   // five fixed sizes, 14 to 18
    FillScreenChip = 19,  // the sixth size chip
    FirstScaleChip = 20,  // four interface scales, 20 to 23
    PanelDefault = 24,
    PanelCancel = 25,
    PanelSave = 26,
    FirstSpeedChip = 27,  // download caps, 27 to 33 ("unlimited" first), painted before the buttons
};

// The index-th size chip (0 to 5, 5 being "Fill screen") and scale chip (0 to 3).
constexpr ClickId sizeChipId(int index) {
    return static_cast<ClickId>(static_cast<int>(ClickId::FirstSizeChip) + index);
}
constexpr ClickId scaleChipId(int index) {
    return static_cast<ClickId>(static_cast<int>(ClickId::FirstScaleChip) + index);
}
// The chip's index within its row, or -1 when id is not a chip of that row.
constexpr int sizeChipIndex(ClickId id) {
    int index = static_cast<int>(id) - static_cast<int>(ClickId::FirstSizeChip);
    return index >= 0 && index <= 5 ? index : -1;
}
constexpr int scaleChipIndex(ClickId id) {
    int index = static_cast<int>(id) - static_cast<int>(ClickId::FirstScaleChip);
    return index >= 0 && index <= 3 ? index : -1;
}
// The download cap chips (0 to 6, 0 being "unlimited").
constexpr ClickId speedChipId(int index) {
    return static_cast<ClickId>(static_cast<int>(ClickId::FirstSpeedChip) + index);
}
constexpr int speedChipIndex(ClickId id) {
    int index = static_cast<int>(id) - static_cast<int>(ClickId::FirstSpeedChip);
    return index >= 0 && index <= 6 ? index : -1;
}
