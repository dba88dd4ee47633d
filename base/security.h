// Rights for what the programs create that no other account of the PC may change: the game folder
// (which holds programs the player runs) and the publisher's private key.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles.h"

// The account the process runs as, as a SID string ("S-1-5-21-..."); empty when it cannot be read.
std::wstring currentUserSid();

// Full control for the current user, SYSTEM and Administrators, read and execute for Users, passed
// on to everything inside; nothing inherited from the parent folder.
std::wstring privateFolderSddl(const std::wstring& userSid);
// Full control for the current user alone; nothing inherited.
std::wstring ownerOnlySddl(const std::wstring& userSid);

// A security descriptor made from SDDL text; empty (false) when the text is not valid.
UniqueLocal securityDescriptorFrom(const std::wstring& sddl);

// Creates one folder (not its parents) with the given descriptor. 0, or the system error;
// ERROR_ALREADY_EXISTS when the folder was there: its rights are left as they are.
DWORD createFolderWithRights(const std::wstring& path, const std::wstring& sddl);

// The DACL of path as SDDL text, for checking what the file system kept; empty when unreadable.
std::wstring daclOf(const std::wstring& path);
