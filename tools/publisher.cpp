#include "tools/publisher.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/sha256.h"
#include "base/text.h"
#include "tools/list_signing.h"
#include "tools/tool_files.h"
#include "update/hashing.h"
#include "update/manifest.h"
#include "update/manifest_fetch.h"
#include "update/news.h"

namespace {

constexpr DWORD kCopyBlock = 1048576;
// The launcher refuses news bodies of 32 MiB or more; publishing one would only hide the news.
constexpr uint64_t kNewsLimit = 33554431;

std::wstring lineMessage(size_t line, const std::wstring& text) {
    return L"kurallar satir " + std::to_wstring(line) + L": " + text;
}

bool checkRuleValue(char kind, const std::wstring& value, std::wstring& why) {
    switch (kind) {
        case 'D':
        case 'S':
        case 'O':
        case 'I':
            if (!isAcceptablePath(value)) {
                why =
                    L"yol kurali: '..', ':' ve bastaki '/' olamaz (path rule: no '..', no ':', no leading "
                    L"separator)";
                return false;
            }
            if (kind == 'D') {
                // The launcher keeps its own state in koruma; cleaning it would delete that state.
                std::wstring n = normalizePath(value);
                while (!n.empty() && n.back() == L'/')
                    n.pop_back();
                const std::wstring own = kProtectionFolderName;
                if (n == own || n.rfind(own + L"/", 0) == 0) {
                    why = L"koruma launcher'in kendi klasoru (koruma is the launcher's own folder)";
                    return false;
                }
            }
            return true;
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

uint64_t unixTimeNow() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - 116444736000000000ULL) / 10000000ULL;
}

struct GameFile {
    std::wstring path;
    std::string sortKey;  // UTF-8 of the normalised path
};

bool hasControlCharacter(const std::wstring& name) {
    return std::any_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x20 || c == 0x7f; });
}

bool walkFolder(const std::wstring& root, const std::wstring& relative, std::vector<GameFile>& files,
                std::wstring& error, std::vector<std::wstring>* notes) {
    std::wstring pattern = joinPath(root, relative.empty() ? L"*" : relative + L"/*");
    WIN32_FIND_DATAW data;
    UniqueFind find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return true;  // an empty folder
        error =
            L"klasor okunamadi (cannot read folder) " + joinPath(root, relative) + L": " + systemErrorText(code);
        return false;
    }
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring child = relative.empty() ? name : relative + L"/" + name;
        bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folder && relative.empty() && normalizePath(name) == kProtectionFolderName) {
            if (notes) notes->push_back(L"koruma klasoru yayinlanmadi (the koruma folder is not published)");
            continue;
        }
        if (hasControlCharacter(name)) {
            error = L"adinda kontrol karakteri var (control character in name): " + child;
            return false;
        }
        if (!isAcceptablePath(child)) {
            error = L"launcher bu yolu kabul etmez (the launcher rejects this path): " + child;
            return false;
        }
        if (folder) {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (notes) notes->push_back(L"baglanti klasoru atlandi (linked folder skipped): " + child);
                continue;
            }
            if (!walkFolder(root, child, files, error, notes)) return false;
        } else {
            files.push_back({child, toUtf8(normalizePath(child))});
        }
    } while (FindNextFileW(find.get(), &data));
    DWORD code = GetLastError();
    if (code != ERROR_NO_MORE_FILES) {
        error =
            L"klasor okunamadi (cannot read folder) " + joinPath(root, relative) + L": " + systemErrorText(code);
        return false;
    }
    return true;
}

struct HashCounter {
    uint64_t base = 0;
    uint64_t fileBytes = 0;
    PublishProgress* progress = nullptr;
    PublishProgressFn callback = nullptr;
    void* context = nullptr;
    DWORD* lastReport = nullptr;  // shared by all files: at most one report per 250 ms
};

bool onHashed(void* context, uint64_t bytesSoFar) {
    auto* counter = static_cast<HashCounter*>(context);
    counter->fileBytes = bytesSoFar;
    DWORD now = GetTickCount();
    if (counter->callback && now - *counter->lastReport >= 250) {
        *counter->lastReport = now;
        counter->progress->bytesDone = counter->base + bytesSoFar;
        counter->callback(counter->context, *counter->progress);
    }
    return true;
}

