// The x64 installer and its uninstaller, run silently as a user's script would run them,
// checked in the file system and the registry: install, menu item, upgrades, refusal while
// the client runs, uninstall. Every test starts and ends with no copy installed; they
// share the prefix's per-user keys, so they run one at a time.
#include "InstallerSupport.h"
#include "TestSupport.h"

#include <shlobj.h>
#include <wrl/client.h>

#include <fstream>

using Microsoft::WRL::ComPtr;
using namespace installer_test;

namespace {

TEST_F(Installer, SilentInstallPutsFilesKeysEntryAndShortcutForThisUserOnly) {
    ASSERT_EQ(InstallSilently(), 0u);
    const std::wstring bin = uidriver::ProgramFolder();
    EXPECT_TRUE(Bytes(Installed(L"LumexiaClient.exe")) == Bytes(bin + L"LumexiaClient.exe"));
    EXPECT_TRUE(Bytes(Installed(kModule)) == Bytes(bin + kModule));
    EXPECT_TRUE(Exists(Installed(L"uninstall.exe")));

    EXPECT_EQ(Text(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32"), Installed(kModule));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, std::wstring(kHandlers) + L"\\Lumexia64ShlExt"), kClsid);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kHandlers) + L"\\Lumexia64ShlExt"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kTypeLibKey));

    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"DisplayName"), L"Лумексия");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"DisplayVersion"), LUMEXIA_VERSION);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"Publisher"), L"Lumexia");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation"), InstallDir());
    const std::wstring uninstaller = L"\"" + Installed(L"uninstall.exe") + L"\"";
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"), uninstaller);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"QuietUninstallString"),
              uninstaller + L" /S _?=" + InstallDir());
    const DWORD payloadKb = static_cast<DWORD>(
        (Bytes(bin + L"LumexiaClient.exe").size() + Bytes(bin + kModule).size()) / 1024);
    const DWORD sizeKb = Number(HKEY_CURRENT_USER, kUninstallKey, L"EstimatedSize");
    EXPECT_GE(sizeKb, payloadKb);
    EXPECT_LT(sizeKb, payloadKb + 1024);
    EXPECT_EQ(Number(HKEY_CURRENT_USER, kUninstallKey, L"NoModify"), 1u);
    EXPECT_EQ(Number(HKEY_CURRENT_USER, kUninstallKey, L"NoRepair"), 1u);

    ASSERT_HRESULT_SUCCEEDED(::CoInitialize(nullptr));
    {
        ComPtr<IShellLinkW> link;
        ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_PPV_ARGS(&link)));
        ComPtr<IPersistFile> file;
        ASSERT_HRESULT_SUCCEEDED(link.As(&file));
        ASSERT_HRESULT_SUCCEEDED(file->Load(Shortcut().c_str(), STGM_READ));
        wchar_t target[MAX_PATH] = {};
        ASSERT_HRESULT_SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, 0));
        EXPECT_EQ(_wcsicmp(target, Installed(L"LumexiaClient.exe").c_str()), 0) << target;
    }
    ::CoUninitialize();
}

TEST_F(Installer, SetupCarriesTheProjectVersion) {
    const std::wstring path = uidriver::ProgramFolder() + L"LumexiaSetup-x64.exe";
    const std::string block = testing_support::VersionResource(path);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(testing_support::FixedVersionText(block, true), LUMEXIA_VERSION);
}

TEST_F(Installer, InstalledMenuItemStartsTheInstalledClientWithTheSelection) {
    ASSERT_EQ(InstallSilently(), 0u);
    EXPECT_TRUE(MenuItemStartsInstalledClient());
}

