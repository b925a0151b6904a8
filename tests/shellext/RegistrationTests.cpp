// Registration through the platform's regsvr32, checked key by key in the registry.
#include "ShellTestSupport.h"

#include <gtest/gtest.h>

using namespace shelltest;

namespace {

const std::wstring kHandlers = L"*\\ShellEx\\ContextMenuHandlers";

std::wstring ClsidKey() {
    return std::wstring(L"CLSID\\") + kClsidText;
}
std::wstring ProgId() {
    return std::wstring(kModuleName) + L"." + kClassName;
}

class MachineRegistration : public ::testing::Test {
protected:
    void TearDown() override { RunRegsvr32(L"/s /u"); }
};

TEST_F(MachineRegistration, WritesClassProgIdAppIdTypeLibAndHandlerKeys) {
    ASSERT_EQ(RunRegsvr32(L"/s"), 0u);
    const std::wstring classText = std::wstring(kClassName) + L" Class";
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ClsidKey()), classText);
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ClsidKey() + L"\\ProgID"), ProgId() + L".1");
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ClsidKey() + L"\\VersionIndependentProgID"), ProgId());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ClsidKey() + L"\\Programmable"));
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ClsidKey() + L"\\InprocServer32"), ModulePath());
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ClsidKey() + L"\\InprocServer32", L"ThreadingModel"),
              L"Apartment");
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ClsidKey() + L"\\TypeLib"), kLibIdText);

    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ProgId() + L".1"), classText);
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ProgId() + L".1\\CLSID"), kClsidText);
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ProgId()), classText);
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ProgId() + L"\\CLSID"), kClsidText);
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ProgId() + L"\\CurVer"), ProgId() + L".1");

    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, std::wstring(L"AppID\\") + kAppIdText), kModuleName);
    EXPECT_EQ(
        ReadValue(HKEY_CLASSES_ROOT, std::wstring(L"AppID\\") + kModuleName + L".DLL", L"AppID"),
        kAppIdText);

    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, kHandlers + L"\\" + kClassName), kClsidText);
    const std::wstring typeLib = std::wstring(L"TypeLib\\") + kLibIdText + L"\\1.0";
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, typeLib),
              std::wstring(kModuleName) + L" 1.0 Type Library");
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, typeLib + L"\\409\\win64"), ModulePath());
}

TEST_F(MachineRegistration, RegisteringTwiceLeavesOneHandlerAndUnregisteringKeepsSharedKeys) {
    ASSERT_EQ(RunRegsvr32(L"/s"), 0u);
    ASSERT_EQ(RunRegsvr32(L"/s"), 0u);
    int ours = 0;
    for (const auto& name : SubKeys(HKEY_CLASSES_ROOT, kHandlers))
        if (_wcsicmp(name.c_str(), kClassName) == 0) ++ours;
    EXPECT_EQ(ours, 1);
    EXPECT_TRUE(SubKeys(HKEY_CLASSES_ROOT, kHandlers + L"\\" + kClassName).empty());

    ASSERT_EQ(RunRegsvr32(L"/s /u"), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClsidKey()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ProgId()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ProgId() + L".1"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"AppID\\") + kAppIdText));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"AppID\\") + kModuleName + L".DLL"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlers + L"\\" + kClassName));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kLibIdText));
    for (const wchar_t* kept :
         {L"*", L"*\\ShellEx", L"*\\ShellEx\\ContextMenuHandlers", L"CLSID", L"AppID"})
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kept)) << kept;
}

TEST(RegistrationFailures, AModuleThatIsNoServerIsRefused) {
    // regsvr32 reports a load failure as 3: nothing of ours is involved, but it proves the
    // tool's codes reach the tests, so the zero results above mean success.
    EXPECT_EQ(RunRegsvr32(L"/s", L"C:\\no\\such\\module.dll"), 3u);
}

class PerUserRegistration : public ::testing::Test {
protected:
    void TearDown() override {
        RunRegsvr32(L"/s /u /n /i:user");
        RunRegsvr32(L"/s /u");
    }
    static std::wstring UserClasses(const std::wstring& path) {
        return L"Software\\Classes\\" + path;
    }
    void ExpectOnlyPerUser() {
        EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, UserClasses(ClsidKey() + L"\\InprocServer32")),
                  ModulePath());
        EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, UserClasses(kHandlers + L"\\" + kClassName)),
                  kClsidText);
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, UserClasses(ProgId())));
        EXPECT_TRUE(
            KeyExists(HKEY_CURRENT_USER, UserClasses(std::wstring(L"AppID\\") + kAppIdText)));
        EXPECT_TRUE(
            KeyExists(HKEY_CURRENT_USER, UserClasses(std::wstring(L"TypeLib\\") + kLibIdText)));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UserClasses(ClsidKey())));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UserClasses(kHandlers + L"\\" + kClassName)));
        EXPECT_FALSE(
            KeyExists(HKEY_LOCAL_MACHINE, UserClasses(std::wstring(L"TypeLib\\") + kLibIdText)));
    }
};

TEST_F(PerUserRegistration, UserWritesOnlyBelowCurrentUserClasses) {
    ASSERT_EQ(RunRegsvr32(L"/s /n /i:user"), 0u);
    ExpectOnlyPerUser();
    ASSERT_EQ(RunRegsvr32(L"/s /u /n /i:user"), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UserClasses(ClsidKey())));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UserClasses(kHandlers + L"\\" + kClassName)));
    EXPECT_FALSE(
        KeyExists(HKEY_CURRENT_USER, UserClasses(std::wstring(L"TypeLib\\") + kLibIdText)));
}

TEST_F(PerUserRegistration, TheSwitchIgnoresLetterCaseButNeedsTheWholeWord) {
    ASSERT_EQ(RunRegsvr32(L"/s /n /i:USER"), 0u);
    ExpectOnlyPerUser();
    ASSERT_EQ(RunRegsvr32(L"/s /u /n /i:USER"), 0u);

    ASSERT_EQ(RunRegsvr32(L"/s /n /i:username"), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UserClasses(ClsidKey())));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UserClasses(ClsidKey())));
}

} // namespace
