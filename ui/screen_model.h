// The ScreenModel: what one frame shows (headline, detail, button, hint, progress, status rows),
// built from the UI's copy of the engine status, the install state and the language.
#pragma once

#include <cstdint>
#include <string>

#include "update/updater.h"

// How a status row's icon shows its step.
enum class RowState : int { Idle = 0, InProgress = 1, Done = 2, Failed = 3 };

struct ScreenRow {
    RowState state = RowState::Idle;
    std::wstring value;
};

struct ScreenModel {
    std::wstring headline;
    std::wstring detail;
    std::wstring buttonLabel;
    std::wstring buttonHint;
    bool errorStyle = false;
    bool barErrorStyle = false;
    bool primaryEnabled = false;
    int percent = -1;
    float progress = 0;
    ScreenRow rows[4];
};

// Pure: depends on installMode, installing, the status copy, uiLanguage and the tick given.
ScreenModel buildScreenModel(bool installMode, bool installing, const StatusSnapshot& status,
                             uint32_t nowTick);
std::wstring downloadDetail(const StatusSnapshot& status);
std::wstring remainingSizeText(const StatusSnapshot& status);
