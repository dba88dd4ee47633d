// The parts of the update engine that a run's stages share: the session they fetch through (and the
// mirrors beside it), the log they write, the status they report progress to, and the stop signal
// they end on.
#pragma once

struct HttpSession;
struct ObjectHosts;
struct UpdateLog;
class LiveStatus;
class StopSignal;

struct RunServices {
    const HttpSession& session;
    UpdateLog& log;
    LiveStatus& status;
    const StopSignal& stop;
    const ObjectHosts& hosts;  // where game files come from; empty: the session's server alone
};
