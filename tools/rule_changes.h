// The rules a published tree carries from one publish to the next: how they are written into the
// list, read back from it, and what a new rules file drops compared with the published list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/manifest.h"
#include "tools/publish_rules.h"

// The rule lines the list carries: the records as they stand, then each "I" pattern behind the
// comment mark "#kural " (launchers read it as a comment; the publisher reads it back).
std::vector<std::string> listedRuleLines(const PublishRules& rules);

// The rules of a published list, for a publish without a rules file. A list without "#kural I"
// lines (from an older publisher) gives one exact "I" pattern per install-only file it lists. False
// with a message naming the line when a rule of the list would not pass as a rules file.
bool publishedRules(std::string_view list, const Manifest& parsed, PublishRules& rules, std::wstring& error);

// The rule lines of the published list that the new rules no longer hold, as the list wrote them
// ("D pack", "I ayarlar/*.cfg"); rules compare as the launcher reads them (path keys).
std::vector<std::wstring> droppedRules(std::string_view previousList, const PublishRules& next);

// Files the published list holds as install-only that the new rules would list as checked: a
// player's edits of them would be overwritten at the next update. Paths as in the game folder.
std::vector<std::wstring> installOnlyTurnedChecked(const Manifest& previous,
                                                   const std::vector<std::wstring>& paths,
                                                   const PublishRules& next);
