// The journal of a download stage's temp files: what a process ended in the middle of a stage left
// behind is removed by the next run, wherever it is, and nothing the journal merely names is.
#include "protocol/temp_journal.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "tests/support/temp_folder.h"

namespace {

const wchar_t kJournal[] = L"koruma/gecici.txt";

}  // namespace

TEST(TempJournal, LeftoverTempFilesGoWhereverTheyAre) {
    TempFolder t;
    t.write(L"a.bin.indir", std::string(4096, '\0'));
    t.write(L"outside/every/rule/\u015fehir x.epk.indir", "x");
    t.write(L"readonly.bin.indir", "x");
    SetFileAttributesW(t.file(L"readonly.bin.indir").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(writeTempJournal(t.path, {L"a.bin.indir", L"outside/every/rule/\u015fehir x.epk.indir"}), 0u);
    ASSERT_EQ(writeTempJournal(t.path, {L"readonly.bin.indir", L"never/created.bin.indir"}), 0u);

    std::vector<std::wstring> removed = removeLeftoverTemps(t.path);
    EXPECT_EQ((std::vector<std::wstring>{L"a.bin.indir", L"outside/every/rule/\u015fehir x.epk.indir",
                                         L"readonly.bin.indir"}),
              removed);
    EXPECT_FALSE(t.exists(L"a.bin.indir"));
    EXPECT_FALSE(t.exists(L"outside/every/rule/\u015fehir x.epk.indir"));
    EXPECT_FALSE(t.exists(L"readonly.bin.indir"));
    EXPECT_FALSE(t.exists(kJournal));
    EXPECT_TRUE(removeLeftoverTemps(t.path).empty());  // no journal, nothing to do
}

// The journal is a file in the user's folder: a line that is no temp file the launcher could have
// made is never acted on, whatever it names.
TEST(TempJournal, LinesThatAreNoTempFileOfTheGameAreNeverActedOn) {
    TempFolder outside;
    outside.write(L"precious.indir", "user data");
    TempFolder t;
    for (const wchar_t* file : {L"game.bin", L"koruma/onbellek.txt.indir", L"pack/x.INDIR.bak", L"Qorvane.exe"})
        t.write(file, "keep");
    std::string lines = "game.bin\nkoruma/onbellek.txt.indir\nKORUMA\\onbellek.txt.indir\npack/x.INDIR.bak\n"
                        "../outside.indir\nC:\\precious.indir\n/precious.indir\n.indir\n\n";
    t.write(kJournal, lines + toUtf8(outside.file(L"precious.indir")) + "\n");
    EXPECT_TRUE(removeLeftoverTemps(t.path).empty());
    for (const wchar_t* file : {L"game.bin", L"koruma/onbellek.txt.indir", L"pack/x.INDIR.bak", L"Qorvane.exe"})
        EXPECT_EQ(t.read(file), "keep") << file;
    EXPECT_EQ(outside.read(L"precious.indir"), "user data");
    EXPECT_FALSE(t.exists(kJournal));
}

TEST(TempJournal, WhatCannotBeDeletedStaysJournalledForTheNextRun) {
    TempFolder t;
    t.write(L"held.bin.indir", "x");
    t.write(L"free.bin.indir", "x");
    ASSERT_EQ(writeTempJournal(t.path, {L"held.bin.indir", L"free.bin.indir"}), 0u);
    HANDLE held = CreateFileW(t.file(L"held.bin.indir").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(removeLeftoverTemps(t.path), std::vector<std::wstring>{L"free.bin.indir"});
    // A stage that ends normally keeps the entries of files still on disk, and only those.
    closeTempJournal(t.path);
    EXPECT_EQ(t.read(kJournal), "held.bin.indir\n");
    CloseHandle(held);
    EXPECT_EQ(removeLeftoverTemps(t.path), std::vector<std::wstring>{L"held.bin.indir"});
    EXPECT_FALSE(t.exists(kJournal));

    // Closing a journal whose files are all gone removes it.
    ASSERT_EQ(writeTempJournal(t.path, {L"gone.bin.indir"}), 0u);
    closeTempJournal(t.path);
    EXPECT_FALSE(t.exists(kJournal));
}

// A temp of a file the new list still wants stays for the patch that uses it, journalled once;
// the others go as before.
TEST(TempJournal, TempsTheListStillWantsStay) {
    TempFolder t;
    t.write(L"pack/big.epk.indir", std::string(5000, 'a'));
    t.write(L"pack/gone.epk.indir", "x");
    ASSERT_EQ(writeTempJournal(t.path, {L"pack/big.epk.indir", L"pack/gone.epk.indir"}), 0u);
    auto wanted = [](const std::wstring& relative) { return relative == L"pack/big.epk.indir"; };
    EXPECT_EQ(removeLeftoverTemps(t.path, wanted), std::vector<std::wstring>{L"pack/gone.epk.indir"});
    EXPECT_EQ(t.read(L"pack/big.epk.indir"), std::string(5000, 'a'));
    EXPECT_EQ(t.read(kJournal), "pack/big.epk.indir\n");
    ASSERT_EQ(writeTempJournal(t.path, {L"PACK/big.epk.indir", L"data/new.bin.indir"}), 0u);
    EXPECT_EQ(t.read(kJournal), "pack/big.epk.indir\ndata/new.bin.indir\n");
    EXPECT_EQ(removeLeftoverTemps(t.path), std::vector<std::wstring>{L"pack/big.epk.indir"});
}
