// The x64 installer and its uninstaller, run silently as a user's script would run them,
// checked in the file system and the registry. Every test starts and ends with no copy
// installed; they share the prefix's per-user keys, so they run one at a time.
#include "ShellSelection.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <wrl/client.h>

#include <fstream>
#include <iterator>

using Microsoft::WRL::ComPtr;

namespace {

const DWORD kWait = 30000;
const wchar_t kModule[] = L"Lumexia64Ext.dll";
const wchar_t kClsid[] = L"{1F2374F4-A301-4C43-9650-FA1F056C61C2}";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumexia";
const wchar_t kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const wchar_t kHandlers[] = L"Software\\Classes\\*\\ShellEx\\ContextMenuHandlers";
const std::wstring kClassKey = std::wstring(L"Software\\Classes\\CLSID\\") + kClsid;
const wchar_t kTypeLibKey[] = L"Software\\Classes\\TypeLib\\{BB3E3B1D-F270-4ABC-B06E-84673E13EDDC}";

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}
std::wstring InstallDir() {
    return ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\Lumexia";
}
std::wstring OtherDir() {
    return ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\LumexiaElsewhere";
}
std::wstring Installed(const std::wstring& name) {
    return InstallDir() + L"\\" + name;
}
std::wstring DataFile() {
    return ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\lumexia\\config2.txt";
}
std::wstring Shortcut() {
    return ShellFolder(CSIDL_PROGRAMS) + L"\\Лумексия.lnk";
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
std::string Bytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}
std::wstring Text(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    ::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
}
DWORD Number(HKEY root, const std::wstring& path, const wchar_t* name) {
    DWORD value = 0xFFFFFFFF, size = sizeof value;
    ::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

// Runs a command line to its end; its exit code, or ~0 when it did not end in time.
DWORD RunToEnd(std::wstring commandLine) {
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi))
        return ~0u;
    DWORD code = ~0u;
    if (::WaitForSingleObject(pi.hProcess, kWait) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(pi.hProcess, &code);
    else
        ::TerminateProcess(pi.hProcess, code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}
std::wstring SetupCommand() {
    return L"\"" + uidriver::ProgramFolder() + L"LumexiaSetup-x64.exe\"";
}
DWORD InstallSilently() {
    return RunToEnd(SetupCommand() + L" /S");
}

// The uninstaller hands over to a copy of itself in the temporary folder and ends at once,
// so the end of the uninstall is seen by its last step: the entry disappears.
bool UninstallSilently(const std::wstring& extra = L"") {
    const std::wstring command = Text(HKEY_CURRENT_USER, kUninstallKey, L"QuietUninstallString");
    if (command.empty() || RunToEnd(command + extra) != 0) return false;
    return uidriver::WaitUntil([] { return !KeyExists(HKEY_CURRENT_USER, kUninstallKey); }, kWait);
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override {
        client_.Kill();
        Clean();
    }
    static void Clean() {
        if (KeyExists(HKEY_CURRENT_USER, kUninstallKey)) UninstallSilently();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunOnceKey, L"LumexiaCleanup");
        SHFILEOPSTRUCTW op = {};
        const std::wstring from = InstallDir() + L'\0' + OtherDir() + L'\0';
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NO_UI;
        ::SHFileOperationW(&op);
    }
    // The client started as a user would, holding the instance mutex, its dialog shown.
    void StartClient(const std::wstring& program) {
        ASSERT_TRUE(client_.Start(program, L"\"C:\\no-task\""));
        ASSERT_NE(uidriver::WaitForDialog(1045, client_.Id(), kWait), nullptr);
    }
    uidriver::Process client_;
};

TEST_F(Installer, SilentInstallPutsFilesKeysEntryAndShortcutForThisUserOnly) {
    ASSERT_EQ(InstallSilently(), 0u);
    const std::wstring bin = uidriver::ProgramFolder();
    EXPECT_EQ(Bytes(Installed(L"LumexiaClient.exe")), Bytes(bin + L"LumexiaClient.exe"));
    EXPECT_EQ(Bytes(Installed(kModule)), Bytes(bin + kModule));
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
              uninstaller + L" /S");
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
    std::string block(::GetFileVersionInfoSizeW(path.c_str(), nullptr), '\0');
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(
        ::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), &block[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const std::wstring version = std::to_wstring(HIWORD(fixed->dwProductVersionMS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwProductVersionMS)) + L"." +
                                 std::to_wstring(HIWORD(fixed->dwProductVersionLS));
    EXPECT_EQ(version, LUMEXIA_VERSION);
}

