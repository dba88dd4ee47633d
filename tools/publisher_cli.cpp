#include "tools/publisher_cli.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "base/file.h"
#include "base/security.h"
#include "base/sha256.h"
#include "base/text.h"
#include "protocol/key_set.h"
#include "protocol/mirror_address.h"
#include "tools/list_signing.h"
#include "tools/offline_signing.h"
#include "tools/prune.h"
#include "tools/publisher.h"
#include "tools/served_tree.h"
#include "tools/tool_files.h"
#include "tools/tree_verify.h"

namespace {

struct Output {
    std::wstring* capture = nullptr;
    DWORD lastProgress = 0;

    // A console gets UTF-16 directly; a pipe or file gets UTF-8, whatever the code page is.
    void write(const std::wstring& text) {
        if (capture) {
            *capture += text;
            return;
        }
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD mode = 0, written = 0;
        if (GetConsoleMode(out, &mode)) {
            WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        } else {
            std::string bytes = toUtf8(text);
            WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
    }
    void line(const std::wstring& text) { write(text + L"\n"); }
};

std::wstring mebibytes(uint64_t bytes) {
    wchar_t text[64];
    _snwprintf(text, 64, L"%.1f MiB", static_cast<double>(bytes) / 1048576.0);
    text[63] = 0;
    return text;
}

// "--name value" pairs and "--flag" switches; anything else is a usage error. A repeatable option
// keeps every value in order; any other one given twice keeps the last.
struct Arguments {
    std::map<std::wstring, std::wstring> values;
    std::map<std::wstring, std::vector<std::wstring>> repeated;
    std::map<std::wstring, bool> flags;
    std::wstring error;

