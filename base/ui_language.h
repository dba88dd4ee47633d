// The two languages of every text the launcher shows and of the game client's language file; the
// numbers index the per-language arrays (the news lists) and are what the text table expects.
#pragma once

enum class UiLanguage : int { Turkish = 0, English = 1 };

inline constexpr int kUiLanguageCount = 2;

inline constexpr int languageIndex(UiLanguage language) {
    return static_cast<int>(language);
}
