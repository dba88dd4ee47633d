// What the publisher checks about the launcher a game folder carries: the one top-level name that
// players' launchers replace themselves from, files merely named like it, and whether the file
// carries an Authenticode signature at all (its validity is Windows' business at run time).
#pragma once

#include <string>
#include <string_view>

// A top-level file named "Qorvane Launcher*.exe" in any letter case that is not the launcher itself
// ("Qorvane Launcher-imzasiz.exe", "Qorvane Launcher (2).exe"): published, it would be an ordinary
// game file that no launcher runs and no rule removes.
bool isLauncherLookalike(std::wstring_view relativePath);

enum class CodeSignature { Present, Absent, Unreadable };
// Present when the program's header names a certificate table (where Authenticode signatures live).
CodeSignature codeSignatureOf(const std::wstring& path);
