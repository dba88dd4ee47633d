#include "tools/list_checks.h"

#include "base/path_identity.h"
#include "base/text.h"
#include "protocol/manifest.h"

namespace {

const wchar_t kPathRule[] =
    L"yol kurali: '..', ':' ve bastaki '/' olamaz (path rule: no '..', no ':', no leading separator)";
const wchar_t kUnfaithful[] =
    L"Windows bu adi oldugu gibi tutamaz: bos parca, sonda nokta veya bosluk, aygit adi (CON, NUL, COM1...) "
    L"ya "
    L"da < > \" | ? * veya kontrol karakteri (Windows cannot hold this name as written: empty part, trailing "
    L"dot "
    L"or blank, device name, < > \" | ? * or a control character)";

const wchar_t kShortName[] =
    L"kisa ad bicimi ('~' ve rakam, QORVAN~1.EXE gibi): kisa adli disklerde baska bir dosyayi acabilir "
    L"(short-name "
    L"shape, '~' and a digit as in QORVAN~1.EXE: on volumes with short names it may open another file)";

bool hasControlCharacter(const std::wstring& text) {
    for (wchar_t c : text)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

// "P file-hash index-hash index-size".
std::wstring chunkIndexRecordProblem(std::string_view value) {
    size_t first = value.find(' ');
    size_t second = first == std::string_view::npos ? first : value.find(' ', first + 1);
    if (second == std::string_view::npos)
        return L"'dosya-ozeti dizin-ozeti boyut' bekleniyor (expected 'file-hash index-hash size')";
    if (!isListHash(value.substr(0, first)) || !isListHash(value.substr(first + 1, second - first - 1)))
        return L"ozet 64 kucuk onaltilik rakam degil, hic tutmaz (hash is not 64 lowercase hexadecimal "
               L"digits, it never matches)";
    std::string_view size = value.substr(second + 1);
    if (size.empty() || size.find_first_not_of("0123456789") != std::string_view::npos ||
        size.find_first_not_of('0') == std::string_view::npos)
        return L"dizin boyutu pozitif bir tamsayi olmali (the index size must be a positive integer)";
    return {};
}

}  // namespace

bool isListHash(std::string_view hash) {
    if (hash.size() != 64) return false;
    for (char c : hash)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::wstring ruleValueProblem(char kind, const std::wstring& value) {
    if (!isAcceptablePath(value)) return kPathRule;
    std::wstring clean = cleanRelativePath(value);
    if (clean.empty())
        return L"bos yol: oyun klasorunun kendisi olur (empty path: it would be the whole game folder)";
    // The launcher reads these spellings right; launchers already installed do not, and delete
    // the listed files below such a folder after every download.
    if (clean != value) return L"gevsek yazim, soyle yazin (loose spelling, write it as): " + clean;
    if (kind != 'I' && isInProtectionFolder(pathKey(clean)))
        return L"koruma launcher'in kendi klasoru (koruma is the launcher's own folder)";
    bool pattern = kind == 'S' || kind == 'I';
    if (pattern ? hasControlCharacter(clean) : !isFaithfulRelativePath(clean)) return kUnfaithful;
    if (!pattern && hasShortNameShape(clean)) return kShortName;
    return {};
}

std::wstring filePathProblem(const std::wstring& path) {
    if (!isAcceptablePath(path)) return kPathRule;
    if (!isFaithfulRelativePath(path)) return kUnfaithful;
    if (hasShortNameShape(path)) return kShortName;
    return {};
}

std::wstring listRecordProblem(std::string_view line) {
    if (line.size() < 3 || line[1] != ' ') return {};
    char kind = line[0];
    std::string_view value = line.substr(2);
    if (kind == 'D' || kind == 'S' || kind == 'O') return ruleValueProblem(kind, fromUtf8(value));
    if (kind == 'P') return chunkIndexRecordProblem(value);
    if (kind != 'K' && kind != 'I') return {};
    size_t first = value.find(' ');
    size_t second = first == std::string_view::npos ? first : value.find(' ', first + 1);
    if (second == std::string_view::npos) return L"'ozet boyut yol' bekleniyor (expected 'hash size path')";
    if (!isListHash(value.substr(0, first)))
        return L"ozet 64 kucuk onaltilik rakam degil, hic tutmaz (hash is not 64 lowercase hexadecimal "
               L"digits, it "
               L"never matches)";
    return filePathProblem(fromUtf8(value.substr(second + 1)));
}
