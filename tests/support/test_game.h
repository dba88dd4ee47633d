// The test game client (fixtures\Qorvane.exe beside the test binaries): copying it into a game
// folder and reading the record it writes when it runs.
#pragma once

#include <map>
#include <string>

std::wstring testGamePath();
// Copies the test game into folder\name; false when the fixture is missing.
bool installTestGame(const std::wstring& folder, const std::wstring& name = L"Qorvane.exe");
// Waits up to 15 s for folder\oyun_kaydi.txt, returns its "name=value" lines ("komut", "klasor",
// "belge") and deletes it; empty when the game never ran.
std::map<std::string, std::wstring> waitForGameRecord(const std::wstring& folder);
