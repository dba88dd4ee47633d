// The clean-up never deletes what the list names, the launcher's state, the launcher or the game,
// whatever the rules say and however the disk spells the names; and it still deletes the files the
// rules do give it. A property over random rule sets and folder trees, on a model of a
// case-insensitive disk and, fewer times, on the real one.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "base/names.h"
#include "base/path_identity.h"
#include "base/text.h"
#include "protocol/manifest.h"
#include "tests/support/temp_folder.h"
#include "update/extra_files.h"

namespace {

const std::string kHash(64, 'a');

// Folder and file names with letters that fold beyond A-Z, blanks and dots; the two sets never share
// a key, so no name is a file in one place and a folder in another.
const wchar_t* const kFolderNames[] = {L"pack", L"Data", L"\u015fehir", L"\u00c7i\u00c7ek", L"maps",
                                       L"\u00f6yk\u00fc", L"x y", L"\u0130zmir", L"d\u0131\u015f", L"a.b"};
const wchar_t* const kFileNames[] = {L"a.epk", L"B.EPK", L"\u00fcr\u00fcn.dat", L"x y.txt",
                                     L"old.log", L"g\u00f6l.dll", L"z", L"\u011fer.exe"};
const wchar_t* const kExtensions[] = {L".epk", L".EXE", L".dll", L".txt", L".log", L".DAT"};
const wchar_t* const kPatterns[] = {L"*.log", L"*/old.log", L"*\u00dcR\u00dcN*", L"pack/*", L"?", L"*extra1_*"};

const wchar_t* const kGameFolderSpellings[] = {L".", L"./", L"", L"/", L".\\"};

template <typename T, size_t N>
T pick(T const (&items)[N], std::mt19937& rng) {
    return items[rng() % N];
}

// One spelling of a path as a user, an older launcher or another tool may have written it.
std::wstring respell(const std::wstring& path, std::mt19937& rng) {
    std::wstring out = path;
    switch (rng() % 3) {
        case 0:
            break;
        case 1:
            out = foldCase(out);
            break;
        default:
            for (wchar_t& c : out)
                if (rng() % 2) c = foldCase(std::wstring(1, c))[0];
            break;
    }
    return out;
}

// The loose spellings of a folder that must still name that folder.
std::wstring looseSpelling(const std::wstring& folder, std::mt19937& rng) {
    std::wstring text = respell(folder, rng);
    switch (rng() % 6) {
        case 0:
            return text + L"/";
        case 1:
            return L"./" + text;
        case 2:
            for (wchar_t& c : text)
                if (c == L'/') c = L'\\';
            return text + L"\\";
        case 3: {
            std::wstring doubled;
            for (wchar_t c : text)
                doubled += c == L'/' ? std::wstring(L"//./") : std::wstring(1, c);
            return doubled;
        }
        default:
            return text;
    }
}

// A folder tree as a case-insensitive disk holds it: each folder and file keeps the spelling it was
// created with, and is found by any spelling of its name.
struct ModelDisk {
    std::map<std::wstring, std::vector<FolderEntry>> folders{{L"", {}}};  // folder key -> entries
    std::map<std::wstring, std::wstring> spelled;                          // key -> path as created

    // Returns the path as the disk spells it.
    std::wstring add(const std::wstring& path) {
        std::wstring current;
        size_t start = 0;
        for (;;) {
            size_t slash = path.find(L'/', start);
            bool isFolder = slash != std::wstring::npos;
            std::wstring name = path.substr(start, isFolder ? slash - start : std::wstring::npos);
            std::wstring candidate = current.empty() ? name : current + L"/" + name;
            auto known = spelled.find(pathKey(candidate));
            if (known == spelled.end()) {
                spelled[pathKey(candidate)] = candidate;
                folders[pathKey(current)].push_back({name, isFolder, isFolder});
                if (isFolder) folders[pathKey(candidate)];
                current = candidate;
            } else {
                current = known->second;
            }
            if (!isFolder) return current;
            start = slash + 1;
        }
    }

    FolderLister lister() const {
        return [this](const std::wstring& folder, std::vector<FolderEntry>& entries) {
            auto found = folders.find(pathKey(folder));
            if (found == folders.end()) return false;
            entries = found->second;
            return true;
        };
    }

