// The game files' download cap: "QORVANE_HIZ" in KiB/s, or else the choice the settings panel keeps
// in the game folder's koruma\hiz.txt, and the steps the panel offers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr uint32_t kMostSpeedCapKiB = 10000000;

// The panel's steps in KiB/s; 0 is "unlimited". 1 MB/s is taken as 1024 KiB/s.
inline constexpr int kSpeedCapStepCount = 7;
inline constexpr uint32_t kSpeedCapSteps[kSpeedCapStepCount] = {0, 1024, 2048, 5120, 10240, 25600, 51200};

// A decimal count of KiB/s from 1 to 10,000,000, blanks around it allowed; 0 for anything else
// (empty, 0, a sign, other characters, too large), which means no cap.
[[nodiscard]] uint32_t parseSpeedCap(std::string_view text);
[[nodiscard]] uint32_t parseSpeedCap(std::wstring_view text);

// The panel's choice for the game folder; 0 when there is none or it cannot be read.
[[nodiscard]] uint32_t readSpeedCapChoice(const std::wstring& rootFolder);
// Keeps the choice (0 removes the cap) as the other settings are kept: flushed under a temporary
// name, then moved over the old file. 0 or the system error.
[[nodiscard]] unsigned long writeSpeedCapChoice(const std::wstring& rootFolder, uint32_t kibPerSecond);

// The cap a run uses: a valid "QORVANE_HIZ" wins over the panel's choice; unset, 0 or invalid gives
// no cap of its own, and the choice applies.
[[nodiscard]] uint32_t effectiveSpeedCap(std::wstring_view environmentValue, uint32_t choice);