TEST_F(Installer, UpgradeOverALoadedExtensionRenamesItAsideAndKeepsOneRegistration) {
    ASSERT_EQ(InstallSilently(), 0u);
    // The installed module is made recognisable, then held the way Explorer holds it.
    const std::string marker = "old build";
    const std::string oldBytes = Bytes(Installed(kModule)) + marker;
    std::ofstream(Installed(kModule).c_str(), std::ios::binary | std::ios::app) << marker;
    HMODULE held = ::LoadLibraryW(Installed(kModule).c_str());
    ASSERT_NE(held, nullptr);

    ASSERT_EQ(InstallSilently(), 0u);
    EXPECT_TRUE(Bytes(Installed(kModule)) == Bytes(uidriver::ProgramFolder() + kModule));
    EXPECT_TRUE(Bytes(Installed(std::wstring(kModule) + L".old1")) == oldBytes);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32"), Installed(kModule));
    HKEY handlers = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kHandlers, 0, KEY_READ, &handlers), ERROR_SUCCESS);
    int ours = 0;
    wchar_t name[256];
    for (DWORD i = 0, n = 256; ::RegEnumKeyExW(handlers, i, name, &n, nullptr, nullptr, nullptr,
                                               nullptr) == ERROR_SUCCESS;
         ++i, n = 256)
        if (Text(handlers, name) == kClsid) ++ours;
    ::RegCloseKey(handlers);
    EXPECT_EQ(ours, 1);
    // While the leftover is held, a logon-time clean-up of this folder is left for it: the
    // installed uninstaller, windowless, the folder taken literally.
    const std::vector<std::wstring> cleanups = CleanupValues();
    ASSERT_EQ(cleanups.size(), 1u);
    const std::wstring command = Text(HKEY_CURRENT_USER, kRunOnceKey, cleanups[0].c_str());
    EXPECT_EQ(command, L"\"" + Installed(L"uninstall.exe") + L"\" /S /SWEEP _?=" + InstallDir());

    // Logon runs (and removes) the value once the module is free.
    ::FreeLibrary(held);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunOnceKey, cleanups[0].c_str());
    EXPECT_EQ(RunToEnd(command), 0u);
    EXPECT_FALSE(Exists(Installed(std::wstring(kModule) + L".old1")));
    EXPECT_TRUE(Exists(Installed(kModule)));
    EXPECT_TRUE(Exists(Installed(L"uninstall.exe")));
    EXPECT_TRUE(CleanupValues().empty());

    // Uninstalled while the module is held: the folder keeps only the module, and the
    // logon clean-up (the uninstaller's copy outside the folder) removes both.
    held = ::LoadLibraryW(Installed(kModule).c_str());
    ASSERT_NE(held, nullptr);
    ASSERT_EQ(UninstallSilently(), 0u);
    ASSERT_TRUE(Gone(Installed(L"uninstall.exe")));
    EXPECT_TRUE(Exists(Installed(std::wstring(kModule) + L".old1")));
    ASSERT_TRUE(uidriver::WaitUntil([] { return CleanupValues().size() == 1; }, kWait));
    const std::wstring value = CleanupValues()[0];
    const std::wstring sweep = Text(HKEY_CURRENT_USER, kRunOnceKey, value.c_str());
    const std::wstring folder = L" /S /SWEEP _?=" + InstallDir();
    ASSERT_GT(sweep.size(), folder.size());
    EXPECT_EQ(sweep.substr(sweep.size() - folder.size()), folder);
    EXPECT_EQ(sweep.find(InstallDir() + L"\\"), std::wstring::npos) << sweep;
    ::FreeLibrary(held);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunOnceKey, value.c_str());
    EXPECT_EQ(RunToEnd(sweep), 0u);
    EXPECT_FALSE(Exists(InstallDir()));
    EXPECT_TRUE(CleanupValues().empty());
}

TEST_F(Installer, UpgradeIntoAnotherFolderRemovesTheCopyInTheOldOneOrStops) {
    const std::wstring other = OtherDir();
    ASSERT_EQ(RunToEnd(SetupCommand() + L" /S /D=" + other), 0u);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32"), other + L"\\" + kModule);

    // The earlier copy's uninstaller fails (its client cannot be deleted): the upgrade
    // stops with that copy as it was, uninstaller included, and writes nothing.
    {
        HeldFile held(other + L"\\LumexiaClient.exe");
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(RunToEnd(SetupCommand() + L" /S /D=" + InstallDir()), 2u);
    }
    EXPECT_TRUE(Exists(other + L"\\uninstall.exe"));
    EXPECT_TRUE(Exists(other + L"\\" + kModule));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation"), other);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32"), other + L"\\" + kModule);
    EXPECT_FALSE(Exists(Installed(L"LumexiaClient.exe")));

    ASSERT_EQ(InstallSilently(), 0u); // without /D an upgrade goes where the copy is
    EXPECT_FALSE(Exists(InstallDir()));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation"), other);
    ASSERT_EQ(RunToEnd(SetupCommand() + L" /S /D=" + InstallDir()), 0u);
    EXPECT_TRUE(Gone(other));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32"), Installed(kModule));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation"), InstallDir());
}

