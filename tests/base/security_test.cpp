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

namespace {

FolderTrust judged(const std::wstring& sddl, const std::wstring& user) {
    UniqueLocal descriptor = securityDescriptorFrom(sddl);
    EXPECT_TRUE(descriptor) << toUtf8(sddl);
    return judgeDescriptor(descriptor.get(), user);
}

}  // namespace

// Wine keeps no owner but the current user and makes DACLs up from Unix modes, so the judgement is
// shown on descriptors built in memory, the way Windows hands them over.
TEST(FolderTrust, OwnerAndEveryEntryThatLetsOthersChangeTheFolder) {
    const std::wstring user = L"S-1-5-21-1111-2222-3333-1001";
    const std::wstring other = L"S-1-5-21-1111-2222-3333-1002";
    const std::wstring own = L"(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    const struct {
        const char* what;
        std::wstring sddl;
        bool ownerTrusted;
        bool othersMayWrite;
    } cases[] = {
        {"made by the installer", L"O:" + user + L"D:P" + own + L"(A;OICI;0x1200a9;;;BU)", true, false},
        {"owned by Administrators", L"O:BAD:P" + own, true, false},
        {"owned by SYSTEM", L"O:SYD:P" + own, true, false},
        {"owned by TrustedInstaller",
         L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:P" + own, true, false},
        {"owned by another account", L"O:" + other + L"D:P" + own, false, false},
        {"owned by Users", L"O:BUD:P" + own, false, false},
        {"no owner", L"D:P" + own, false, false},
        {"second drive: Authenticated Users may modify, inherited",
         L"O:" + user + L"D:AI" + own + L"(A;OICIID;0x1301bf;;;AU)", true, true},
        {"Users may add files", L"O:" + user + L"D:P" + own + L"(A;OICI;0x1200af;;;BU)", true, true},
        {"Everyone may append", L"O:" + user + L"D:P" + own + L"(A;;0x1200ad;;;WD)", true, true},
        {"another account may delete children",
         L"O:" + user + L"D:P" + own + L"(A;;0x1200e9;;;" + other + L")", true, true},
        {"Interactive may change the rights", L"O:" + user + L"D:P" + own + L"(A;;0x1600a9;;;IU)", true,
         true},
        {"Everyone may take ownership", L"O:" + user + L"D:P" + own + L"(A;;0x1a00a9;;;WD)", true, true},
        {"only what the folder holds may be written", L"O:" + user + L"D:P" + own + L"(A;OICIIO;GA;;;BU)",
         true, true},
        {"another account may delete", L"O:" + user + L"D:P" + own + L"(A;;SD;;;" + other + L")", true, true},
        {"Everyone reads and runs", L"O:" + user + L"D:P" + own + L"(A;OICI;0x1200a9;;;WD)", true, false},
        {"Users may only set attributes", L"O:" + user + L"D:P" + own + L"(A;;0x100;;;BU)", true, false},
        {"the creator owner of what is inside", L"O:" + user + L"D:P" + own + L"(A;OICIIO;FA;;;CO)", true,
         false},
        {"others denied, not allowed", L"O:" + user + L"D:P" + own + L"(D;OICI;FA;;;WD)", true, false},
    };
    for (const auto& c : cases) {
        const FolderTrust trust = judged(c.sddl, user);
        EXPECT_TRUE(trust.readable) << c.what;
        EXPECT_EQ(trust.ownerTrusted, c.ownerTrusted) << c.what;
        EXPECT_EQ(trust.othersMayWrite, c.othersMayWrite) << c.what;
    }

    // No DACL at all grants everyone everything. (Wine's SDDL parser makes "D:NO_ACCESS_CONTROL" an
    // empty DACL, which grants nothing, so this one is built by hand.)
    SECURITY_DESCRIPTOR open{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    UniqueLocal owner = securityDescriptorFrom(L"O:BA");
    PSID ownerSid = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(owner.get(), &ownerSid, &defaulted));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&open, ownerSid, FALSE));
    const FolderTrust trust = judgeDescriptor(&open, user);
    EXPECT_TRUE(trust.ownerTrusted);
    EXPECT_TRUE(trust.othersMayWrite);
}

// On the disk: a folder every account may write is found so and loses that by protectFolder. Wine
// maps the rights onto the Unix mode, which is enough to show both.
TEST(FolderTrust, AFolderOthersMayWriteIsFoundAndProtected) {
    TempFolder temp;
    const std::wstring user = currentUserSid();
    const std::wstring folder = temp.file(L"Oyun");
    ASSERT_EQ(createFolderWithRights(folder, privateFolderSddl(user)), 0u);
    EXPECT_FALSE(readFolderTrust(folder, user).othersMayWrite) << toUtf8(daclOf(folder));
    ASSERT_EQ(protectFolder(folder, L"D:P(A;OICI;FA;;;WD)(A;OICI;FA;;;" + user + L")"), 0u);
    FolderTrust open = readFolderTrust(folder, user);
    ASSERT_TRUE(open.readable);
    EXPECT_TRUE(open.ownerTrusted);
    EXPECT_TRUE(open.othersMayWrite) << toUtf8(daclOf(folder));
    ASSERT_EQ(protectFolder(folder, privateFolderSddl(user)), 0u);
    EXPECT_FALSE(readFolderTrust(folder, user).othersMayWrite) << toUtf8(daclOf(folder));
    EXPECT_NE(protectFolder(temp.file(L"Yok"), privateFolderSddl(user)), 0u);
}
