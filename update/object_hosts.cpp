#include "update/object_hosts.h"

#include "base/text.h"
#include "update/update_log.h"

namespace {

bool isHostFailure(const StepResult& result) {
    return result.outcome == StepOutcome::Unavailable || result.outcome == StepOutcome::Mismatch ||
           result.outcome == StepOutcome::Failed;
}

// No answer at all, a stall or a server error: the host is down or overloaded, not missing a file.
// A 404 or a wrong body concerns one object (a mirror that lags behind, a damaged copy).
bool hostIsDown(const StepResult& result) {
    return result.outcome != StepOutcome::Mismatch && (result.httpStatus == 0 || result.httpStatus >= 500);
}

}  // namespace

bool sameServer(const ServerAddress& a, const ServerAddress& b) {
    auto lower = [](std::wstring text) {
        for (wchar_t& c : text)
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        return text;
    };
    return a.useHttps == b.useHttps && a.port == b.port && a.basePath == b.basePath &&
           lower(a.host) == lower(b.host);
}

ServerAddress mirrorServer(const MirrorAddress& mirror) {
    ServerAddress server;
    server.host = mirror.host;
    // WinHTTP takes an IPv6 address without its brackets.
    if (server.host.size() > 2 && server.host.front() == L'[')
        server.host = server.host.substr(1, server.host.size() - 2);
    server.port = mirror.port;
    server.useHttps = mirror.useHttps;
    server.basePath = mirror.basePath;
    return server;
}

std::string serverName(const ServerAddress& server) {
    return toUtf8(server.host) + ":" + std::to_string(server.port) + toUtf8(server.basePath);
}

void setObjectHosts(ObjectHosts& hosts, const HttpSession& configured,
                    const std::vector<MirrorAddress>& mirrors) {
    clearObjectHosts(hosts);
    auto first = std::make_unique<ObjectHost>();
    first->session = &configured;
    first->name = serverName(configured.server);
    hosts.hosts.push_back(std::move(first));
    for (const MirrorAddress& mirror : mirrors) {
        if (hosts.hosts.size() > kMaxMirrors) break;
        ServerAddress server = mirrorServer(mirror);
        if (sameServer(server, configured.server)) continue;  // the configured server as its own mirror
        auto host = std::make_unique<ObjectHost>();
        if (openSession(host->own, server, configured.timeouts) != 0) continue;
        host->session = &host->own;
        host->name = toUtf8(mirror.url);
        hosts.hosts.push_back(std::move(host));
    }
}

void clearObjectHosts(ObjectHosts& hosts) {
    hosts.hosts.clear();
}

StepResult acrossHosts(const ObjectHosts& hosts, const HttpSession& session, UpdateLog& log,
                       const std::wstring& listedPath, const HostTransfer& transfer, size_t& from) {
    from = 0;
    if (hosts.hosts.empty()) return transfer(session, 0);
    StepResult result{StepOutcome::Unavailable, ERROR_WINHTTP_CANNOT_CONNECT, 0, listedPath,
                      L"her sunucu bu calismada devre disi"};
    const size_t count = hosts.hosts.size();
    for (size_t i = 0; i < count; ++i) {
        const ObjectHost& host = *hosts.hosts[i];
        // The last host is always asked: a run whose hosts all failed once still tries the last one.
        if (host.passedOver.load() && i + 1 < count) continue;
        result = transfer(*host.session, i);
        from = i;
        if (!isHostFailure(result)) return result;
        if (hostIsDown(result) && !host.passedOver.exchange(true))
            logLine(log, "sunucu bu calismada atlaniyor: %s (HTTP %d, hata %lu)", host.name.c_str(),
                    result.httpStatus, static_cast<unsigned long>(result.systemError));
        if (i + 1 < count)
            logLine(log, "%s alinamadi: %s, sonraki sunucu %s", toUtf8(listedPath).c_str(), host.name.c_str(),
                    hosts.hosts[i + 1]->name.c_str());
    }
    return result;
}