    bool has(const wchar_t* name) const { return values.count(name) != 0; }
    const std::wstring& get(const wchar_t* name) const { return values.at(name); }
};

Arguments parseOptions(const std::vector<std::wstring>& args, const std::vector<std::wstring>& valueNames,
                       const std::vector<std::wstring>& flagNames,
                       const std::vector<std::wstring>& repeatableNames = {}) {
    Arguments out;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (std::find(flagNames.begin(), flagNames.end(), a) != flagNames.end()) {
            out.flags[a] = true;
        } else if (std::find(valueNames.begin(), valueNames.end(), a) != valueNames.end()) {
            if (i + 1 >= args.size()) {
                out.error = a + L" bir deger ister (needs a value)";
                return out;
            }
            out.values[a] = args[++i];
            if (std::find(repeatableNames.begin(), repeatableNames.end(), a) != repeatableNames.end())
                out.repeated[a].push_back(out.values[a]);
        } else {
            out.error = L"bilinmeyen secenek (unknown option): " + a;
            return out;
        }
    }
    return out;
}

bool requireOptions(const Arguments& a, std::initializer_list<const wchar_t*> names, Output& out) {
    for (const wchar_t* name : names) {
        if (!a.has(name)) {
            out.line(std::wstring(L"eksik secenek (missing option): ") + name);
            return false;
        }
    }
    return true;
}

PublisherExit usageError(Output& out, const std::wstring& message) {
    out.line(message);
    out.line(L"yardim icin / for help: qorvane-yayinci yardim");
    return PublisherExit::Usage;
}

PublisherExit commandGenerateKey(const std::vector<std::wstring>& args, Output& out) {
    Arguments a = parseOptions(args, {L"--ozel-anahtar", L"--acik-anahtar-dosyasi"}, {});
    if (!a.error.empty()) return usageError(out, a.error);
    if (!requireOptions(a, {L"--ozel-anahtar"}, out)) return usageError(out, L"");
    const std::wstring& privatePath = a.get(L"--ozel-anahtar");
    // A key that signs releases must never be replaced by accident: the old public key is compiled
    // into launchers in the field, which would then reject every list signed with the new one.
    if (GetFileAttributesW(privatePath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        out.line(L"dosya zaten var, uzerine yazilmaz (file exists, not overwritten): " + privatePath);
        return PublisherExit::Failed;
    }
    SigningKey key;
    if (SystemError generated = generateSigningKey(key); generated.failed()) {
        out.line(L"anahtar uretilemedi (key generation failed): " + generated.what);
        return PublisherExit::Failed;
    }
    // Created with rights for this account alone: inheriting the folder's would let every user of a
    // shared build machine read the key that signs the game.
    UniqueLocal descriptor = securityDescriptorFrom(ownerOnlySddl(currentUserSid()));
    if (!descriptor) {
        out.line(L"ozel anahtarin haklari hazirlanamadi (cannot prepare the private key's rights): " +
                 systemErrorText(GetLastError()));
        return PublisherExit::Failed;
    }
    SECURITY_ATTRIBUTES ownerOnly{sizeof(ownerOnly), descriptor.get(), FALSE};
    if (DWORD error = writeNewFile(privatePath, formatSigningKeyText(key), &ownerOnly)) {
        out.line(L"ozel anahtar yazilamadi (cannot write private key) " + privatePath + L": " +
                 systemErrorText(error));
        return PublisherExit::Failed;
    }
    std::wstring hex = fromUtf8(publicKeyHex(key));
    if (a.has(L"--acik-anahtar-dosyasi")) {
        if (DWORD error = writeFileReplacing(a.get(L"--acik-anahtar-dosyasi"), toUtf8(hex) + "\n")) {
            out.line(L"acik anahtar yazilamadi (cannot write public key file): " + systemErrorText(error));
            return PublisherExit::Failed;
        }
    }
    out.line(L"ozel anahtar yazildi (private key written): " + privatePath);
    out.line(L"acik anahtar (public key, QORVANE_PUBLIC_KEY_HEX):");
    out.line(hex);
    return PublisherExit::Ok;
}

void printPublishProgress(void* context, const PublishProgress& progress) {
    auto* out = static_cast<Output*>(context);
    DWORD now = GetTickCount();
    if (progress.filesDone != progress.filesTotal && now - out->lastProgress < 1000) return;
    out->lastProgress = now;
    out->line(L"  [" + std::to_wstring(progress.filesDone) + L"/" + std::to_wstring(progress.filesTotal) +
              L"] " + mebibytes(progress.bytesDone) + L" / " + mebibytes(progress.bytesTotal) + L"  " +
              progress.currentPath);
}

bool loadOptionalFile(const Arguments& a, const wchar_t* name, std::string& bytes, Output& out) {
    if (!a.has(name)) return true;
    if (readWholeFile(a.get(name), bytes, 16777216)) return true;
    out.line(L"okunamadi (cannot read) " + a.get(name));
    return false;
}

// "yayinla", or with prepareOnly "hazirla": the same checks and objects, the list left to sign.
PublisherExit commandPublish(const std::vector<std::wstring>& args, Output& out, bool prepareOnly) {
    std::vector<std::wstring> values = {L"--oyun",        L"--hedef",       L"--surum", L"--kurallar",
                                        L"--haberler-tr", L"--haberler-en", L"--ayna"};
    std::vector<std::wstring> flags = {L"--sessiz",      L"--hizli",   L"--dusuk-surum", L"--kati",
                                       L"--denetime-al", L"--aynasiz", L"--dizinsiz"};
    if (!prepareOnly) {
        values.push_back(L"--ozel-anahtar");
        flags.push_back(L"--gelistirme");
    }
    Arguments a = parseOptions(args, values, flags, {L"--ayna"});
    if (!a.error.empty()) return usageError(out, a.error);
    if (!requireOptions(a, {L"--oyun", L"--hedef"}, out) ||
        (!prepareOnly && !requireOptions(a, {L"--ozel-anahtar"}, out)))
        return usageError(out, L"");
    PublishOptions options;
    options.prepareOnly = prepareOnly;
    options.gameFolder = a.get(L"--oyun");
    options.serverFolder = a.get(L"--hedef");
    if (a.has(L"--surum")) {
        const std::wstring& v = a.get(L"--surum");
        if (v.empty() || v.size() > 19 || v.find_first_not_of(L"0123456789") != std::wstring::npos ||
            std::stoull(v) == 0)
            return usageError(out, L"--surum pozitif bir tamsayi olmali (must be a positive integer): " + v);
        options.version = std::stoull(v);
    }
    options.quick = a.flags.count(L"--hizli") != 0;
    const bool noMirrors = a.flags.count(L"--aynasiz") != 0;
    if (a.has(L"--ayna") && noMirrors)
        return usageError(out, L"--ayna ve --aynasiz birlikte verilemez (not both)");
    if (a.has(L"--ayna")) options.mirrors = a.repeated.at(L"--ayna");
    for (const std::wstring& mirror : options.mirrors) {
        std::wstring problem = mirrorUrlProblem(mirror);
        if (!problem.empty())
            return usageError(out, L"--ayna gecersiz (invalid) " + mirror + L": " + problem);
    }
    options.keepPublishedMirrors = !a.has(L"--ayna") && !noMirrors;
    if (a.has(L"--haberler-tr")) options.newsTurkish = a.get(L"--haberler-tr");
    if (a.has(L"--haberler-en")) options.newsEnglish = a.get(L"--haberler-en");
    std::string rulesText;
    if (!loadOptionalFile(a, L"--kurallar", rulesText, out)) return PublisherExit::Failed;
    std::wstring error;
    options.keepPublishedRules = !a.has(L"--kurallar");
    if (!parseRules(rulesText, options.rules, error)) {
        out.line(error);
        return PublisherExit::Failed;
    }
    if (!prepareOnly) {
        SigningKey key;
        if (SystemError read = readSigningKeyFile(a.get(L"--ozel-anahtar"), key); read.failed()) {
            out.line(L"ozel anahtar okunamadi (cannot read private key): " + read.what);
            return PublisherExit::Failed;
        }
        options.signingKey = key;
    }
    options.allowDevelopmentKey = a.flags.count(L"--gelistirme") != 0;
    options.allowLowerVersion = a.flags.count(L"--dusuk-surum") != 0;
    options.strictRemovals = a.flags.count(L"--kati") != 0;
    options.chunkIndexes = a.flags.count(L"--dizinsiz") == 0;
    options.allowInstallOnlyToChecked = a.flags.count(L"--denetime-al") != 0;
    DWORD started = GetTickCount();
    PublishResult r = publishGame(options, a.flags.count(L"--sessiz") ? nullptr : printPublishProgress, &out);
    for (const std::wstring& note : r.notes)
        out.line(L"not: " + note);
    for (const std::wstring& warning : r.warnings)
        out.line(L"UYARI: " + warning);
    if (!r.ok) {
        out.line(L"HATA: " + r.error);
        return PublisherExit::Failed;
    }
    double seconds = (GetTickCount() - started) / 1000.0;
    wchar_t summary[320];
    _snwprintf(summary, 320,
               prepareOnly ? L"imzaya hazir (ready to sign): surum %llu, %d dosya, %ls; %d yeni nesne (%ls), "
                             L"%d hazir nesne, %d onarilan; %d parca dizini (%ls, %d yeni); %.1f sn"
                           : L"yayinlandi (published): surum %llu, %d dosya, %ls; %d yeni nesne (%ls), "
                             L"%d hazir nesne, %d onarilan; %d parca dizini (%ls, %d yeni); %.1f sn",
               static_cast<unsigned long long>(r.version), r.files, mebibytes(r.bytes).c_str(),
               r.objectsWritten, mebibytes(r.bytesWritten).c_str(), r.objectsReused, r.objectsRepaired,
               r.indexes, mebibytes(r.indexBytes).c_str(), r.indexesWritten, seconds);
    summary[319] = 0;
    out.line(summary);
    if (prepareOnly)
        out.line(
            L"imzalanacak liste (the list to sign): " + r.preparedList +
            L"\nimzalama makinesinde (on the signing machine): qorvane-yayinci imzala --liste manifest.txt "
            L"--ozel-anahtar DOSYA; sonra burada (then here): qorvane-yayinci yerlestir --hedef " +
            options.serverFolder + L" --imza manifest.sig");
    return PublisherExit::Ok;
}

std::wstring keyLines(const KeySet& keys) {
    std::wstring lines;
    for (const PublicKey& key : keys)
        lines += L"\n    " + fromUtf8(keyHex(key)) +
                 (key == developmentKey() ? L" (gelistirme anahtari / development key)" : L"") +
                 L"\n      parmak izi (fingerprint) " +
                 fromUtf8(sha256Hex(std::string_view(reinterpret_cast<const char*>(key.data()), key.size())));
    return lines;
}

// A yes from the operator on standard input: "e", "evet", "y" or "yes".
bool operatorConfirms(Output& out) {
    out.write(L"Imzalansin mi? (e/h) / Sign it? (y/n): ");
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string answer;
    char c = 0;
    DWORD got = 0;
    while (answer.size() < 16 && ReadFile(in, &c, 1, &got, nullptr) && got == 1 && c != '\n')
        if (c != '\r') answer += c;
    for (char& letter : answer)
        letter = static_cast<char>(tolower(static_cast<unsigned char>(letter)));
    return answer == "e" || answer == "evet" || answer == "y" || answer == "yes";
}

PublisherExit commandSign(const std::vector<std::wstring>& args, Output& out) {
    Arguments a =
        parseOptions(args, {L"--liste", L"--ozel-anahtar", L"--imza"}, {L"--gelistirme", L"--evet"});
    if (!a.error.empty()) return usageError(out, a.error);
    if (!requireOptions(a, {L"--liste", L"--ozel-anahtar"}, out)) return usageError(out, L"");
    const std::wstring& listPath = a.get(L"--liste");
    std::string list;
    if (!readWholeFile(listPath, list, 33554431)) {
        out.line(L"okunamadi (cannot read) " + listPath);
        return PublisherExit::Failed;
    }
    PreparedListSummary summary;
    std::wstring error;
    if (!readPreparedList(list, summary, error)) {
        out.line(L"HATA: " + listPath + L": " + error);
        return PublisherExit::Failed;
    }
    SigningKey key;
    if (SystemError read = readSigningKeyFile(a.get(L"--ozel-anahtar"), key); read.failed()) {
        out.line(L"ozel anahtar okunamadi (cannot read private key): " + read.what);
        return PublisherExit::Failed;
    }
    PublicKey signing;
    publicKeyBytes(key, signing.data());
    out.line(L"liste (list): " + listPath);
    out.line(L"  surum (version): " + std::to_wstring(summary.version));
    out.line(L"  dosya (files): " + std::to_wstring(summary.files));
    out.line(L"  bayt (bytes): " + std::to_wstring(summary.bytes) + L" (" + mebibytes(summary.bytes) + L")");
    if (summary.namesLauncher)
        out.line(
            L"  launcher'in guvendigi anahtarlar (the launcher's trusted keys):" +
            (summary.launcherKeys.empty() ? std::wstring(L" YOK (none)") : keyLines(summary.launcherKeys)));
    else
        out.line(L"  listede launcher yok (the list publishes no launcher)");
    out.line(L"  imzalayan anahtar (signing key):" + keyLines({signing}));
    std::wstring refusal = signingRefusal(summary, signing, a.flags.count(L"--gelistirme") != 0);
    if (!refusal.empty()) {
        out.line(L"HATA: " + refusal);
        return PublisherExit::Failed;
    }
    if (!a.flags.count(L"--evet") && !operatorConfirms(out)) {
        out.line(L"imzalanmadi (not signed)");
        return PublisherExit::Failed;
    }
    std::string signature;
    if (SystemError signFailure = signList(key, list, signature); signFailure.failed()) {
        out.line(L"HATA: liste imzalanamadi (cannot sign the list): " + signFailure.what);
        return PublisherExit::Failed;
    }
    std::wstring signaturePath = a.has(L"--imza") ? a.get(L"--imza") : std::wstring();
    if (signaturePath.empty()) {
        size_t slash = listPath.find_last_of(L"\\/");
        signaturePath = (slash == std::wstring::npos ? std::wstring() : listPath.substr(0, slash + 1)) +
                        kSignatureFileName;
    }
    if (DWORD written = writeFileReplacing(signaturePath, signature)) {
        out.line(L"HATA: imza yazilamadi (cannot write the signature) " + signaturePath + L": " +
                 systemErrorText(written));
        return PublisherExit::Failed;
    }
    out.line(L"imzalandi (signed): " + signaturePath);
    return PublisherExit::Ok;
}

PublisherExit commandPlace(const std::vector<std::wstring>& args, Output& out) {
    Arguments a =
        parseOptions(args, {L"--hedef", L"--imza", L"--acik-anahtar"}, {L"--gelistirme", L"--dusuk-surum"});
    if (!a.error.empty()) return usageError(out, a.error);
    if (!requireOptions(a, {L"--hedef"}, out)) return usageError(out, L"");
    PlaceOptions options;
    options.serverFolder = a.get(L"--hedef");
    if (a.has(L"--imza")) options.signaturePath = a.get(L"--imza");
    if (a.has(L"--acik-anahtar")) {
        if (!parsePublicKeyArgument(a.get(L"--acik-anahtar"), options.keysWithoutLauncher))
            return usageError(out, L"--acik-anahtar: 128 hex characters per key, comma-separated, or a file");
    } else {
        options.keysWithoutLauncher = ownKeySet();
    }
    options.allowDevelopmentKey = a.flags.count(L"--gelistirme") != 0;
    options.allowLowerVersion = a.flags.count(L"--dusuk-surum") != 0;
    PublishResult r = placeSignedList(options);
    for (const std::wstring& note : r.notes)
        out.line(L"not: " + note);
    if (!r.ok) {
        out.line(L"HATA: " + r.error);
        return PublisherExit::Failed;
    }
    out.line(L"imzalayan anahtar (signing key): " + describeKeySet({r.signedWith}));
    out.line(L"yayinlandi (published): surum " + std::to_wstring(r.version) + L", " +
             std::to_wstring(r.files) + L" dosya, " + mebibytes(r.bytes));
    return PublisherExit::Ok;
}

PublisherExit commandPrune(const std::vector<std::wstring>& args, Output& out) {
    Arguments a = parseOptions(args, {L"--hedef", L"--sakla"}, {L"--deneme"});
    if (!a.error.empty()) return usageError(out, a.error);
    if (!requireOptions(a, {L"--hedef", L"--sakla"}, out)) return usageError(out, L"");
    const std::wstring& keep = a.get(L"--sakla");
    if (keep.empty() || keep.size() > 6 || keep.find_first_not_of(L"0123456789") != std::wstring::npos ||
        std::stoi(keep) < 1)
        return usageError(out, L"--sakla pozitif bir tamsayi olmali (must be a positive integer): " + keep);
    PruneOptions options;
    options.serverFolder = a.get(L"--hedef");
    options.keepLists = std::stoi(keep);
    options.dryRun = a.flags.count(L"--deneme") != 0;
    PruneResult r = pruneObjects(options);
    for (const std::wstring& note : r.notes)
        out.line(L"not: " + note);
    if (!r.ok) {
        out.line(L"HATA: " + r.error);
        return PublisherExit::Failed;
    }
    for (const std::wstring& list : r.listsKept)
        out.line(L"korunan liste (list kept): " + list);
    const wchar_t* verb = options.dryRun ? L"silinecek (would delete) " : L"silindi (deleted) ";
    for (const std::wstring& list : r.listsDropped)
        out.line(verb + list);
    for (const std::wstring& object : r.deleted)
        out.line(verb + object);
    out.line(std::wstring(options.dryRun ? L"deneme, hicbir sey silinmedi (trial, nothing deleted): " : L"") +
             std::to_wstring(r.deleted.size()) + L" nesne, " + std::to_wstring(r.bytesFreed) + L" bayt (" +
             mebibytes(r.bytesFreed) + L") bosaltildi (objects, bytes freed); " +
             std::to_wstring(r.objectsKept) + L" nesne kaldi (objects kept)");
    return PublisherExit::Ok;
}

void printVerifyProgress(void* context, int done, int total) {
    auto* out = static_cast<Output*>(context);
    DWORD now = GetTickCount();
    if (done != total && now - out->lastProgress < 1000) return;
    out->lastProgress = now;
    out->line(L"  [" + std::to_wstring(done) + L"/" + std::to_wstring(total) + L"]");
}

PublisherExit commandVerify(const std::vector<std::wstring>& args, Output& out) {
    Arguments a = parseOptions(args, {L"--hedef", L"--adres", L"--acik-anahtar"}, {L"--sessiz", L"--tam"});
    if (!a.error.empty()) return usageError(out, a.error);
    if (a.has(L"--hedef") == a.has(L"--adres"))
        return usageError(out,
                          L"--hedef ya da --adres verin, ikisini birden degil (give --hedef or --adres, "
                          L"not both)");
    if (a.flags.count(L"--tam") && !a.has(L"--adres"))
        return usageError(out,
                          L"--tam yalnizca --adres ile (--tam goes with --adres; a local check always "
                          L"hashes every object)");
    KeySet keys;
    if (a.has(L"--acik-anahtar")) {
        if (!parsePublicKeyArgument(a.get(L"--acik-anahtar"), keys))
            return usageError(
                out,
                L"--acik-anahtar virgulle ayrilmis 128'er onaltilik karakter ya da onlari tutan dosya "
                L"olmali (128 hex characters per key, comma-separated, or a file holding them)");
    } else {
        keys = ownKeySet();
        out.line(L"derlenmis anahtar(lar) kullaniliyor (using the compiled-in key(s)): " +
                 describeKeySet(keys));
    }
    VerifyProgressFn progress = a.flags.count(L"--sessiz") ? nullptr : printVerifyProgress;
    VerifyReport report;
    if (a.has(L"--adres")) {
        ServedCheckOptions served;
        served.url = a.get(L"--adres");
        served.keys = keys;
        served.fullHash = a.flags.count(L"--tam") != 0;
        report = verifyServedTree(served, progress, &out);
    } else {
        report = verifyPublishedTree(a.get(L"--hedef"), keys, progress, &out);
    }
    for (const std::wstring& note : report.notes)
        out.line(L"not: " + note);
    for (const std::wstring& warning : report.warnings)
        out.line(L"UYARI: " + warning);
    for (const std::wstring& problem : report.problems)
        out.line(L"SORUN: " + problem);
    if (report.signatureVerified) {
        out.line(L"imzalayan anahtar (signing key): " + describeKeySet({report.signingKey}));
        if (report.signingKey == developmentKey())
            out.line(
                L"UYARI: liste gelistirme anahtariyla imzali; yalnizca test icin (WARNING: the list is "
                L"signed "
                L"with the development key: for tests only)");
    }
    if (!report.ok()) {
        out.line(L"dogrulanamadi (verification failed): " + std::to_wstring(report.problems.size()) +
                 L" sorun");
        return PublisherExit::Failed;
    }
    out.line(L"dogrulandi (verified): surum " + std::to_wstring(report.version) + L", " +
             std::to_wstring(report.files) + L" dosya, " + mebibytes(report.bytes) +
             (report.signingKey == developmentKey() ? L"; gelistirme anahtariyla (with the development key)"
                                                    : L""));
    return PublisherExit::Ok;
}

}  // namespace

bool parsePublicKeyArgument(const std::wstring& argument, KeySet& keys) {
    // Keys are ASCII; anything else is no digit.
    auto narrow = [](const std::wstring& text, std::string& out) {
        out.clear();
        for (wchar_t c : text) {
            if (c > 0x7f) return false;
            out += static_cast<char>(c);
        }
        return true;
    };
    std::string text;
    if (narrow(argument, text) && parseKeySet(text, keys)) return true;
    std::string bytes;
    return readWholeFile(argument, bytes, 65536) && parseKeySet(bytes, keys);
}

std::wstring publisherHelpText() {
    return LR"(qorvane-yayinci: oyun klasorunu imzali bir sunucu agacina yayinlar.
qorvane-yayinci: publishes a game folder into a signed server tree.

Kullanim / Usage:
  qorvane-yayinci anahtar-uret --ozel-anahtar DOSYA [--acik-anahtar-dosyasi DOSYA]
      Yeni P-256 anahtar cifti uretir. Ozel anahtar DOSYA'ya yazilir (var olan dosyanin uzerine
      yazilmaz, ekrana basilmaz); acik anahtar QORVANE_PUBLIC_KEY_HEX icin 128 onaltilik karakter
      olarak basilir.
      Generates a new P-256 key pair. The private key goes to FILE (an existing file is never
      overwritten, the key is never printed); the public key is printed as the 128 hexadecimal
      characters that QORVANE_PUBLIC_KEY_HEX takes.

