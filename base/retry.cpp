#include "base/retry.h"

uint32_t pauseAfter(const RetryPolicy& policy, int attempt) {
    if (attempt < 1 || static_cast<size_t>(attempt) > policy.pausesMs.size()) return 0;
    return policy.pausesMs[static_cast<size_t>(attempt) - 1];
}
