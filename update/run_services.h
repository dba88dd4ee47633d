// The parts of the update engine that a run's stages share: the session they fetch through, the log
// they write, the status they report progress to, and the stop signal they end on.
#pragma once

struct HttpSession;
struct UpdateLog;
class LiveStatus;
class StopSignal;

struct RunServices {
    const HttpSession& session;
    UpdateLog& log;
    LiveStatus& status;
    const StopSignal& stop;
};