// Copies source into the object store under a temporary name, hashing what it copies, and moves
// it into place only when the copy has the hash the list will name. A file edited while the tree
// is being published would otherwise end up under another file's address.
bool copyObject(const std::wstring& source, const std::wstring& target, const std::string& expectedHash,
                std::wstring& error) {
    std::wstring staged = target + L".gecici";
    UniqueFile in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) {
        error = L"okunamadi (cannot read) " + source + L": " + systemErrorText(GetLastError());
        return false;
    }
    UniqueFile out(CreateFileW(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
        error = L"yazilamadi (cannot write) " + staged + L": " + systemErrorText(GetLastError());
        return false;
    }
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kCopyBlock]);
    Sha256 hasher;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in.get(), buffer.get(), kCopyBlock, &got, nullptr)) {
            error = L"okunamadi (cannot read) " + source + L": " + systemErrorText(GetLastError());
            break;
        }
        if (got == 0) break;
        hasher.add(buffer.get(), got);
        DWORD wrote = 0;
        if (!WriteFile(out.get(), buffer.get(), got, &wrote, nullptr) || wrote != got) {
            error = L"yazilamadi (cannot write) " + staged + L": " + systemErrorText(GetLastError());
            break;
        }
    }
    if (error.empty() && !FlushFileBuffers(out.get()))
        error = L"yazilamadi (cannot write) " + staged + L": " + systemErrorText(GetLastError());
    out.reset();
    if (error.empty() && hasher.finishHex() != expectedHash)
        error =
            L"dosya yayin sirasinda degisti, yeniden yayinlayin (file changed while publishing, publish "
            L"again): " +
            source;
    if (error.empty() && !MoveFileExW(staged.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        error = L"nesne yerine konamadi (cannot place object) " + target + L": " + systemErrorText(GetLastError());
    if (!error.empty()) {
        DeleteFileW(staged.c_str());
        return false;
    }
    return true;
}

struct NewsFile {
    const wchar_t* name;
    const std::wstring* source;
    std::string bytes;
};

bool loadNews(NewsFile& news, PublishResult& result) {
    if (news.source->empty()) return true;
    uint64_t size = 0;
    if (!fileSize(*news.source, size)) {
        result.error = L"haber dosyasi okunamadi (cannot read news file) " + *news.source;
        return false;
    }
    if (size > kNewsLimit || !readWholeFile(*news.source, news.bytes, kNewsLimit)) {
        result.error =
            L"haber dosyasi okunamadi veya 32 MiB'den buyuk (news file unreadable or not below 32 MiB) " +
            *news.source;
        return false;
    }
    if (parseNews(news.bytes).empty())
        result.notes.push_back(std::wstring(L"haber yok (no news items in) ") + news.name);
    return true;
}

void noteOlderVersion(const std::wstring& serverFolder, uint64_t version, PublishResult& result) {
    std::string previous;
    Manifest old;
    if (!readWholeFile(joinPath(serverFolder, L"manifest.txt"), previous, 67108864) || !parseManifest(previous, old))
        return;
    if (old.version >= version)
        result.notes.push_back(L"surum " + std::to_wstring(version) + L" yayindaki surumden buyuk degil (" +
                               std::to_wstring(old.version) +
                               L"); launcher yine de yeni listeyi izler (version not "
                               L"above the published one; the launcher follows the new list anyway)");
}

std::wstring fullFolderKey(const std::wstring& path) {
    wchar_t buffer[32768];
    DWORD length = GetFullPathNameW(path.c_str(), 32768, buffer, nullptr);
    std::wstring full = (length > 0 && length < 32768) ? std::wstring(buffer, length) : path;
    full = normalizePath(full);
    if (full.empty() || full.back() != L'/') full += L'/';
    return full;
}

// A server tree inside the game folder would be published into itself at the next run.
bool targetInsideGame(const std::wstring& gameFolder, const std::wstring& serverFolder) {
    std::wstring game = fullFolderKey(gameFolder), target = fullFolderKey(serverFolder);
    return target.rfind(game, 0) == 0;
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
        if (kind == 'I')
            rules.installOnlyPatterns.push_back(normalizePath(value));
        else
            rules.recordLines.emplace_back(line);
        return true;
    });
    return valid;
}

bool isInstallOnly(const PublishRules& rules, std::wstring_view relativePath) {
    std::wstring normal = normalizePath(relativePath);
    for (const std::wstring& pattern : rules.installOnlyPatterns) {
        if (matchWildcard(pattern, normal)) return true;
    }
    return false;
}

std::string buildListText(uint64_t version, const std::vector<std::string>& ruleLines,
                          const std::vector<PublishedFile>& files) {
    std::string text = "#QORVANEPC 1\n#surum " + std::to_string(version) + "\n";
    for (const std::string& line : ruleLines)
        text += line + "\n";
    for (const PublishedFile& f : files) {
        text += f.kind;
        text += ' ';
        text += f.hash + " " + std::to_string(f.size) + " " + toUtf8(f.path) + "\n";
    }
    return text;
}

bool collectGameFiles(const std::wstring& gameFolder, std::vector<std::wstring>& paths, std::wstring& error,
                      std::vector<std::wstring>* notes) {
    paths.clear();
    DWORD attributes = GetFileAttributesW(gameFolder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = L"oyun klasoru yok (game folder not found): " + gameFolder;
        return false;
    }
    std::vector<GameFile> files;
    if (!walkFolder(gameFolder, L"", files, error, notes)) return false;
    std::sort(files.begin(), files.end(), [](const GameFile& a, const GameFile& b) {
        return a.sortKey != b.sortKey ? a.sortKey < b.sortKey : a.path < b.path;
    });
    for (size_t i = 1; i < files.size(); ++i) {
        // Windows folders cannot hold both, and the launcher would keep only the last of them.
        if (files[i].sortKey == files[i - 1].sortKey) {
            error = L"yalnizca harf buyuklugunde ayrilan iki dosya (two files differ only in letter case): " +
                    files[i - 1].path + L" / " + files[i].path;
            return false;
        }
    }
    for (GameFile& f : files)
        paths.push_back(std::move(f.path));
    return true;
}

