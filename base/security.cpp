#include "base/security.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>

std::wstring currentUserSid() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return {};
    UniqueKernelHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[size]);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.get(), size, &size)) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text)) return {};
    UniqueLocal owned(text);
    return text;
}

std::wstring privateFolderSddl(const std::wstring& userSid) {
    // "P": protected, so the drive root's "Authenticated Users: Modify" does not flow in.
    // 0x1200a9 is FILE_GENERIC_READ | FILE_GENERIC_EXECUTE.
    return L"D:P(A;OICI;FA;;;" + userSid + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
}

std::wstring ownerOnlySddl(const std::wstring& userSid) {
    return L"D:P(A;;FA;;;" + userSid + L")";
}

UniqueLocal securityDescriptorFrom(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return UniqueLocal();
    return UniqueLocal(descriptor);
}

DWORD createFolderWithRights(const std::wstring& path, const std::wstring& sddl) {
    UniqueLocal descriptor = securityDescriptorFrom(sddl);
    if (!descriptor) return GetLastError() ? GetLastError() : ERROR_INVALID_PARAMETER;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    if (CreateDirectoryW(path.c_str(), &attributes)) return 0;
    return GetLastError();
}

std::wstring daclOf(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    UniqueLocal owned(descriptor);
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr))
        return {};
    UniqueLocal ownedText(text);
    return text;
}

namespace {

// TrustedInstaller, the service that owns the system's own files.
constexpr wchar_t kTrustedInstallerSid[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

std::wstring sidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!sid || !IsValidSid(sid) || !ConvertSidToStringSidW(sid, &text)) return {};
    UniqueLocal owned(text);
    return text;
}

// The rights that let an account change a folder or what it holds.
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                                        WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool sidIs(PSID sid, const wchar_t* text) {
    return sidText(sid) == text;
}

}  // namespace

bool isTrustedAccount(PSID sid, const std::wstring& userSid) {
    const std::wstring text = sidText(sid);
    return !text.empty() && (text == userSid || text == L"S-1-5-32-544" || text == L"S-1-5-18" ||
                             text == kTrustedInstallerSid);
}

FolderTrust judgeDescriptor(PSECURITY_DESCRIPTOR descriptor, const std::wstring& userSid) {
    FolderTrust trust;
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE, present = FALSE, daclDefaulted = FALSE;
    PACL dacl = nullptr;
    if (!descriptor || !GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &daclDefaulted))
        return trust;
    trust.readable = true;
    trust.ownerTrusted = owner && isTrustedAccount(owner, userSid);
    // No DACL at all grants everyone everything.
    if (!present || !dacl) {
        trust.othersMayWrite = true;
        return trust;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) {
            trust.othersMayWrite = true;
            return trust;
        }
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE)
            continue;
        const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        if (!(allowed->Mask & kChangingRights)) continue;
        // Entries of other shapes (object entries) name their account elsewhere: judged unsafe.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE &&
            header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) {
            trust.othersMayWrite = true;
            continue;
        }
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        // Inherit-only entries count too: they are what the files inside get. CREATOR OWNER and OWNER
        // RIGHTS stand for the owner, judged above.
        if (isTrustedAccount(sid, userSid) || sidIs(sid, L"S-1-3-0") || sidIs(sid, L"S-1-3-4")) continue;
        trust.othersMayWrite = true;
    }
    return trust;
}

FolderTrust readFolderTrust(const std::wstring& path, const std::wstring& userSid) {
    FolderTrust trust;
    wchar_t volume[MAX_PATH + 1] = {};
    DWORD flags = 0;
    if (GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1) &&
        GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
        !(flags & FILE_PERSISTENT_ACLS)) {
        trust.rightsKept = false;
        trust.othersMayWrite = true;
        return trust;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return trust;
    UniqueLocal owned(descriptor);
    return judgeDescriptor(descriptor, userSid);
}

DWORD protectFolder(const std::wstring& path, const std::wstring& sddl) {
    UniqueLocal descriptor = securityDescriptorFrom(sddl);
    if (!descriptor) return ERROR_INVALID_PARAMETER;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) || !present)
        return ERROR_INVALID_PARAMETER;
    // The named form, not the handle form: it passes the new entries on to everything inside.
    return SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, dacl, nullptr);
}
