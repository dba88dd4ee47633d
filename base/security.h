// Rights for what the programs create that no other account of the PC may change: the game folder
// (which holds programs the player runs) and the publisher's private key; and the judgement of a
// folder that exists already: who owns it, and whether other accounts may change it.
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

// The accounts a game folder may belong to and be changed by: the installing user, Administrators,
// SYSTEM and TrustedInstaller.
bool isTrustedAccount(PSID sid, const std::wstring& userSid);

// Who may change a folder, judged from its security descriptor.
struct FolderTrust {
    bool rightsKept = true;       // the volume keeps rights at all (FAT and exFAT do not)
    bool readable = false;        // owner and DACL could be read
    bool ownerTrusted = false;    // owned by a trusted account
    bool othersMayWrite = false;  // an entry, own or inherited, on the folder or passed on to what it
                                  // holds, lets another account write, append, delete, delete
                                  // children, change rights or take ownership; or there is no DACL
};
// The judgement of a descriptor that holds an owner and a DACL.
FolderTrust judgeDescriptor(PSECURITY_DESCRIPTOR descriptor, const std::wstring& userSid);
// The judgement of the folder at path as the file system keeps it.
FolderTrust readFolderTrust(const std::wstring& path, const std::wstring& userSid);
// Replaces the DACL of an existing folder by the protected one of sddl; what the folder holds gets
// it passed on. 0 or the system error.
DWORD protectFolder(const std::wstring& path, const std::wstring& sddl);
