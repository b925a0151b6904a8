// The installer where a user's machine gets in its way: a file it cannot write, a module
// that is gone, a second setup at the same time, an older setup over a newer copy. Each
// leaves the installed copy as it was, or removes all of it, and says so in its exit code.
#include "InstallerSupport.h"

#include <fstream>

using namespace installer_test;

namespace {

// A scanner holds the installed client while an upgrade runs: the upgrade fails before it
// touches the module, so the registered path still names a module and the menu item still
// starts the installed client.
TEST_F(Installer, FailedUpgradeLeavesTheInstalledCopyWorking) {
    ASSERT_EQ(InstallSilently(), 0u);
    const std::string marker = "old build";
    std::ofstream(Installed(kModule).c_str(), std::ios::binary | std::ios::app) << marker;
    const std::string oldModule = Bytes(Installed(kModule));
    {
        HeldFile held(Installed(L"LumexiaClient.exe"));
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(InstallSilently(), 2u);
    }
    const std::wstring registered = Text(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32");
    EXPECT_EQ(registered, Installed(kModule));
    EXPECT_TRUE(Bytes(registered) == oldModule);
    EXPECT_TRUE(MenuItemStartsInstalledClient());
}

// A module deleted by hand (or one that no longer loads) cannot unregister itself; the
// uninstall removes its keys all the same.
TEST_F(Installer, UninstallWithoutTheModuleLeavesNoKeyOfTheExtension) {
    ASSERT_EQ(InstallSilently(), 0u);
    for (const std::wstring& key : ExtensionKeys())
        ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, key)) << key;
    ASSERT_TRUE(::DeleteFileW(Installed(kModule).c_str()));

    EXPECT_EQ(UninstallSilently(), 0u);
    for (const std::wstring& key : ExtensionKeys())
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key)) << key;
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\AppID"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kHandlers));
    EXPECT_TRUE(Gone(InstallDir()));
}

// While one setup shows its pages, a second one ends at once (1) and changes nothing; a
// silent setup of this version over a newer installed one changes nothing either (5).
TEST_F(Installer, SecondSetupAndSilentDowngradeChangeNothing) {
    uidriver::Process first;
    ASSERT_TRUE(first.Start(uidriver::ProgramFolder() + L"LumexiaSetup-x64.exe", SetupCommand()));
    ASSERT_NE(uidriver::WaitForDialog(1, first.Id(), kWait), nullptr);
    EXPECT_EQ(InstallSilently(), 1u);
    EXPECT_FALSE(Exists(InstallDir()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    first.Kill();

    ASSERT_EQ(InstallSilently(), 0u);
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kUninstallKey, L"DisplayVersion", REG_SZ, L"99.0.0",
                      sizeof L"99.0.0");
    std::ofstream(Installed(L"LumexiaClient.exe").c_str(), std::ios::binary | std::ios::app)
        << "newer build";
    const std::string newer = Bytes(Installed(L"LumexiaClient.exe"));
    EXPECT_EQ(InstallSilently(), 5u);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"DisplayVersion"), L"99.0.0");
    EXPECT_TRUE(Bytes(Installed(L"LumexiaClient.exe")) == newer);
}

} // namespace