// The client's instance mutex as a client started elevated holds it: its DACL grants this
// user nothing, so opening it from another process is refused (the creator's own
// process may still open it under Wine).
class ElevatedClientMutex {
public:
    ElevatedClientMutex() {
        SECURITY_DESCRIPTOR descriptor;
        ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        ::InitializeAcl(&acl_, sizeof acl_, ACL_REVISION);
        ::SetSecurityDescriptorDacl(&descriptor, TRUE, &acl_, FALSE);
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
        mutex_ = ::CreateMutexW(&attributes, TRUE, L"{533C913CEA2C46a2A98CA9090AB259BA}");
    }
    ~ElevatedClientMutex() {
        if (mutex_) ::CloseHandle(mutex_);
    }
    ElevatedClientMutex(const ElevatedClientMutex&) = delete;
    ElevatedClientMutex& operator=(const ElevatedClientMutex&) = delete;
    bool Held() const { return mutex_ != nullptr; }

private:
    ACL acl_;
    HANDLE mutex_ = nullptr;
};

TEST_F(Installer, RunningClientRefusesSilentInstallAndUninstallWithNothingChanged) {
    StartClient(uidriver::ProgramFolder() + L"LumexiaClient.exe");
    EXPECT_EQ(InstallSilently(), 3u);
    EXPECT_FALSE(Exists(InstallDir()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey));
    client_.Kill();
    {
        ElevatedClientMutex elevated;
        ASSERT_TRUE(elevated.Held());
        EXPECT_EQ(InstallSilently(), 3u);
        EXPECT_FALSE(Exists(InstallDir()));
    }

    ASSERT_EQ(InstallSilently(), 0u);
    StartClient(Installed(L"LumexiaClient.exe"));
    EXPECT_EQ(UninstallSilently(), 3u);
    client_.Kill();
    {
        ElevatedClientMutex elevated;
        ASSERT_TRUE(elevated.Held());
        EXPECT_EQ(UninstallSilently(), 3u);
    }
    EXPECT_TRUE(Exists(Installed(L"LumexiaClient.exe")));
    EXPECT_TRUE(Exists(Installed(kModule)));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kClassKey));
}

// The quiet command returns when the uninstall is over, its exit code the result: 2 when
// the client's file cannot be deleted (the copy is left working), 0 when done. Only its
// own file and the folder go a moment after it returned.
TEST_F(Installer, QuietUninstallReturnsItsResultAndRemovesAllButTheDataUnlessAsked) {
    ASSERT_EQ(InstallSilently(), 0u);
    ::SHCreateDirectoryExW(nullptr, (ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\lumexia").c_str(),
                           nullptr);
    std::ofstream(DataFile().c_str()) << "<settings/>";
    {
        HeldFile held(Installed(L"LumexiaClient.exe"));
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(UninstallSilently(), 2u);
    }
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_TRUE(Exists(Installed(L"uninstall.exe")));
    EXPECT_TRUE(Exists(Installed(kModule)));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32"), Installed(kModule));

    ASSERT_EQ(UninstallSilently(), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_FALSE(Exists(Installed(L"LumexiaClient.exe")));
    EXPECT_FALSE(Exists(Installed(kModule)));
    EXPECT_FALSE(Exists(Shortcut()));
    for (const std::wstring& key : ExtensionKeys())
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key)) << key;
    EXPECT_TRUE(Exists(DataFile()));
    EXPECT_TRUE(Gone(InstallDir()));

    ASSERT_EQ(InstallSilently(), 0u);
    ASSERT_EQ(UninstallSilently(L" /REMOVEDATA"), 0u);
    EXPECT_FALSE(Exists(DataFile()));
    EXPECT_TRUE(Gone(InstallDir()));
}

} // namespace
