// A mirror of the download server as the signed list names it: a base URL below which another host
// serves the same tree (list, signature, obj/). Read without any network library, so that the
// publisher checks a URL exactly as the launcher will read it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct MirrorAddress {
    std::wstring url;  // as the list writes it
    std::wstring host;
    uint16_t port = 443;
    bool useHttps = true;
    std::wstring basePath = L"/";  // ends in "/"
};

// "http://" or "https://" (any letter case), a host name of letters, digits, "-" and "." or an IPv6
// address in brackets, an optional port from 1 to 65535, an optional path; printable ASCII only,
// without user name, query or fragment, at most 511 characters. The empty text when the URL passes,
// otherwise why it does not, in the operator's two languages.
std::wstring mirrorUrlProblem(std::wstring_view url);
// False, with mirror as it was, for a URL that mirrorUrlProblem refuses.
[[nodiscard]] bool parseMirrorUrl(std::wstring_view url, MirrorAddress& mirror);
// Two mirrors are one when they reach the same base path on the same host, port and scheme.
bool sameMirror(const MirrorAddress& a, const MirrorAddress& b);