    bool isFile(const std::wstring& key) const {
        return spelled.count(key) && !folders.count(key);
    }
};

struct RandomCase {
    std::string list = "#QORVANEPC 1\n";
    ModelDisk disk;
    std::vector<std::wstring> extras;  // unlisted files, as the disk spells them
};

void addRecord(RandomCase& c, char kind, const std::wstring& value) {
    c.list += std::string(1, kind) + " " + toUtf8(value) + "\n";
}

RandomCase randomCase(std::mt19937& rng) {
    RandomCase c;
    std::vector<std::wstring> folders;
    for (int i = 0, n = 1 + static_cast<int>(rng() % 5); i < n; ++i) {
        std::wstring folder = pick(kFolderNames, rng);
        for (int depth = static_cast<int>(rng() % 3); depth > 0; --depth)
            folder += std::wstring(L"/") + pick(kFolderNames, rng);
        folders.push_back(folder);
    }
    auto somewhere = [&](const std::wstring& name) {
        return rng() % 5 == 0 ? name : folders[rng() % folders.size()] + L"/" + name;
    };
    for (int i = 0, n = 1 + static_cast<int>(rng() % 8); i < n; ++i) {
        std::wstring path = somewhere(pick(kFileNames, rng));
        std::wstring written = respell(path, rng);
        if (rng() % 4 == 0)
            for (wchar_t& ch : written)
                if (ch == L'/') ch = L'\\';
        c.list += "K " + kHash + " 1 " + toUtf8(written) + "\n";
        c.disk.add(respell(path, rng));
    }
    for (const wchar_t* own : {L"koruma/kurulum.txt", L"koruma/onbellek.txt", L"koruma/sub/x.log",
                               kGameFileName, kLauncherFileName})
        c.disk.add(respell(own, rng));
    for (int i = 0, n = static_cast<int>(rng() % 8); i < n; ++i) {
        std::wstring name = L"extra" + std::to_wstring(i) + L"_" + pick(kFileNames, rng);
        std::wstring path = rng() % 6 == 0 ? L"koruma/" + name : somewhere(name);
        c.extras.push_back(c.disk.add(respell(path, rng)));
    }
    for (int i = 0, n = static_cast<int>(rng() % 4); i < n; ++i) {
        switch (rng() % 8) {
            case 0:
                addRecord(c, 'D', pick(kGameFolderSpellings, rng));
                break;
            case 1:
                addRecord(c, 'D', looseSpelling(L"koruma", rng));
                break;
            case 2:
                addRecord(c, 'D', L"yok/" + std::wstring(pick(kFolderNames, rng)));
                break;
            default:
                addRecord(c, 'D', looseSpelling(folders[rng() % folders.size()], rng));
                break;
        }
    }
    for (int i = 0, n = static_cast<int>(rng() % 3); i < n; ++i)
        addRecord(c, 'S', respell(pick(kPatterns, rng), rng));
    for (int i = 0, n = static_cast<int>(rng() % 3); i < n; ++i)
        addRecord(c, 'E', pick(kExtensions, rng));
    return c;
}

// What the rules give the clean-up, worked out from the parsed list alone.
bool rulesDelete(const Manifest& m, const std::wstring& key) {
    if (isInProtectionFolder(key)) return false;
    if (key.find(L'/') == std::wstring::npos) {
        size_t dot = key.rfind(L'.');
        if (dot == std::wstring::npos) return false;
        for (const std::wstring& extension : m.rootExtensions)
            if (foldCase(extension) == key.substr(dot)) return true;
        return false;
    }
    for (const std::wstring& pattern : m.keepPatterns)
        if (matchWildcard(pattern, key)) return false;
    for (const std::wstring& folder : m.cleanDirs) {
        std::wstring prefix = pathKey(folder) + L"/";
        if (key.compare(0, prefix.size(), prefix) != 0) continue;
        std::wstring rest = key.substr(prefix.size());
        if (std::count(rest.begin(), rest.end(), L'/') <= 8) return true;
    }
    return false;
}

// Checks one case's deletions; returns their keys.
std::set<std::wstring> checkDeletions(const RandomCase& c, const Manifest& m, const std::vector<std::wstring>& deleted) {
    static const std::wstring launcher = pathKey(kLauncherFileName), game = pathKey(kGameFileName);
    std::set<std::wstring> keys;
    for (const std::wstring& path : deleted) {
        std::wstring key = pathKey(path);
        EXPECT_FALSE(m.pathIndex.count(key)) << "listed: " << path;
        EXPECT_FALSE(isInProtectionFolder(key)) << path;
        EXPECT_NE(key, launcher);
        EXPECT_NE(key, game);
        EXPECT_TRUE(c.disk.isFile(key)) << "not a file on the disk: " << path;
        EXPECT_TRUE(keys.insert(key).second) << "reported twice: " << path;
    }
    for (const std::wstring& extra : c.extras)
        EXPECT_EQ(rulesDelete(m, pathKey(extra)), keys.count(pathKey(extra)) == 1) << extra;
    return keys;
}

}  // namespace

TEST(CleanupGuard, NoRuleSetDeletesAListedOrProtectedFile) {
    std::mt19937 rng(4242);
    int deletions = 0, looseCases = 0;
    for (int i = 0; i < 12000; ++i) {
        RandomCase c = randomCase(rng);
        Manifest m;
        ASSERT_TRUE(parseManifest(c.list, m)) << c.list;
        std::vector<std::wstring> deleted;
        findExtraFiles(c.disk.lister(), m, deleted);
        deletions += static_cast<int>(deleted.size());
        looseCases += c.list.find("D ./") != std::string::npos || c.list.find("/\n") != std::string::npos;
        checkDeletions(c, m, deleted);
        if (HasFailure()) FAIL() << "case " << i << ":\n" << c.list;
    }
    // The property must not hold merely because nothing is ever deleted.
    EXPECT_GT(deletions, 5000);
    EXPECT_GT(looseCases, 1000);
}

TEST(CleanupGuard, TheRealDiskAgreesWithTheModel) {
    std::mt19937 rng(77);
    for (int i = 0; i < 25; ++i) {
        RandomCase c = randomCase(rng);
        TempFolder t;
        for (const auto& [key, path] : c.disk.spelled)
            if (c.disk.isFile(key)) t.write(path, "x");
        Manifest m;
        ASSERT_TRUE(parseManifest(c.list, m));
        std::vector<std::wstring> modelled, found;
        findExtraFiles(c.disk.lister(), m, modelled);
        findExtraFiles(t.path, m, found);
        std::set<std::wstring> onDisk = checkDeletions(c, m, found);
        std::set<std::wstring> inModel;
        for (const std::wstring& path : modelled)
            inModel.insert(pathKey(path));
        EXPECT_EQ(inModel, onDisk) << c.list;
        // Deleted as the run deletes them, every other file is still there.
        for (const std::wstring& path : found)
            EXPECT_TRUE(DeleteFileW(t.file(path).c_str())) << path;
        for (const auto& [key, path] : c.disk.spelled)
            if (c.disk.isFile(key)) {
                EXPECT_EQ(t.exists(path), onDisk.count(key) == 0) << path;
            }
        if (HasFailure()) FAIL() << "case " << i << ":\n" << c.list;
    }
}
