#include "tools/rule_changes.h"

#include <set>

#include "base/path_identity.h"
#include "base/text.h"

namespace {

// The list keeps "I" patterns only as the files they matched; the patterns themselves ride along
// as comments, so that files added later still match them.
constexpr std::string_view kPatternMark = "#kural ";

bool isRuleRecord(std::string_view line) {
    return line.size() >= 3 && line[1] == ' ' &&
           std::string_view("DESOXW").find(line[0]) != std::string_view::npos;
}

// Every rule line of a list, as written: the records and the marked patterns.
std::vector<std::string> ruleLinesOf(std::string_view list, bool& patternsMarked) {
    std::vector<std::string> lines;
    patternsMarked = false;
    forEachLine(list, [&](std::string_view line) {
        if (line.substr(0, kPatternMark.size()) == kPatternMark) {
            lines.emplace_back(line.substr(kPatternMark.size()));
            patternsMarked = true;
        } else if (isRuleRecord(line)) {
            lines.emplace_back(line);
        }
        return true;
    });
    return lines;
}

// Two rules are one when the launcher reads them alike: same kind, same path key.
std::wstring ruleKey(std::string_view line) {
    std::wstring key;
    key += static_cast<wchar_t>(line[0]);
    key += pathKey(fromUtf8(line.substr(2)));
    return key;
}

}  // namespace

std::vector<std::string> listedRuleLines(const PublishRules& rules) {
    std::vector<std::string> lines = rules.recordLines;
    for (const std::string& line : rules.installOnlyLines)
        lines.push_back(std::string(kPatternMark) + line);
    return lines;
}

bool publishedRules(std::string_view list, const Manifest& parsed, PublishRules& rules, std::wstring& error) {
    rules = PublishRules{};
    bool patternsMarked = false;
    std::vector<std::string> lines = ruleLinesOf(list, patternsMarked);
    if (!patternsMarked) {
        for (const ManifestEntry& entry : parsed.entries)
            if (entry.kind == 'I') lines.push_back("I " + toUtf8(entry.path));
    }
    for (const std::string& line : lines) {
        PublishRules one;
        std::wstring why;
        if (!parseRules(line, one, why)) {
            error =
                L"yayindaki listenin kurali korunamaz, kurallari --kurallar ile verin (a rule of the "
                L"published "
                L"list cannot be kept; give the rules with --kurallar): " +
                fromUtf8(line) + L": " + why;
            return false;
        }
        rules.recordLines.insert(rules.recordLines.end(), one.recordLines.begin(), one.recordLines.end());
        rules.installOnlyLines.insert(rules.installOnlyLines.end(), one.installOnlyLines.begin(),
                                      one.installOnlyLines.end());
        rules.installOnlyPatterns.insert(rules.installOnlyPatterns.end(), one.installOnlyPatterns.begin(),
                                         one.installOnlyPatterns.end());
    }
    return true;
}

std::vector<std::wstring> droppedRules(std::string_view previousList, const PublishRules& next) {
    std::set<std::wstring> kept;
    for (const std::string& line : next.recordLines)
        kept.insert(ruleKey(line));
    for (const std::string& line : next.installOnlyLines)
        kept.insert(ruleKey(line));
    bool patternsMarked = false;
    std::vector<std::wstring> dropped;
    std::set<std::wstring> named;
    for (const std::string& line : ruleLinesOf(previousList, patternsMarked)) {
        std::wstring key = ruleKey(line);
        if (!kept.count(key) && named.insert(key).second) dropped.push_back(fromUtf8(line));
    }
    return dropped;
}

std::vector<std::wstring> installOnlyTurnedChecked(const Manifest& previous,
                                                   const std::vector<std::wstring>& paths,
                                                   const PublishRules& next) {
    std::set<std::wstring> wasInstallOnly;
    for (const ManifestEntry& entry : previous.entries)
        if (entry.kind == 'I') wasInstallOnly.insert(pathKey(entry.path));
    std::vector<std::wstring> turned;
    for (const std::wstring& path : paths)
        if (wasInstallOnly.count(pathKey(path)) && !isInstallOnly(next, path)) turned.push_back(path);
    return turned;
}
