#include "base/system_error.h"

// ntdll's, declared here: not every SDK's winternl.h declares it.
extern "C" ULONG WINAPI RtlNtStatusToDosError(LONG status);

DWORD errorFromStatus(long status) {
    DWORD code = RtlNtStatusToDosError(status);
    return code == 0 || code == ERROR_MR_MID_NOT_FOUND ? ERROR_GEN_FAILURE : code;
}
