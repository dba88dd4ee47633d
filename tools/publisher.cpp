#include "tools/publisher.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <set>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/sha256.h"
#include "base/text.h"
#include "protocol/cleanup_rules.h"
#include "protocol/key_set.h"
#include "protocol/manifest.h"
#include "protocol/news_format.h"
#include "protocol/object_path.h"
#include "tools/chunk_indexing.h"
#include "tools/launcher_file.h"
#include "tools/list_checks.h"
#include "tools/list_history.h"
#include "tools/list_signing.h"
#include "tools/rule_changes.h"
#include "tools/tool_files.h"
#include "tools/tree_verify.h"
#include "tools/wine_locale.h"

namespace {

constexpr DWORD kCopyBlock = 1048576;
// The launcher shows no news from a longer file; publishing one would only hide the news.
constexpr uint64_t kNewsLimit = kMaxNewsBytes;

uint64_t unixTimeNow() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - 116444736000000000ULL) / 10000000ULL;
}

struct GameFile {
    std::wstring path;
    std::string sortKey;  // UTF-8 of the path's key: equal keys are one file on Windows
};

// A file that is a symbolic link, or one name of a file with several, is content from outside the
// build folder (or content that changes with a file outside it): never published.
bool isLinkedFile(const std::wstring& path, const WIN32_FIND_DATAW& data) {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    UniqueFile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    return file && GetFileInformationByHandle(file.get(), &info) && info.nNumberOfLinks > 1;
}

bool walkFolder(const std::wstring& root, const std::wstring& relative, std::vector<GameFile>& files,
                std::wstring& error, std::vector<std::wstring>* notes, std::vector<std::wstring>& linked) {
    std::wstring pattern = joinPath(root, relative.empty() ? L"*" : relative + L"/*");
    WIN32_FIND_DATAW data;
    UniqueFind find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return true;  // an empty folder
        error = L"klasor okunamadi (cannot read folder) " + joinPath(root, relative) + L": " +
                systemErrorText(code);
        return false;
    }
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring child = relative.empty() ? name : relative + L"/" + name;
        bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folder && relative.empty() && isInProtectionFolder(pathKey(name))) {
            if (notes) notes->push_back(L"koruma klasoru yayinlanmadi (the koruma folder is not published)");
            continue;
        }
        std::wstring problem = gameFileNameProblem(child);
        if (!problem.empty()) {
            error =
                L"launcher bu yolu kabul etmez (the launcher rejects this path): " + child + L": " + problem;
            return false;
        }
        if (folder) {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (notes) notes->push_back(L"baglanti klasoru atlandi (linked folder skipped): " + child);
                continue;
            }
            if (!walkFolder(root, child, files, error, notes, linked)) return false;
        } else if (isLinkedFile(joinPath(root, child), data)) {
            linked.push_back(child);
        } else {
            files.push_back({child, toUtf8(pathKey(child))});
        }
    } while (FindNextFileW(find.get(), &data));
    DWORD code = GetLastError();
    if (code != ERROR_NO_MORE_FILES) {
        error = L"klasor okunamadi (cannot read folder) " + joinPath(root, relative) + L": " +
                systemErrorText(code);
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
    std::wstring staged = target + kStagedSuffix;
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
    if (error.empty()) {
        if (DWORD moveError = moveFileDurably(staged, target))
            error =
                L"nesne yerine konamadi (cannot place object) " + target + L": " + systemErrorText(moveError);
    }
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
            L"haber dosyasi okunamadi veya 64 KiB'den buyuk (news file unreadable or over 64 KiB) " +
            *news.source;
        return false;
    }
    if (parseNews(news.bytes).empty())
        result.notes.push_back(std::wstring(L"haber yok (no news items in) ") + news.name);
    return true;
}

// The list the target serves now, when it holds one the launcher can read.
bool readPublishedList(const std::wstring& serverFolder, std::string& bytes, Manifest& previous) {
    return readWholeFile(joinPath(serverFolder, kListFileName), bytes, 67108864) &&
           parseManifest(bytes, previous);
}

