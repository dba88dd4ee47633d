#include "tools/publish_rules.h"

#include "base/path_identity.h"
#include "base/text.h"
#include "protocol/manifest.h"
#include "tools/list_checks.h"

namespace {

std::wstring lineMessage(size_t line, const std::wstring& text) {
    return L"kurallar satir " + std::to_wstring(line) + L": " + text;
}

bool checkRuleValue(char kind, const std::wstring& value, std::wstring& why) {
    switch (kind) {
        case 'D':
        case 'S':
        case 'O':
        case 'I':
            why = ruleValueProblem(kind, value);
            return why.empty();
        case 'E':
            if (value.size() < 2 || value[0] != L'.' || value.find_first_of(L"/\\") != std::wstring::npos) {
                why = L"uzanti noktayla baslamali, ornek .dll (an extension starts with a dot, e.g. .dll)";
                return false;
            }
            return true;
        case 'X':
        case 'W':
            return true;
        case 'K':
            why = L"K kayitlari klasorden uretilir (K records come from the game folder)";
            return false;
        default:
            why = L"bilinmeyen kayit turu (unknown record kind)";
            return false;
    }
}

}  // namespace

bool parseRules(std::string_view text, PublishRules& rules, std::wstring& error) {
    rules = PublishRules{};
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    size_t lineNumber = 0;
    bool valid = true;
    forEachLine(text, [&](std::string_view line) {
        ++lineNumber;
        if (line.empty() || line[0] == '#' || line.find_first_not_of(" \t") == std::string_view::npos)
            return true;
        if (line.size() < 3 || line[1] != ' ') {
            error = lineMessage(lineNumber, L"'<tur> <deger>' bekleniyor (expected '<kind> <value>')");
            valid = false;
            return false;
        }
        char kind = line[0];
        std::wstring value = fromUtf8(line.substr(2));
        std::wstring why;
        if (!checkRuleValue(kind, value, why)) {
            error = lineMessage(lineNumber, why);
            valid = false;
            return false;
        }
        if (kind == 'I') {
            rules.installOnlyPatterns.push_back(pathKey(value));
            rules.installOnlyLines.emplace_back(line);
        } else {
            rules.recordLines.emplace_back(line);
        }
        return true;
    });
    return valid;
}

bool isInstallOnly(const PublishRules& rules, std::wstring_view relativePath) {
    std::wstring normal = pathKey(relativePath);
    for (const std::wstring& pattern : rules.installOnlyPatterns) {
        if (matchWildcard(pattern, normal)) return true;
    }
    return false;
}
