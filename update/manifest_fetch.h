// Fetching the list and its detached signature with a cache-busting query, and checking the
// ECDSA P-256 signature against the key set compiled into the launcher.
#pragma once

#include <cstdint>
#include <string>

#include "base/retry.h"
#include "base/stop_signal.h"
#include "update/step_result.h"

struct HttpSession;
struct Manifest;

// Done, Stopped, Unavailable (a transfer failed: the detail names the document or the server name,
// with the server's status and the system error) or Rejected (the list failed its check in every
// attempt of the policy: the detail says why). A validly signed list whose version is below
// minimumVersion is rejected like a bad signature: the folder has verified a newer one.
// manifest is replaced only by a list that passed every check.
StepResult fetchManifest(const HttpSession& session, const RetryPolicy& attempts, const StopSignal& stop,
                         Manifest& manifest, std::string& listBytes, std::string& signatureBytes,
                         uint64_t minimumVersion = 0);