std::wstring pathLines(const std::vector<std::wstring>& paths) {
    std::wstring lines;
    for (const std::wstring& path : paths)
        lines += L"\n  " + path;
    return lines;
}

// The rules live with the tree: without a rules file the published list's rules stay. A rules file
// replaces them; every rule it drops is named, and a file that was install-only becoming checked
// needs its own option, because each player's edits of it would be overwritten at the next update.
bool settleRules(const PublishOptions& options, const std::string& previousList, const Manifest& previous,
                 const std::vector<std::wstring>& paths, PublishRules& rules, PublishResult& result) {
    if (options.keepPublishedRules) {
        if (!publishedRules(previousList, previous, rules, result.error)) return false;
        size_t count = rules.recordLines.size() + rules.installOnlyLines.size();
        if (count > 0)
            result.notes.push_back(L"--kurallar verilmedi: yayindaki listenin " + std::to_wstring(count) +
                                   L" kurali korundu (no --kurallar: the published list's " +
                                   std::to_wstring(count) + L" rules are kept)");
    } else {
        result.droppedRules = droppedRules(previousList, rules);
        if (!result.droppedRules.empty())
            result.notes.push_back(
                L"kurallar dosyasi yayindaki listenin " + std::to_wstring(result.droppedRules.size()) +
                L" kuralini kaldiriyor (the rules file drops " + std::to_wstring(result.droppedRules.size()) +
                L" rules of the published list):" + pathLines(result.droppedRules));
    }
    result.turnedChecked = installOnlyTurnedChecked(previous, paths, rules);
    if (result.turnedChecked.empty()) return true;
    const std::wstring what =
        std::to_wstring(result.turnedChecked.size()) +
        L" dosya kuruluma ozel (I) iken denetlenen (K) oluyor: oyuncularin bu dosyalarda "
        L"yaptigi degisiklikler bir sonraki guncellemede silinir (files go from install-only (I) "
        L"to checked (K): players' edits of them are overwritten at their next update):" +
        pathLines(result.turnedChecked);
    if (!options.allowInstallOnlyToChecked) {
        result.error = what +
                       L"\nyayinlanmadi; isteniyorsa --denetime-al ile yayinlayin (not published; give "
                       L"--denetime-al if this is intended)";
        return false;
    }
    result.notes.push_back(what + L"\n--denetime-al ile yayinlaniyor (published with --denetime-al)");
    return true;
}

// Launchers remember the highest version they verified and refuse any lower one, so a lower version
// would only stop every player who saw the higher one.
bool checkVersion(const PublishOptions& options, const Manifest& previous, uint64_t version,
                  PublishResult& result) {
    const std::wstring versions =
        L"surum " + std::to_wstring(version) + L", yayindaki surum " + std::to_wstring(previous.version);
    if (version < previous.version && !options.allowLowerVersion) {
        result.error =
            L"surum yayindakinden dusuk (version below the published one): " + versions +
            L". Launcher'lar gordukleri en yuksek surumden dusugunu reddeder; --surum ile daha "
            L"buyugunu verin, ya da hicbir oyuncu o surumu gormediyse --dusuk-surum (launchers refuse "
            L"any version below the highest they verified: give a larger --surum, or --dusuk-surum "
            L"if no player has seen the published one)";
        return false;
    }
    if (version < previous.version)
        result.notes.push_back(
            L"surum yayindakinden dusuk, --dusuk-surum ile yayinlaniyor; o surumu gormus "
            L"launcher'lar bu listeyi reddeder (version below the published one, published with "
            L"--dusuk-surum: launchers that saw it refuse this list): " +
            versions);
    else if (version == previous.version)
        result.notes.push_back(L"surum yayindakiyle ayni (version equal to the published one): " + versions);
    return true;
}

