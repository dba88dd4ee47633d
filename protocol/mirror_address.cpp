#include "protocol/mirror_address.h"

namespace {

constexpr size_t kMaxUrl = 511;

wchar_t lowerAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

std::wstring lowered(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out)
        c = lowerAscii(c);
    return out;
}

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool isNameCharacter(wchar_t c) {
    return isDigit(c) || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'-' || c == L'.';
}

// Characters a path may carry as written: printable ASCII that needs no quoting in a request line.
// "?" and "#" would start a query or fragment that the launcher's own queries could not follow.
bool isPathCharacter(wchar_t c) {
    return c > 0x20 && c < 0x7f && std::wstring_view(L"\"<>\\^`{|}?#").find(c) == std::wstring_view::npos;
}

struct Parsed {
    std::wstring host;
    uint16_t port = 0;
    bool useHttps = false;
    std::wstring basePath;
};

std::wstring parse(std::wstring_view url, Parsed& out) {
    if (url.empty()) return L"bos adres (empty URL)";
    if (url.size() > kMaxUrl) return L"511 karakterden uzun (longer than 511 characters)";
    std::wstring lower = lowered(url);
    std::wstring_view rest = url;
    if (lower.rfind(L"https://", 0) == 0) {
        out.useHttps = true;
        rest.remove_prefix(8);
    } else if (lower.rfind(L"http://", 0) == 0) {
        rest.remove_prefix(7);
    } else {
        return L"http:// ya da https:// ile baslamali (must start with http:// or https://)";
    }
    size_t slash = rest.find(L'/');
    std::wstring_view authority = rest.substr(0, slash);
    std::wstring_view path = slash == std::wstring_view::npos ? std::wstring_view() : rest.substr(slash);
    if (authority.find(L'@') != std::wstring_view::npos)
        return L"kullanici adi tasiyamaz (may not carry a user name)";

    std::wstring_view portText;
    if (!authority.empty() && authority[0] == L'[') {
        size_t close = authority.find(L']');
        if (close == std::wstring_view::npos || close < 3)
            return L"IPv6 adresi kapanmiyor (unclosed IPv6 address)";
        for (wchar_t c : authority.substr(1, close - 1))
            if (!(isDigit(c) || (lowerAscii(c) >= L'a' && lowerAscii(c) <= L'f') || c == L':' || c == L'.'))
                return L"IPv6 adresinde gecersiz karakter (invalid character in the IPv6 address)";
        out.host.assign(authority.substr(0, close + 1));
        std::wstring_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != L':')
                return L"IPv6 adresinden sonra ':' ve kapi bekleniyor (expected ':' and a port)";
            portText = after.substr(1);
            if (portText.empty()) return L"kapi numarasi bos (empty port)";
        }
    } else {
        size_t colon = authority.find(L':');
        std::wstring_view name = authority.substr(0, colon);
        if (colon != std::wstring_view::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty()) return L"kapi numarasi bos (empty port)";
        }
        if (name.empty()) return L"sunucu adi yok (no host name)";
        for (wchar_t c : name)
            if (!isNameCharacter(c))
                return L"sunucu adinda gecersiz karakter; harf, rakam, '-' ve '.' olabilir (invalid "
                       L"character in "
                       L"the host name: letters, digits, '-' and '.')";
        if (name.front() == L'.' || name.back() == L'.' || name.find(L"..") != std::wstring_view::npos)
            return L"sunucu adinda bos parca (empty label in the host name)";
        out.host.assign(name);
    }
    if (portText.empty()) {
        out.port = out.useHttps ? 443 : 80;
    } else {
        unsigned long port = 0;
        for (wchar_t c : portText) {
            if (!isDigit(c) || port > 65535)
                return L"kapi 1 ile 65535 arasinda olmali (port must be 1 to 65535)";
            port = port * 10 + static_cast<unsigned long>(c - L'0');
        }
        if (port == 0 || port > 65535) return L"kapi 1 ile 65535 arasinda olmali (port must be 1 to 65535)";
        out.port = static_cast<uint16_t>(port);
    }
    for (wchar_t c : path)
        if (!isPathCharacter(c))
            return L"yolda bosluk, sorgu (?), parca (#) ya da ASCII disi karakter olamaz (no blank, query, "
                   L"fragment or non-ASCII character in the path)";
    out.basePath.assign(path);
    if (out.basePath.empty() || out.basePath.back() != L'/') out.basePath += L'/';
    return {};
}

}  // namespace

std::wstring mirrorUrlProblem(std::wstring_view url) {
    Parsed ignored;
    return parse(url, ignored);
}

bool parseMirrorUrl(std::wstring_view url, MirrorAddress& mirror) {
    Parsed parsed;
    if (!parse(url, parsed).empty()) return false;
    mirror.url.assign(url);
    mirror.host = std::move(parsed.host);
    mirror.port = parsed.port;
    mirror.useHttps = parsed.useHttps;
    mirror.basePath = std::move(parsed.basePath);
    return true;
}

bool sameMirror(const MirrorAddress& a, const MirrorAddress& b) {
    // Host names compare without letter case; paths, as servers read them, with it.
    return a.useHttps == b.useHttps && a.port == b.port && lowered(a.host) == lowered(b.host) &&
           a.basePath == b.basePath;
}
