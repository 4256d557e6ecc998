// The rights "corvel.dat" is written with: its own protected DACL (system, administrators,
// the writing account), whatever the folder would pass on.
#include "DotDat.h"
#include "StoreTestFiles.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace corvel;
using namespace corvel::testing;

TEST(StoreRights, TheDataFileIsOpenOnlyToSystemAdministratorsAndItsWriter) {
    CTestFolder folder;
    CDotDatSemaphore store(folder.Path().c_str());
    ASSERT_EQ(0u, store.Init());
    ASSERT_EQ(0u, store.SetVpnConfig(2, VPNCONFIG::Default(2).ToBytes().data()));

    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring path = folder.File(kDataFileName);
    ASSERT_EQ(DWORD(ERROR_SUCCESS),
              ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                      nullptr, &dacl, nullptr, &descriptor));
    auto freeDescriptor = MakeScopeExit([&] { ::LocalFree(descriptor); });
    wchar_t* text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    const std::wstring sddl = text;
    ::LocalFree(text);
    std::printf("corvel.dat rights: %ls\n", sddl.c_str());
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
    if (!(control & SE_DACL_PROTECTED) && sddl.find(L"(A;;FA;;;OW)") == std::wstring::npos)
        GTEST_SKIP() << "this file system keeps no security descriptors";
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    ASSERT_NE(nullptr, dacl);
    EXPECT_EQ(3, dacl->AceCount);
    for (const wchar_t* ace : {L"(A;;FA;;;SY)", L"(A;;FA;;;BA)", L"(A;;FA;;;OW)"})
        EXPECT_NE(std::wstring::npos, sddl.find(ace)) << std::string(ace, ace + std::wcslen(ace));
}