// Names the files the previous list held that the new one drops and no clean-up rule of the new
// list reaches: they stay on every player's machine. The new list is read by the launcher's own
// parser, so its rules mean here what they will mean there.
bool checkRemovals(const PublishOptions& options, const PublishRules& rules, const Manifest& previous,
                   const std::vector<std::wstring>& paths, PublishResult& result) {
    std::vector<PublishedFile> planned;
    for (const std::wstring& path : paths)
        planned.push_back({'K', std::string(64, '0'), 0, path});
    Manifest next;
    if (!parseManifest(buildListText(1, rules.recordLines, planned), next)) return true;
    const std::wstring launcherKey = pathKey(kLauncherFileName);
    for (const auto& [key, index] : previous.pathIndex) {
        if (next.pathIndex.count(key) || key == launcherKey) continue;
        const std::wstring& path = previous.entries[index].path;
        if (!cleanupCovers(next, path)) result.leftBehind.push_back(path);
    }
    if (result.leftBehind.empty()) return true;
    const std::wstring list = pathLines(result.leftBehind);
    const std::wstring what =
        std::to_wstring(result.leftBehind.size()) +
        L" dosya listeden cikiyor ama hicbir D klasoru ya da ustteki E uzantisi onlari "
        L"kapsamiyor: oyuncularin bilgisayarinda kalirlar (files dropped from the list that "
        L"no D folder or top-level E extension covers: they stay on players' machines):" +
        list;
    if (options.strictRemovals) {
        result.error = what + L"\n--kati: yayinlanmadi (not published)";
        return false;
    }
    result.notes.push_back(what);
    return true;
}

// The signing key must be meant for players, and the launcher the tree publishes must trust it.
// A prepared list is signed elsewhere: the keys the launcher carries go into it for the signer to
// show and check against its key.
bool checkKeys(const PublishOptions& options, const std::vector<std::wstring>& paths, PublishResult& result,
               KeySet& launcherKeys) {
    PublicKey signing;
    publicKeyBytes(options.signingKey, signing.data());
    if (!options.prepareOnly && signing == developmentKey()) {
        if (!options.allowDevelopmentKey) {
            result.error =
                L"gelistirme anahtariyla imzalanmaz: ozel yarisi depoda, herkes onunla liste imzalayabilir; "
                L"test icin --gelistirme verin (refusing to sign with the development key, whose private "
                L"half is in the repository: pass --gelistirme for a test tree)";
            return false;
        }
        result.notes.push_back(
            L"gelistirme anahtariyla imzalaniyor: yalnizca test icin (signed with the development "
            L"key: for tests only)");
    }
    const std::wstring launcherKey = pathKey(kLauncherFileName);
    for (const std::wstring& path : paths) {
        if (pathKey(path) != launcherKey) continue;
        DWORD error = 0;
        if (!readProgramKeySet(joinPath(options.gameFolder, path), launcherKeys, &error)) {
            result.error =
                L"\"" + path +
                L"\" anahtar kumesi tasimiyor, launcher olarak yayinlanamaz (carries no key set, cannot "
                L"be published as the launcher): " +
                systemErrorText(error);
            return false;
        }
        if (!options.prepareOnly && !containsKey(launcherKeys, signing)) {
            result.error = launcherKeyMismatch(launcherKeys, describeKeySet({signing}));
            return false;
        }
    }
    return true;
}

std::wstring fullFolderKey(const std::wstring& path) {
    wchar_t buffer[32768];
    DWORD length = GetFullPathNameW(path.c_str(), 32768, buffer, nullptr);
    std::wstring full = (length > 0 && length < 32768) ? std::wstring(buffer, length) : path;
    full = pathKey(full);
    if (full.empty() || full.back() != L'/') full += L'/';
    return full;
}

}  // namespace

// Held for the whole publish: a second publisher into the same tree would interleave its objects,
// news and list with ours.
UniqueFile lockPublishTarget(const std::wstring& serverFolder, std::wstring& error) {
    const std::wstring path = joinPath(serverFolder, L"yayin.kilit");
    UniqueFile lock(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (lock) return lock;
    const DWORD code = GetLastError();
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED || code == ERROR_LOCK_VIOLATION)
        error =
            L"bu hedefe baska bir yayin suruyor; o bitince yeniden deneyin (another publish into this "
            L"target is running; try again when it has finished): " +
            serverFolder;
    else
        error = L"hedef kilitlenemedi (cannot lock the target) " + path + L": " + systemErrorText(code);
    return lock;
}

