#include "base/path_identity.h"

#include <windows.h>

#include "base/names.h"

namespace {

bool isSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

bool isSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

wchar_t upperAscii(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// One unit through the system table. A mapping that changes the length (none does for file-system
// casing) leaves the unit as it is, so the key keeps one unit per unit of the name.
wchar_t upperUnit(wchar_t c) {
    wchar_t out[2] = {};
    int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &c, 1, out, 2, nullptr, nullptr, 0);
    return n == 1 ? out[0] : c;
}

template <typename Fn>
void forEachPart(std::wstring_view path, Fn&& fn) {
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < path.size() && !isSeparator(path[end]))
            ++end;
        fn(path.substr(start, end - start));
        if (end >= path.size()) return;
        start = end + 1;
    }
}

bool isFaithfulName(std::wstring_view part) {
    if (part.empty() || part.back() == L'.' || part.back() == L' ') return false;
    for (wchar_t c : part) {
        if (c < 0x20 || c == 0x7f) return false;
        if (std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos) return false;
    }
    return !isReservedDeviceName(part);
}

}  // namespace

std::wstring cleanRelativePath(std::wstring_view path) {
    std::wstring out;
    out.reserve(path.size());
    forEachPart(path, [&](std::wstring_view part) {
        if (part.empty() || part == L".") return;
        if (!out.empty()) out += L'/';
        out += part;
    });
    return out;
}

std::wstring foldCase(std::wstring_view text) {
    std::wstring out(text);
    bool ascii = true;
    for (wchar_t& c : out) {
        c = upperAscii(c);
        if (c >= 0x80) ascii = false;
    }
    if (ascii) return out;
    // The whole text in one call; the units one by one only when that call changed the length.
    std::wstring mapped(out.size(), L'\0');
    int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, out.data(), static_cast<int>(out.size()),
                          mapped.data(), static_cast<int>(mapped.size()), nullptr, nullptr, 0);
    if (n != static_cast<int>(out.size())) {
        for (size_t i = 0; i < out.size(); ++i)
            mapped[i] = isSurrogate(out[i]) ? out[i] : upperUnit(out[i]);
        return mapped;
    }
    // Windows' table has one entry per unit of the basic plane: characters beyond it never fold.
    for (size_t i = 0; i < out.size(); ++i)
        if (isSurrogate(out[i])) mapped[i] = out[i];
    return mapped;
}

bool sameName(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && foldCase(a) == foldCase(b);
}

std::wstring pathKey(std::wstring_view path) {
    return foldCase(cleanRelativePath(path));
}

std::wstring folderKey(const std::wstring& folder) {
    std::wstring full = folder;
    DWORD need = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    if (need > 0) {
        std::wstring buffer(need, L'\0');
        DWORD length = GetFullPathNameW(folder.c_str(), need, buffer.data(), nullptr);
        if (length > 0 && length < need) full.assign(buffer.data(), length);
    }
    if (full.rfind(L"\\\\?\\UNC\\", 0) == 0)
        full = L"\\" + full.substr(7);
    else if (full.rfind(L"\\\\?\\", 0) == 0)
        full = full.substr(4);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/'))
        full.pop_back();
    return foldCase(full);
}

bool isReservedDeviceName(std::wstring_view part) {
    // Windows opens the device for "nul.txt" and "NUL .tar.gz" too: only the base name counts,
    // without the blanks before the first dot.
    std::wstring_view base = part.substr(0, part.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.remove_suffix(1);
    std::wstring upper;
    for (wchar_t c : base)
        upper += upperAscii(c);
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (upper == device) return true;
    if (upper.size() != 4 || (upper.compare(0, 3, L"COM") != 0 && upper.compare(0, 3, L"LPT") != 0))
        return false;
    wchar_t digit = upper[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

bool isFaithfulRelativePath(std::wstring_view path) {
    bool faithful = true;
    forEachPart(path, [&](std::wstring_view part) { faithful = faithful && isFaithfulName(part); });
    return faithful;
}

bool hasShortNameShape(std::wstring_view path) {
    for (size_t i = 0; i + 1 < path.size(); ++i)
        if (path[i] == L'~' && path[i + 1] >= L'0' && path[i + 1] <= L'9') return true;
    return false;
}

bool isInProtectionFolder(std::wstring_view key) {
    static const std::wstring own = foldCase(kProtectionFolderName);
    return key.substr(0, own.size()) == own && (key.size() == own.size() || key[own.size()] == L'/');
}
