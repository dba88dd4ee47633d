// The journal of the ".indir" files a download stage creates, koruma\gecici.txt: written before the
// first of them exists and emptied once the stage has removed them again. A process that ends in the
// middle of a stage (closed while a worker hangs in a receive) leaves it behind, and the next run
// deletes the temp files it names before planning its own, wherever they are in the game folder.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Adds list-relative temp paths (ending in ".indir") to the journal, once each. 0 or the system error;
// without a journal the stage still runs, it only cannot clean up after a crash.
DWORD writeTempJournal(const std::wstring& rootFolder, const std::vector<std::wstring>& relativeTemps);
// Keeps in the journal only the temp files still on disk; removes it when none is.
void closeTempJournal(const std::wstring& rootFolder);
// Deletes the temp files the journal names, keeping only those that cannot be deleted (also those
// reached only through a junction or link) and those `keep` wants (a temp of a file the new list
// still wants, which a patch uses as a seed). Lines that are not ".indir" files at paths the list's
// rules accept, outside "koruma", are dropped untouched. Returns the list-relative paths deleted.
std::vector<std::wstring> removeLeftoverTemps(
    const std::wstring& rootFolder, const std::function<bool(const std::wstring& relativeTemp)>& keep = {});