namespace {

// An object already under its address is only reused when its bytes still have that address: a
// damaged copy would otherwise be signed into the list and fail on every player's machine.
bool objectIntact(const std::wstring& object, const std::string& hash) {
    DWORD readError = 0;
    return hashFile(object, nullptr, nullptr, &readError) == hash;
}

// The list to sign and the news that go live with it, in the target's "hazirlik" folder; a
// signature left there from an earlier preparation is removed, as it belongs to another list.
bool writePreparedList(const std::wstring& serverFolder, const std::string& list,
                       const std::string* const news[2], PublishResult& result) {
    const std::wstring folder = joinPath(serverFolder, kPreparedFolderName);
    if (!createFolderTree(folder)) {
        result.error = L"klasor olusturulamadi (cannot create folder): " + folder;
        return false;
    }
    DeleteFileW(joinPath(folder, kSignatureFileName).c_str());
    for (int i = 0; i < 2; ++i) {
        const std::wstring path = joinPath(folder, kNewsFileNames[i]);
        DWORD error =
            news[i]
                ? writeFileReplacing(path, *news[i])
                : (DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : GetLastError());
        if (error) {
            result.error = L"yazilamadi (cannot write) " + path + L": " + systemErrorText(error);
            return false;
        }
    }
    result.preparedList = joinPath(folder, kListFileName);
    if (DWORD error = writeFileReplacing(result.preparedList, list)) {
        result.error = L"yazilamadi (cannot write) " + result.preparedList + L": " + systemErrorText(error);
        return false;
    }
    return true;
}

// The index goes under its own address before the list names it; the file's size as hashed and as
// indexed must agree, or the file changed between the two reads.
bool placeChunkIndex(const PublishOptions& options, const HashedFile& hashed, PublishedFile& file,
                     PublishResult& result) {
    if (hashed.size != file.size) {
        result.error =
            L"dosya yayin sirasinda degisti, yeniden yayinlayin (file changed while publishing, "
            L"publish again): " +
            file.path;
        return false;
    }
    file.indexHash = sha256Hex(hashed.index);
    file.indexSize = hashed.index.size();
    bool written = false;
    if (DWORD error = storeIndexObject(options.serverFolder, hashed.index, file.indexHash, &written)) {
        result.error = L"parca dizini yazilamadi (cannot write the chunk index) of " + file.path + L": " +
                       systemErrorText(error);
        return false;
    }
    ++result.indexes;
    result.indexBytes += file.indexSize;
    if (written) ++result.indexesWritten;
    return true;
}

// A server tree inside the game folder would be published into itself at the next run.
bool targetInsideGame(const std::wstring& gameFolder, const std::wstring& serverFolder) {
    std::wstring game = fullFolderKey(gameFolder), target = fullFolderKey(serverFolder);
    return target.rfind(game, 0) == 0;
}

}  // namespace

bool mirrorLines(const std::vector<std::wstring>& given, bool keep, const Manifest& published,
                 std::vector<std::string>& lines, std::vector<std::wstring>& urls, std::wstring& error) {
    lines.clear();
    urls.clear();
    std::vector<MirrorAddress> chosen;
    if (keep) {
        chosen = published.mirrors;
    } else {
        for (const std::wstring& url : given) {
            MirrorAddress mirror;
            if (!parseMirrorUrl(url, mirror)) {
                error = L"--ayna gecersiz (invalid) " + url + L": " + mirrorUrlProblem(url);
                return false;
            }
            chosen.push_back(std::move(mirror));
        }
    }
    for (size_t i = 0; i < chosen.size(); ++i) {
        bool seen = false;
        for (size_t j = 0; j < i && !seen; ++j)
            seen = sameMirror(chosen[j], chosen[i]);
        if (seen) continue;
        lines.push_back("A " + toUtf8(chosen[i].url));
        urls.push_back(chosen[i].url);
    }
    return true;
}

