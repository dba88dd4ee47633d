#include "base/security.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include "base/text.h"
#include "tests/support/temp_folder.h"

namespace {

// The descriptor the programs hand to the system, read back without a file system in between.
std::wstring roundTrip(const std::wstring& sddl) {
    UniqueLocal descriptor = securityDescriptorFrom(sddl);
    if (!descriptor) return L"(invalid)";
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.get(), SDDL_REVISION_1,
                                                               DACL_SECURITY_INFORMATION, &text, nullptr))
        return L"(unreadable)";
    UniqueLocal owned(text);
    return text;
}

TEST(Security, DescriptorsGrantWhatTheyShouldAndInheritNothing) {
    const std::wstring user = currentUserSid();
    ASSERT_EQ(user.rfind(L"S-1-", 0), 0u) << toUtf8(user);
    // Protected ("P"): the parent's entries, such as the drive root's Modify for every signed-in
    // user, do not flow in. Users read and execute (0x1200a9) and nothing more.
    EXPECT_EQ(roundTrip(privateFolderSddl(user)),
              L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
    EXPECT_EQ(roundTrip(ownerOnlySddl(user)), L"D:P(A;;FA;;;" + user + L")");
    EXPECT_FALSE(securityDescriptorFrom(L"D:P(A;;FA;;;nobody-at-all)"));
}

TEST(Security, FolderCreatedWithRightsAndAnExistingOneLeftAlone) {
    TempFolder temp;
    const std::wstring sddl = privateFolderSddl(currentUserSid());
    const std::wstring folder = temp.file(L"Qorvane");
    ASSERT_EQ(createFolderWithRights(folder, sddl), 0u);
    EXPECT_EQ(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    // Wine answers with a DACL of its own making whatever was set, so the stored one can only be
    // compared where the system keeps it.
    const std::wstring stored = daclOf(folder);
    EXPECT_FALSE(stored.empty());
    if (stored.rfind(L"D:P", 0) == 0) {
        EXPECT_EQ(stored, sddl);
    }

    temp.write(L"Var/icerik.txt", "x");
    const std::wstring before = daclOf(temp.file(L"Var"));
    EXPECT_EQ(createFolderWithRights(temp.file(L"Var"), sddl), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(daclOf(temp.file(L"Var")), before);
    EXPECT_EQ(temp.read(L"Var/icerik.txt"), "x");

    EXPECT_EQ(createFolderWithRights(temp.file(L"Yok/Alt"), sddl), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
