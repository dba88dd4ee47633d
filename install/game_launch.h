// Starting other executables: the general process starter and the game client with a fresh token
// in "QORVANE_BELGE" and on its command line.
#pragma once

#include <windows.h>

#include <string>

#include "base/system_error.h"

// Failed, with its code, when the game was not started: ERROR_FILE_NOT_FOUND for a missing client,
// ERROR_CANCELLED when the user declined elevation.
SystemError launchGame(HWND ownerWindow, const std::wstring& gameFolder);

// The token's random source: fills the bytes and returns an NTSTATUS (negative on failure).
using RandomBytesFn = long (*)(unsigned char* bytes, unsigned long count);
long systemRandomBytes(unsigned char* bytes, unsigned long count);
// As above with another random source; a failing source means the game is not started and the
// failure comes back as a system error code, like a failed start.
SystemError launchGame(HWND ownerWindow, const std::wstring& gameFolder, RandomBytesFn randomBytes);
