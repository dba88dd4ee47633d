#include "tools/publisher_cli.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "base/file.h"
#include "base/security.h"
#include "base/sha256.h"
#include "base/text.h"
#include "protocol/key_set.h"
#include "tools/list_signing.h"
#include "tools/publisher.h"
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

// "--name value" pairs and "--flag" switches; anything else is a usage error.
struct Arguments {
    std::map<std::wstring, std::wstring> values;
    std::map<std::wstring, bool> flags;
    std::wstring error;

    bool has(const wchar_t* name) const { return values.count(name) != 0; }
    const std::wstring& get(const wchar_t* name) const { return values.at(name); }
};

Arguments parseOptions(const std::vector<std::wstring>& args, const std::vector<std::wstring>& valueNames,
                       const std::vector<std::wstring>& flagNames) {
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

PublisherExit commandPublish(const std::vector<std::wstring>& args, Output& out) {
    Arguments a = parseOptions(args,
                               {L"--oyun", L"--hedef", L"--ozel-anahtar", L"--surum", L"--kurallar",
                                L"--haberler-tr", L"--haberler-en"},
                               {L"--sessiz", L"--hizli", L"--gelistirme", L"--dusuk-surum", L"--kati",
                                L"--denetime-al", L"--dizinsiz"});
    if (!a.error.empty()) return usageError(out, a.error);
    if (!requireOptions(a, {L"--oyun", L"--hedef", L"--ozel-anahtar"}, out)) return usageError(out, L"");
    PublishOptions options;
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
    SigningKey key;
    if (SystemError read = readSigningKeyFile(a.get(L"--ozel-anahtar"), key); read.failed()) {
        out.line(L"ozel anahtar okunamadi (cannot read private key): " + read.what);
        return PublisherExit::Failed;
    }
    options.signingKey = key;
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
               L"yayinlandi (published): surum %llu, %d dosya, %ls; %d yeni nesne (%ls), "
               L"%d hazir nesne, %d onarilan; %d parca dizini (%ls, %d yeni); %.1f sn",
               static_cast<unsigned long long>(r.version), r.files, mebibytes(r.bytes).c_str(),
               r.objectsWritten, mebibytes(r.bytesWritten).c_str(), r.objectsReused, r.objectsRepaired,
               r.indexes, mebibytes(r.indexBytes).c_str(), r.indexesWritten, seconds);
    summary[319] = 0;
    out.line(summary);
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
    Arguments a = parseOptions(args, {L"--hedef", L"--acik-anahtar"}, {L"--sessiz"});
    if (!a.error.empty()) return usageError(out, a.error);
    if (!requireOptions(a, {L"--hedef"}, out)) return usageError(out, L"");
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
    VerifyReport report = verifyPublishedTree(
        a.get(L"--hedef"), keys, a.flags.count(L"--sessiz") ? nullptr : printVerifyProgress, &out);
    for (const std::wstring& note : report.notes)
        out.line(L"not: " + note);
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
      hedefe ayni anda ikinci bir yayin reddedilir. 4 MiB ve daha buyuk dosyalarin parca dizini
      yazilir (P kayitlari): launcher'lar degisen dosyada yalnizca degisen parcalari indirir;
      --dizinsiz bunu kapatir.
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
      Files of 4 MiB and more get a chunk index (P records), so that launchers fetch only the
      changed parts of a changed file; --dizinsiz turns that off.

  qorvane-yayinci dogrula --hedef KLASOR [--acik-anahtar HEX[,HEX...]|DOSYA] [--sessiz]
      Yayinlanmis agaci launcher gibi okur: imza, liste, her nesnenin boyutu ve ozeti, parca
      dizinleri, yayindaki launcher'in listeyi dogrulayip dogrulayamayacagi. Anahtar verilmezse bu programa derlenmis
      anahtarlar kullanilir. Her sorun icin bir satir yazar.
      Reads a published tree as the launcher will: signature, list, every object's size and hash,
      the chunk indexes, and whether the published launcher can verify the list. Without a key the keys compiled into
      this program are used. Prints one line per problem.

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
    if (command == L"yayinla") return commandPublish(args, out);
    if (command == L"dogrula") return commandVerify(args, out);
    return usageError(out, L"bilinmeyen komut (unknown command): " + command);
}
