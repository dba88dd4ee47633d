#include "tools/wine_locale.h"

#include <windows.h>

#include "protocol/manifest.h"
#include "tools/list_checks.h"

namespace {

bool runsUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring environmentValue(const wchar_t* name) {
    wchar_t buffer[256];
    DWORD length = GetEnvironmentVariableW(name, buffer, 256);
    return length > 0 && length < 256 ? std::wstring(buffer, length) : std::wstring();
}

wchar_t lowerAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
}

}  // namespace

bool isUtf8LocaleName(std::wstring_view locale) {
    size_t dot = locale.find(L'.');
    if (dot == std::wstring_view::npos) return false;
    std::wstring codeset;
    for (wchar_t c : locale.substr(dot + 1)) {
        if (c == L'@') break;  // a modifier, "tr_TR.UTF-8@euro"
        if (c != L'-') codeset += lowerAscii(c);
    }
    return codeset == L"utf8";
}

std::wstring nonUtf8WineLocale() {
    if (!runsUnderWine()) return {};
    std::wstring locale;
    for (const wchar_t* name : {L"LC_ALL", L"LC_CTYPE", L"LANG"}) {
        locale = environmentValue(name);
        if (!locale.empty()) break;
    }
    if (locale.empty()) locale = L"C";
    return isUtf8LocaleName(locale) ? std::wstring() : locale;
}

std::wstring wineLocaleAdvice(const std::wstring& locale) {
    return L"Wine UTF-8 olmayan bir yerel ayarla calisiyor (" + locale +
           L"): Turkce harfli dosya adlari bozuk okunur; LC_ALL=C.UTF-8 ile calistirin (Wine runs under a "
           L"non-UTF-8 "
           L"locale (" +
           locale + L"): file names with Turkish letters are read garbled; run with LC_ALL=C.UTF-8)";
}

std::wstring gameFileNameProblem(const std::wstring& path) {
    std::wstring problem = filePathProblem(path);
    // "..", ":" and a leading separator are the operator's own, whatever the locale.
    if (problem.empty() || !isAcceptablePath(path)) return problem;
    std::wstring locale = nonUtf8WineLocale();
    return locale.empty() ? problem : wineLocaleAdvice(locale);
}
