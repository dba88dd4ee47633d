// Under Wine, file names reach a Windows program through the character set of the Unix locale:
// outside UTF-8 a name with Turkish letters arrives changed (under "C" every byte loses its high
// bit, so "ş" becomes "E" and a control character). What the publisher tells the operator about
// it; on Windows none of this applies and nothing is said.
#pragma once

#include <string>
#include <string_view>

// "C.UTF-8", "tr_TR.utf8": the locale's character set is UTF-8.
bool isUtf8LocaleName(std::wstring_view locale);
// Under Wine, the locale that decides the character set (LC_ALL, else LC_CTYPE, else LANG, else
// "C") when it is not UTF-8; empty under Wine with UTF-8, and on Windows.
std::wstring nonUtf8WineLocale();
// Why the launcher cannot take a game file's path; under a non-UTF-8 Wine locale a refused name is
// blamed on the locale, which most likely garbled it, instead of on Windows' naming rules.
std::wstring gameFileNameProblem(const std::wstring& path);
// The operator's one-line advice about such a locale.
std::wstring wineLocaleAdvice(const std::wstring& locale);