  qorvane-yayinci yayinla --oyun KLASOR --hedef KLASOR --ozel-anahtar DOSYA
                          [--surum N] [--kurallar DOSYA] [--haberler-tr DOSYA] [--haberler-en DOSYA]
                          [--ayna URL]... [--aynasiz]
                          [--gelistirme] [--dusuk-surum] [--kati] [--denetime-al] [--hizli] [--dizinsiz] [--sessiz]
      Oyun klasorunu --hedef klasorune yayinlar (launcher'in temel yolunda sunulan klasor):
      obj/ altina yalnizca eksik nesneleri kopyalar, manifest.txt ve manifest.sig dosyalarini en son
      yazar. --surum verilmezse simdiki Unix zamani kullanilir. --kurallar: D, E, S, O, I, X, W
      kayitlari, listedeki sozdizimiyle ("D pack", "I ayarlar/*.cfg"); verilmezse yayindaki listenin
      kurallari korunur, verilirse kaldirdigi her kural yazilir. --denetime-al: kuruluma ozel (I)
      bir dosyanin denetlenen (K) olmasina izin verir (oyuncularin degisiklikleri ezilir). Ustteki
      "Qorvane Launcher.exe" imzalayan anahtari tasimali; "Qorvane Launcher*.exe" gibi adlanmis
      baska bir ust dosya reddedilir. --gelistirme: gelistirme anahtariyla imzalamaya izin verir.
      --dusuk-surum: yayindakinden dusuk surume izin verir. --kati: eski listede olup yenisinde
      olmayan ve hicbir D/E kuralinin silmeyecegi dosya varsa yayinlamaz. --sessiz: ilerleme yazmaz.
      Var olan nesneler yeniden hashlenir, bozuk olan yeniden yazilir; --hizli bunu atlar. Ayni
      hedefe ayni anda ikinci bir yayin reddedilir.
      --ayna URL (tekrarlanabilir): ayni agaci sunan bir aynanin temel adresi (ornek
      https://ayna.ornek.com/qorvane/pc/); her biri listeye bir A kaydi olur, launcher ana sunucu
      basarisiz olunca sirayla onlara gecer. --ayna verilmezse yayindaki listenin aynalari korunur;
      hepsini kaldirmak icin --aynasiz. Aynalara agaci siz kopyalarsiniz (once obj/, en son liste
      ve imza). 4 MiB ve daha buyuk dosyalarin parca dizini yazilir (P kayitlari): launcher'lar
      degisen dosyada yalnizca degisen parcalari indirir; --dizinsiz bunu kapatir.
      Publishes the game folder into the --hedef folder (the folder served at the launcher's base
      path): copies only missing objects under obj/, writes manifest.txt and manifest.sig last.
      Without --surum the current Unix time is the version. --kurallar: D, E, S, O, I, X, W records
      in the list's own syntax ("D pack", "I settings/*.cfg"); without it the published list's rules
      are kept, with it every rule it drops is named. --denetime-al: lets an install-only (I) file
      become checked (K), overwriting players' edits. The top-level "Qorvane Launcher.exe" must
      carry the signing key; another top-level file named like "Qorvane Launcher*.exe" is refused.
      --gelistirme: allows signing with the development key (tests).
      --dusuk-surum: allows a version below the published one. --kati: refuses when files dropped
      from the previous list would stay on players' machines (no D or E rule covers them).
      --sessiz: no progress lines. Existing objects are hashed again and a damaged one is written
      again; --hizli skips that. A second publish into the same target while one runs is refused.
      --ayna URL (repeatable): the base URL of a mirror serving the same tree (for example
      https://mirror.example.com/qorvane/pc/); each becomes one A record of the list, and launchers
      turn to them in order when the main server fails. Without --ayna the published list's
      mirrors are kept; --aynasiz removes them all. Copying the tree to the mirrors is yours (obj/
      first, the list and its signature last).
      Files of 4 MiB and more get a chunk index (P records), so that launchers fetch only the
      changed parts of a changed file; --dizinsiz turns that off.

  qorvane-yayinci hazirla --oyun KLASOR --hedef KLASOR [--surum N] [--kurallar DOSYA]
                          [--haberler-tr DOSYA] [--haberler-en DOSYA] [--ayna URL]... [--aynasiz]
                          [--dusuk-surum] [--kati] [--denetime-al] [--hizli] [--dizinsiz] [--sessiz]
  qorvane-yayinci imzala --liste DOSYA --ozel-anahtar DOSYA [--imza DOSYA] [--gelistirme] [--evet]
  qorvane-yayinci yerlestir --hedef KLASOR [--imza DOSYA] [--acik-anahtar HEX[,HEX...]|DOSYA]
                            [--gelistirme] [--dusuk-surum]
      Ozel anahtar oyun derlemesine hic ugramadan yayin, uc adimda. hazirla (derleme makinesi):
      yayinla gibi denetler ve nesneleri yerine koyar, ama yayindaki listeye dokunmaz; imzalanacak
      listeyi ve haberleri --hedef altindaki hazirlik klasorune yazar (anahtar gerekmez). imzala
      (cevrimdisi makine): yalnizca o listeyi imzalar; once surumunu, dosya sayisini, baytlarini ve
      listedeki launcher'in guvendigi anahtarlari (parmak izleriyle) gosterir ve "e" ister (--evet
      sormaz); launcher'in tasimadigi bir anahtarla imzalamaz. Imza --imza'ya, verilmezse listenin
      yanina manifest.sig olarak yazilir. yerlestir (derleme makinesi): imzayi agactaki launcher'in
      anahtarlariyla (launcher yoksa --acik-anahtar ya da derlenmis anahtarlarla) denetler, her
      nesnenin yerinde oldugunu gorur, sonra haberleri, listeyi ve en son imzayi yayinla'nin
      sirasiyla yerine koyar. --imza verilmezse hazirlik/manifest.sig okunur.
      Publishing without the private key ever meeting the game build, in three steps. hazirla (build
      machine): checks like yayinla and puts the objects in place, but leaves the live list alone;
      writes the list to sign and the news into the hazirlik folder under --hedef (no key needed).
      imzala (offline machine): signs only that list; first shows its version, file count, bytes and
      the keys the listed launcher trusts (with fingerprints) and asks for "e"/"y" (--evet does not
      ask); refuses a key the launcher does not carry. The signature goes to --imza, by default
      manifest.sig beside the list. yerlestir (build machine): checks the signature with the keys of
      the tree's launcher (without a launcher: --acik-anahtar or the compiled-in keys), that every
      object is in place, then places the news, the list and last the signature in yayinla's order.
      Without --imza it reads hazirlik/manifest.sig.

  qorvane-yayinci temizle --hedef KLASOR --sakla N [--deneme]
      yayinla ve yerlestir degistirdikleri listeleri --hedef altindaki gecmis klasorunde saklar
      (en fazla 20). temizle, yayindaki liste dahil son N listenin (ve imza bekleyen hazirlik
      listesinin) hicbirinin adlandirmadigi nesneleri siler, N'den eski gecmis listelerini de;
      sildigini ve bosalttigi baytlari yazar. --deneme: yalnizca neyin silinecegini yazar.
      yayinla and yerlestir keep the lists they replace in the gecmis folder under --hedef (at most
      20). temizle deletes the objects that none of the last N lists (the live one included, and a
      list waiting for its signature in hazirlik) names, and the history lists older than those;
      prints what it deletes and the bytes freed. --deneme: only prints what would be deleted.

  qorvane-yayinci dogrula --hedef KLASOR [--acik-anahtar HEX[,HEX...]|DOSYA] [--sessiz]
  qorvane-yayinci dogrula --adres URL [--acik-anahtar HEX[,HEX...]|DOSYA] [--tam] [--sessiz]
      Yayinlanmis agaci launcher gibi okur: imza, liste, her nesnenin boyutu ve ozeti, yayindaki
      parca dizinleri, launcher'in listeyi dogrulayip dogrulayamayacagi. Anahtar verilmezse bu
      programa derlenmis anahtarlar kullanilir. Her sorun icin bir satir yazar. --adres: sunucudaki agaci HTTP(S)
      uzerinden okur (launcher'in temel adresi, orn. https://indir.example.com/qorvane/pc/): liste,
      imza ve haberler launcher'in onbellek kirici sorgusuyla; her nesnenin varligi ve boyutu son
      baytini isteyen bir aralik istegiyle, --tam ile tamami indirilip ozetlenerek. Listeyi
      onbellekte tutan basliklar ve aralik desteklemeyen sunucu UYARI satiri olarak yazilir.
      Reads a published tree as the launcher will: signature, list, every object's size and hash,
      the chunk indexes, and whether the published launcher can verify the list. Without a key the keys compiled into
      this program are used. Prints one line per problem. --adres: reads the tree over HTTP(S) at
      the launcher's base URL (e.g. https://indir.example.com/qorvane/pc/): the list, signature and
      news with the launcher's cache-busting query; every object's presence and size with a range
      request for its last byte, or with --tam by downloading and hashing all of it. Headers that
      let caches keep the list, and a server without range support, are printed as UYARI lines.

  qorvane-yayinci yardim
      Bu metin. / This text.

Cikis kodlari / Exit codes: 0 tamam (ok), 1 basarisiz (failed), 2 kullanim hatasi (usage error).
)";
}

PublisherExit runPublisher(const std::vector<std::wstring>& args, std::wstring* capture) {
    Output out;
    out.capture = capture;
    if (args.empty()) {
        out.write(publisherHelpText());
        return PublisherExit::Usage;
    }
    const std::wstring& command = args[0];
    if (command == L"yardim" || command == L"--yardim" || command == L"-h" || command == L"--help" ||
        command == L"/?") {
        out.write(publisherHelpText());
        return PublisherExit::Ok;
    }
    if (command == L"anahtar-uret") return commandGenerateKey(args, out);
    if (command == L"yayinla") return commandPublish(args, out, false);
    if (command == L"hazirla") return commandPublish(args, out, true);
    if (command == L"imzala") return commandSign(args, out);
    if (command == L"yerlestir") return commandPlace(args, out);
    if (command == L"temizle") return commandPrune(args, out);
    if (command == L"dogrula") return commandVerify(args, out);
    return usageError(out, L"bilinmeyen komut (unknown command): " + command);
}
