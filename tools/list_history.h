// The lists a target served before: each publish keeps the list it replaces in the target's
// "gecmis" folder (never uploaded), so that pruning knows which objects recent lists still need.
#pragma once

#include <string>
#include <vector>

// At most this many replaced lists stay; the oldest go when a publish adds one.
constexpr size_t kListHistoryLimit = 20;

// Copies the target's live list (when it has one) into the history as "<sequence>-<version>.txt"
// and drops the oldest beyond the limit. 0, or the system error of the copy (the publish then
// stops before anything went live).
unsigned long archiveLiveList(const std::wstring& serverFolder, unsigned long long version);

// The history's lists, full paths, the most recently replaced first.
std::vector<std::wstring> historyLists(const std::wstring& serverFolder);