TEST_F(Installer, InstalledMenuItemStartsTheInstalledClientWithTheSelection) {
    ASSERT_EQ(InstallSilently(), 0u);
    CLSID clsid;
    ASSERT_HRESULT_SUCCEEDED(::CLSIDFromString(
        Text(HKEY_CURRENT_USER, std::wstring(kHandlers) + L"\\Lumexia64ShlExt").c_str(), &clsid));
    ASSERT_HRESULT_SUCCEEDED(::CoInitialize(nullptr));
    std::wstring item;
    EXPECT_HRESULT_SUCCEEDED(
        uidriver::InvokeContextMenu(clsid, {L"C:\\a.jpg", L"C:\\b.png"}, nullptr, &item));
    ::CoUninitialize();
    EXPECT_EQ(item, L"Опубликовать на lumexia.ru");
    // Nothing of the module is alive any more; let it go so the uninstall can delete it.
    ::FreeLibrary(::GetModuleHandleW(kModule));

    HWND dialog = uidriver::WaitForDialog(1045, 0, kWait);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(uidriver::ControlText(dialog, 1045), L"Количество изображений 2");
    DWORD pid = 0;
    ::GetWindowThreadProcessId(dialog, &pid);
    HANDLE process = ::OpenProcess(
        PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    ASSERT_NE(process, nullptr);
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    ::QueryFullProcessImageNameW(process, 0, image, &size);
    EXPECT_EQ(_wcsicmp(image, Installed(L"LumexiaClient.exe").c_str()), 0) << image;
    ::TerminateProcess(process, 0);
    ::WaitForSingleObject(process, kWait);
    ::CloseHandle(process);
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
    EXPECT_EQ(Bytes(Installed(kModule)), Bytes(uidriver::ProgramFolder() + kModule));
    EXPECT_EQ(Bytes(Installed(std::wstring(kModule) + L".old1")), oldBytes);
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
    // While the leftover is held, a logon-time clean-up is left for it.
    EXPECT_NE(Text(HKEY_CURRENT_USER, kRunOnceKey, L"LumexiaCleanup").find(L".old*"),
              std::wstring::npos);

    ::FreeLibrary(held);
    ASSERT_EQ(InstallSilently(), 0u);
    EXPECT_FALSE(Exists(Installed(std::wstring(kModule) + L".old1")));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRunOnceKey, L"LumexiaCleanup"), L"");
}

TEST_F(Installer, UpgradeIntoAnotherFolderRemovesTheCopyInTheOldOne) {
    const std::wstring other = OtherDir();
    ASSERT_EQ(RunToEnd(SetupCommand() + L" /S /D=" + other), 0u);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32"), other + L"\\" + kModule);

    ASSERT_EQ(InstallSilently(), 0u); // without /D an upgrade goes where the copy is
    EXPECT_FALSE(Exists(InstallDir()));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation"), other);
    ASSERT_EQ(RunToEnd(SetupCommand() + L" /S /D=" + InstallDir()), 0u);
    EXPECT_FALSE(Exists(other));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32"), Installed(kModule));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation"), InstallDir());
}

TEST_F(Installer, RunningClientRefusesSilentInstallAndUninstallWithNothingChanged) {
    StartClient(uidriver::ProgramFolder() + L"LumexiaClient.exe");
    EXPECT_EQ(InstallSilently(), 3u);
    EXPECT_FALSE(Exists(InstallDir()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey));
    client_.Kill();

    ASSERT_EQ(InstallSilently(), 0u);
    StartClient(Installed(L"LumexiaClient.exe"));
    // Run in place (_?=) so the uninstaller's own exit code is seen.
    EXPECT_EQ(RunToEnd(L"\"" + Installed(L"uninstall.exe") + L"\" /S _?=" + InstallDir()), 3u);
    EXPECT_TRUE(Exists(Installed(kModule)));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kClassKey));
}

TEST_F(Installer, SilentUninstallRemovesEverythingButTheDataUnlessAsked) {
    ASSERT_EQ(InstallSilently(), 0u);
    ::SHCreateDirectoryExW(nullptr, (ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\lumexia").c_str(),
                           nullptr);
    std::ofstream(DataFile().c_str()) << "<settings/>";
    ASSERT_TRUE(UninstallSilently());
    EXPECT_FALSE(Exists(InstallDir()));
    EXPECT_FALSE(Exists(Shortcut()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::wstring(kHandlers) + L"\\Lumexia64ShlExt"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\Lumexia64Ext.Lumexia64ShlExt"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTypeLibKey));
    EXPECT_TRUE(Exists(DataFile()));

    ASSERT_EQ(InstallSilently(), 0u);
    ASSERT_TRUE(UninstallSilently(L" /REMOVEDATA"));
    EXPECT_FALSE(Exists(DataFile()));
    EXPECT_FALSE(Exists(InstallDir()));
}

} // namespace
