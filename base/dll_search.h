// Where the process may load system libraries from: only the system folder, never the folder the
// executable lies in (a download folder may hold anything beside it).
#pragma once

#include <windows.h>

// The first call of both programs' entries. Every later LoadLibrary without a path, and every
// delay-loaded library, then comes from the system folder alone.
void restrictDllSearch();

// A system library by name, from the system folder only; null when it is not there.
HMODULE loadSystemLibrary(const wchar_t* name);
