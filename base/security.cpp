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