PublishResult publishGame(const PublishOptions& options, PublishProgressFn callback, void* context) {
    PublishResult result;
    result.version = options.version ? options.version : unixTimeNow();
    if (targetInsideGame(options.gameFolder, options.serverFolder)) {
        result.error =
            L"hedef klasor oyun klasorunun icinde olamaz (the target folder cannot be inside the game "
            L"folder): " +
            options.serverFolder;
        return result;
    }
    std::vector<std::wstring> paths;
    if (!collectGameFiles(options.gameFolder, paths, result.error, &result.notes)) return result;
    if (paths.empty()) {
        result.error = L"oyun klasoru bos (the game folder is empty): " + options.gameFolder;
        return result;
    }
    NewsFile news[2] = {{L"haberler_tr.txt", &options.newsTurkish, {}},
                        {L"haberler_en.txt", &options.newsEnglish, {}}};
    for (NewsFile& n : news) {
        if (!loadNews(n, result)) return result;
    }
    if (!createFolderTree(options.serverFolder)) {
        result.error =
            L"sunucu klasoru olusturulamadi (cannot create server folder): " + options.serverFolder;
        return result;
    }
    noteOlderVersion(options.serverFolder, result.version, result);

    PublishProgress progress;
    progress.filesTotal = static_cast<int>(paths.size());
    for (const std::wstring& p : paths) {
        uint64_t size = 0;
        if (fileSize(joinPath(options.gameFolder, p), size)) progress.bytesTotal += size;
    }
    std::vector<PublishedFile> files;
    bool launcherListed = false;
    DWORD lastReport = GetTickCount() - 1000;
    for (const std::wstring& path : paths) {
        progress.currentPath = path;
        HashCounter counter{progress.bytesDone, 0, &progress, callback, context, &lastReport};
        std::wstring source = joinPath(options.gameFolder, path);
        PublishedFile file;
        file.kind = isInstallOnly(options.rules, path) ? 'I' : 'K';
        file.path = path;
        DWORD readError = 0;
        file.hash = hashFile(source, onHashed, &counter, &readError);
        if (file.hash.empty()) {
            result.error = L"okunamadi (cannot read) " + source + L": " + systemErrorText(readError);
            return result;
        }
        file.size = counter.fileBytes;
        std::wstring object = joinPath(options.serverFolder, objectPath(file.hash));
        uint64_t present = 0;
        if (fileSize(object, present) && present == file.size) {
            ++result.objectsReused;
        } else {
            createFolderTree(object.substr(0, object.find_last_of(L'\\')));
            if (!copyObject(source, object, file.hash, result.error)) return result;
            ++result.objectsWritten;
            result.bytesWritten += file.size;
        }
        launcherListed = launcherListed || normalizePath(path) == normalizePath(kLauncherFileName);
        progress.bytesDone = counter.base + file.size;
        ++progress.filesDone;
        if (callback) callback(context, progress);
        result.bytes += file.size;
        files.push_back(std::move(file));
    }
    result.files = static_cast<int>(files.size());
    if (!launcherListed)
        result.notes.push_back(L"ustte \"" + std::wstring(kLauncherFileName) +
                               L"\" yok: launcher kendini guncellemez (no top-level \"" + kLauncherFileName +
                               L"\": the launcher will not update itself)");

    std::string list = buildListText(result.version, options.rules.recordLines, files);
    std::string signature;
    std::wstring signError;
    if (!signList(options.signingKey, list, signature, signError)) {
        result.error = L"liste imzalanamadi (cannot sign the list): " + signError;
        return result;
    }
    // Objects are in place before anything names them; the news go live next, then the list and
    // last its signature. A launcher that reads the new list with the old signature in between
    // rejects the pair and fetches both again two seconds later.
    const std::wstring listPath = joinPath(options.serverFolder, L"manifest.txt");
    const std::wstring signaturePath = joinPath(options.serverFolder, L"manifest.sig");
    for (NewsFile& n : news) {
        if (n.source->empty()) continue;
        if (DWORD error = writeFileReplacing(joinPath(options.serverFolder, n.name), n.bytes)) {
            result.error = std::wstring(L"haber yazilamadi (cannot write news) ") + n.name + L": " +
                           systemErrorText(error);
            return result;
        }
    }
    DWORD error = writeStagedFile(listPath, list);
    if (error == 0) error = writeStagedFile(signaturePath, signature);
    if (error != 0) {
        result.error = L"liste yazilamadi (cannot write the list): " + systemErrorText(error);
        discardStagedFile(listPath);
        discardStagedFile(signaturePath);
        return result;
    }
    error = promoteStagedFile(listPath);
    if (error == 0) error = promoteStagedFile(signaturePath);
    if (error != 0) {
        result.error = L"liste yerine konamadi (cannot place the list): " + systemErrorText(error);
        discardStagedFile(listPath);
        discardStagedFile(signaturePath);
        return result;
    }
    result.ok = true;
    return result;
}
