// The servers a run fetches game files from: the configured one first, then the mirrors the verified
// list names, each through a WinHTTP session of its own; and the one loop that moves a file or a
// range to the next of them when a host lets it down. A host that failed without a usable answer (no
// connection, a stall, a 5xx) is passed over by the run's later transfers, so that a server that is
// down costs its retries once, not once per file.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "protocol/mirror_address.h"
#include "update/step_result.h"

struct UpdateLog;

// At most this many of a list's mirrors are used: every host that fails costs a file its retries.
inline constexpr size_t kMaxMirrors = 8;

struct ObjectHost {
    HttpSession own;                              // a mirror's session; unused for the configured server
    const HttpSession* session = nullptr;         // the one requests go through
    std::string name;                             // for the log: the mirror's URL, or host:port/path
    mutable std::atomic<bool> passedOver{false};  // failed without an answer; later transfers skip it
};

// Empty until a run sets it up: then only the run's own session is used.
struct ObjectHosts {
    std::vector<std::unique_ptr<ObjectHost>> hosts;  // [0] the configured server
};

// The configured server's session first, then one session per mirror (the first kMaxMirrors that
// are not the configured server itself), opened with the same time-outs. A mirror whose session
// cannot open is left out.
void setObjectHosts(ObjectHosts& hosts, const HttpSession& configured,
                    const std::vector<MirrorAddress>& mirrors);
void clearObjectHosts(ObjectHosts& hosts);
[[nodiscard]] ServerAddress mirrorServer(const MirrorAddress& mirror);
// The same host (in any letter case), port, scheme and base path.
[[nodiscard]] bool sameServer(const ServerAddress& a, const ServerAddress& b);
// "host:port/base/path/": how the log names a server.
[[nodiscard]] std::string serverName(const ServerAddress& server);

// A transfer on one host: (its session, its index; 0 is the configured server) -> how it ended.
using HostTransfer = std::function<StepResult(const HttpSession& session, size_t host)>;

// Runs the transfer on each host in turn until one delivers or the failure is not the host's (a
// file error, a stop). A host's failure is Unavailable, Mismatch or Failed; it is logged with the
// listed path and the next host's name. `session` serves when hosts were never set up. Returns the
// last result; `from` is the host it came from.
StepResult acrossHosts(const ObjectHosts& hosts, const HttpSession& session, UpdateLog& log,
                       const std::wstring& listedPath, const HostTransfer& transfer, size_t& from);