std::string buildListText(uint64_t version, const std::vector<std::string>& ruleLines,
                          const std::vector<PublishedFile>& files) {
    std::string text = "#QORVANEPC 1\n#surum " + std::to_string(version) + "\n";
    for (const std::string& line : ruleLines)
        text += line + "\n";
    std::set<std::string> indexed;
    for (const PublishedFile& f : files) {
        text += f.kind;
        text += ' ';
        text += f.hash + " " + std::to_string(f.size) + " " + toUtf8(f.path) + "\n";
        if (!f.indexHash.empty() && indexed.insert(f.hash).second)
            text += "P " + f.hash + " " + f.indexHash + " " + std::to_string(f.indexSize) + "\n";
    }
    return text;
}

bool placeListDocuments(const std::wstring& serverFolder, uint64_t replacedVersion,
                        const std::string* const news[2], const std::string& list,
                        const std::string& signature, std::wstring& error) {
    if (DWORD archived = archiveLiveList(serverFolder, replacedVersion)) {
        error =
            L"yayindaki liste gecmise kopyalanamadi, hicbir sey degismedi (cannot keep the published list "
            L"in the history; nothing changed): " +
            systemErrorText(archived);
        return false;
    }
    // Objects are in place before anything names them; the news go live next, then the list and
    // last its signature. A launcher that reads the new list with the old signature in between
    // rejects the pair and fetches both again two seconds later.
    const std::wstring listPath = joinPath(serverFolder, kListFileName);
    const std::wstring signaturePath = joinPath(serverFolder, kSignatureFileName);
    for (int i = 0; i < 2; ++i) {
        if (!news[i]) continue;
        if (DWORD written = writeFileReplacing(joinPath(serverFolder, kNewsFileNames[i]), *news[i])) {
            error = std::wstring(L"haber yazilamadi (cannot write news) ") + kNewsFileNames[i] + L": " +
                    systemErrorText(written);
            return false;
        }
    }
    DWORD written = writeStagedFile(listPath, list);
    if (written == 0) written = writeStagedFile(signaturePath, signature);
    if (written != 0) {
        error = L"liste yazilamadi (cannot write the list): " + systemErrorText(written);
        discardStagedFile(listPath);
        discardStagedFile(signaturePath);
        return false;
    }
    written = promoteStagedFile(listPath);
    if (written == 0) written = promoteStagedFile(signaturePath);
    if (written != 0) {
        error = L"liste yerine konamadi (cannot place the list): " + systemErrorText(written);
        discardStagedFile(listPath);
        discardStagedFile(signaturePath);
        return false;
    }
    return true;
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
    std::vector<std::wstring> linked;
    if (!walkFolder(gameFolder, L"", files, error, notes, linked)) return false;
    if (!linked.empty()) {
        error =
            L"oyun klasorunde baglanti ya da birden cok adi olan dosyalar var, yayinlanmaz; gercek "
            L"kopyalarini "
            L"koyun (the game folder holds symbolic links or files with more than one name, which are not "
            L"published; put real copies there):";
        for (const std::wstring& path : linked)
            error += L"\n  " + path;
        return false;
    }
    std::sort(files.begin(), files.end(), [](const GameFile& a, const GameFile& b) {
        return a.sortKey != b.sortKey ? a.sortKey < b.sortKey : a.path < b.path;
    });
    for (size_t i = 1; i < files.size(); ++i) {
        // Windows folders cannot hold both, and the launcher would keep only the last of them.
        if (files[i].sortKey == files[i - 1].sortKey) {
            error =
                L"Windows icin ayni dosya, yalnizca harf buyuklugu farkli (one file on Windows, the names "
                L"differ only in letter case): " +
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
    const std::wstring locale = nonUtf8WineLocale();
    if (!locale.empty()) result.warnings.push_back(wineLocaleAdvice(locale));
    std::vector<std::wstring> paths;
    if (!collectGameFiles(options.gameFolder, paths, result.error, &result.notes)) return result;
    if (paths.empty()) {
        result.error = L"oyun klasoru bos (the game folder is empty): " + options.gameFolder;
        return result;
    }
    for (const std::wstring& path : paths) {
        if (!isLauncherLookalike(path)) continue;
        result.error =
            L"\"" + path + L"\" launcher'a benziyor ama adi \"" + kLauncherFileName +
            L"\" degil: siradan bir oyun dosyasi olarak yayinlanir ve hicbir kural onu silmez; adini \"" +
            kLauncherFileName + L"\" yapin ya da klasorden cikarin (named like the launcher but not \"" +
            kLauncherFileName +
            L"\": it would be published as an ordinary game file that no rule removes; "
            L"rename it to \"" +
            kLauncherFileName + L"\" or take it out of the folder)";
        return result;
    }
    KeySet launcherKeys;
    if (!checkKeys(options, paths, result, launcherKeys)) return result;
    // Declared before the lock, so it runs after the lock file is gone: a refused first publish
    // leaves no empty target behind for the next one to mistake for a published tree.
    struct CreatedTarget {
        const std::wstring& path;
        bool created;
        const PublishResult& result;
        ~CreatedTarget() {
            if (created && !result.ok) RemoveDirectoryW(path.c_str());  // only while it is empty
        }
    } createdTarget{options.serverFolder, !pathExists(options.serverFolder), result};
    if (!createFolderTree(options.serverFolder)) {
        result.error =
            L"sunucu klasoru olusturulamadi (cannot create server folder): " + options.serverFolder;
        return result;
    }
    // Held from before the published list is read: a second publisher must not judge the version
    // against a list the first is about to replace.
    UniqueFile lock = lockPublishTarget(options.serverFolder, result.error);
    if (!lock) return result;
    Manifest previous;
    std::string previousList;
    PublishRules rules = options.keepPublishedRules ? PublishRules{} : options.rules;
    if (readPublishedList(options.serverFolder, previousList, previous)) {
        if (!checkVersion(options, previous, result.version, result) ||
            !settleRules(options, previousList, previous, paths, rules, result) ||
            !checkRemovals(options, rules, previous, paths, result))
            return result;
    } else if (options.keepPublishedRules && pathExists(joinPath(options.serverFolder, kListFileName))) {
        result.error =
            L"hedefteki liste okunamiyor, kurallari korunamaz; kurallari --kurallar ile verin (the "
            L"target's list cannot be read, so its rules cannot be kept; give the rules with --kurallar)";
        return result;
    } else if (options.keepPublishedMirrors && pathExists(joinPath(options.serverFolder, kListFileName))) {
        // Mirrors must not vanish from a list without a word, any more than its rules.
        result.error =
            L"hedefteki liste okunamiyor, aynalari korunamaz; --ayna URL ya da --aynasiz verin (the "
            L"target's list cannot be read, so its mirrors cannot be kept; give --ayna URL or --aynasiz)";
        return result;
    }
    std::vector<std::string> mirrorRecords;
    if (!mirrorLines(options.mirrors, options.keepPublishedMirrors, previous, mirrorRecords, result.mirrors,
                     result.error))
        return result;
    if (options.keepPublishedMirrors && !result.mirrors.empty())
        result.notes.push_back(L"--ayna verilmedi: yayindaki listenin " +
                               std::to_wstring(result.mirrors.size()) +
                               L" aynasi korundu (no --ayna: the published list's " +
                               std::to_wstring(result.mirrors.size()) + L" mirrors are kept)");
    for (const std::wstring& mirror : result.mirrors)
        result.notes.push_back(L"ayna (mirror): " + mirror +
                               L": bu agacin kopyasini sunmali (must serve a copy of this tree)");
    NewsFile news[2] = {{kNewsFileNames[0], &options.newsTurkish, {}},
                        {kNewsFileNames[1], &options.newsEnglish, {}}};
    for (NewsFile& n : news) {
        if (!loadNews(n, result)) return result;
    }
    if (options.quick)
        result.notes.push_back(
            L"--hizli: var olan nesneler yeniden hashlenmedi, bozuk bir nesne listeye girebilir (existing "
            L"objects were not hashed again; a damaged one may be signed into the list)");

    PublishProgress progress;
    progress.filesTotal = static_cast<int>(paths.size());
    for (const std::wstring& p : paths) {
        uint64_t size = 0;
        if (fileSize(joinPath(options.gameFolder, p), size)) progress.bytesTotal += size;
    }
    std::vector<PublishedFile> files;
    std::wstring launcherSource;
    DWORD lastReport = GetTickCount() - 1000;
    for (const std::wstring& path : paths) {
        progress.currentPath = path;
        HashCounter counter{progress.bytesDone, 0, &progress, callback, context, &lastReport};
        std::wstring source = joinPath(options.gameFolder, path);
        PublishedFile file;
        file.kind = isInstallOnly(rules, path) ? 'I' : 'K';
        file.path = path;
        HashedFile hashed =
            hashPublishedFile(source, options.chunkIndexes, defaultChunkParams(), onHashed, &counter);
        file.hash = hashed.hash;
        if (file.hash.empty()) {
            result.error = L"okunamadi (cannot read) " + source + L": " + systemErrorText(hashed.error);
            return result;
        }
        file.size = counter.fileBytes;
        if (!hashed.index.empty() && !placeChunkIndex(options, hashed, file, result)) return result;
        std::wstring object = joinPath(options.serverFolder, objectPath(file.hash));
        uint64_t presentSize = 0;
        const bool present = fileSize(object, presentSize) && presentSize == file.size;
        if (present && (options.quick || objectIntact(object, file.hash))) {
            ++result.objectsReused;
        } else {
            if (present) {
                result.notes.push_back(L"bozuk nesne yeniden yazildi (damaged object written again): " +
                                       object);
                ++result.objectsRepaired;
            }
            createFolderTree(object.substr(0, object.find_last_of(L'\\')));
            if (!copyObject(source, object, file.hash, result.error)) return result;
            ++result.objectsWritten;
            result.bytesWritten += file.size;
        }
        if (pathKey(path) == pathKey(kLauncherFileName)) launcherSource = source;
        progress.bytesDone = counter.base + file.size;
        ++progress.filesDone;
        if (callback) callback(context, progress);
        result.bytes += file.size;
        files.push_back(std::move(file));
    }
    result.files = static_cast<int>(files.size());
    if (launcherSource.empty())
        result.warnings.push_back(
            L"agacta launcher yok (ustte \"" + std::wstring(kLauncherFileName) +
            L"\"): oyuncularin launcher'i kendini guncellemez (no launcher in the tree (top-level \"" +
            kLauncherFileName + L"\"): players' launchers will not update themselves)");
    else if (codeSignatureOf(launcherSource) == CodeSignature::Absent)
        result.notes.push_back(
            L"launcher imzasiz (Authenticode yok): test icin; oyunculara imzali olani yayinlayin "
            L"(the launcher is unsigned (no Authenticode): for tests; publish the signed one to "
            L"players)");

    std::vector<std::string> recordLines = listedRuleLines(rules);
    recordLines.insert(recordLines.end(), mirrorRecords.begin(), mirrorRecords.end());
    const std::string* newsBytes[2] = {};
    for (int i = 0; i < 2; ++i)
        if (!news[i].source->empty()) newsBytes[i] = &news[i].bytes;
    if (options.prepareOnly) {
        std::vector<std::string> lines;
        for (const PublicKey& key : launcherKeys)
            lines.push_back(std::string(kPreparedKeyMark) + keyHex(key));
        lines.insert(lines.end(), recordLines.begin(), recordLines.end());
        if (!writePreparedList(options.serverFolder, buildListText(result.version, lines, files), newsBytes,
                               result))
            return result;
        result.ok = true;
        return result;
    }
    std::string list = buildListText(result.version, recordLines, files);
    std::string signature;
    if (SystemError signFailure = signList(options.signingKey, list, signature); signFailure.failed()) {
        result.error = L"liste imzalanamadi (cannot sign the list): " + signFailure.what;
        return result;
    }
    if (!placeListDocuments(options.serverFolder, previous.version, newsBytes, list, signature, result.error))
        return result;
    result.ok = true;
    return result;
}
