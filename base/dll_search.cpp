#include "base/dll_search.h"

#include <delayimp.h>

namespace {

// The helper stores each resolved address in the delay-import address table. lld places that
// table among read-only data (GNU ld keeps it writable), so the slot's page is opened for writing
// before the helper gets there.
void makeSlotWritable(FARPROC* slot) {
    MEMORY_BASIC_INFORMATION page{};
    if (!VirtualQuery(slot, &page, sizeof(page))) return;
    const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (page.Protect & writable) return;
    DWORD previous = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &previous);
}

// The delay-load helper loads with a bare name; this hook loads from the system folder instead,
// so the rule holds even for a library first used before restrictDllSearch has run.
FARPROC WINAPI loadDelayedFromSystemFolder(unsigned notification, PDelayLoadInfo info) {
    if (!info) return nullptr;
    if (notification == dliStartProcessing && info->ppfn) makeSlotWritable(info->ppfn);
    if (notification != dliNotePreLoadLibrary || !info->szDll) return nullptr;
    return reinterpret_cast<FARPROC>(LoadLibraryExA(info->szDll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

}  // namespace

// The runtime's delay-load helper calls this hook before each load. It lives beside
// restrictDllSearch so that linking the entry's call also links the hook.
#if defined(_MSC_VER)
extern "C" const PfnDliHook __pfnDliNotifyHook2 = loadDelayedFromSystemFolder;
#else
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = loadDelayedFromSystemFolder;
}
#endif

void restrictDllSearch() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE loadSystemLibrary(const wchar_t* name) {
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}
