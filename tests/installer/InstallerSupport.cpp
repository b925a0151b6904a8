#include "InstallerSupport.h"

#include "ShellSelection.h"

#include <shlobj.h>

#include <fstream>
#include <iterator>

namespace installer_test {

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
bool Gone(const std::wstring& path) {
    return uidriver::WaitUntil([&] { return !Exists(path); }, kWait);
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
std::wstring Text(HKEY root, const std::wstring& path, const wchar_t* name) {
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

std::vector<std::wstring> ExtensionKeys() {
    const std::wstring classes = L"Software\\Classes\\";
    return {kClassKey,
            std::wstring(kHandlers) + L"\\Lumexia64ShlExt",
            classes + L"Lumexia64Ext.Lumexia64ShlExt",
            classes + L"Lumexia64Ext.Lumexia64ShlExt.1",
            kTypeLibKey,
            classes + L"Interface\\{638C2E57-0953-44FD-BF97-DBDDD7E73F0C}",
            classes + L"AppID\\{5B65F6FC-39B7-406F-B0DB-436F01536109}",
            classes + L"AppID\\Lumexia64Ext.DLL"};
}

std::vector<std::wstring> CleanupValues() {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunOnceKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0, n = 256;
         ::RegEnumValueW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, n = 256)
        if (std::wstring(name).rfind(L"LumexiaCleanup", 0) == 0) names.push_back(name);
    ::RegCloseKey(key);
    return names;
}

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
DWORD UninstallSilently(const std::wstring& options) {
    std::wstring command = Text(HKEY_CURRENT_USER, kUninstallKey, L"QuietUninstallString");
    if (command.empty()) return ~0u;
    const size_t folder = command.find(L" _?=");
    command.insert(folder == std::wstring::npos ? command.size() : folder, options);
    return RunToEnd(command);
}

HeldFile::HeldFile(const std::wstring& path)
    : file_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                          nullptr)) {}
HeldFile::~HeldFile() {
    Release();
}
void HeldFile::Release() {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}

bool MenuItemStartsInstalledClient() {
    CLSID clsid;
    if (FAILED(::CLSIDFromString(
            Text(HKEY_CURRENT_USER, std::wstring(kHandlers) + L"\\Lumexia64ShlExt").c_str(),
            &clsid)) ||
        FAILED(::CoInitialize(nullptr)))
        return false;
    std::wstring item;
    const HRESULT invoked =
        uidriver::InvokeContextMenu(clsid, {L"C:\\a.jpg", L"C:\\b.png"}, nullptr, &item);
    ::CoUninitialize();
    // Nothing of the module is alive any more; let it go so the uninstall can delete it.
    ::FreeLibrary(::GetModuleHandleW(kModule));
    EXPECT_HRESULT_SUCCEEDED(invoked);
    EXPECT_EQ(item, L"Опубликовать на lumexia.ru");

    HWND dialog = uidriver::WaitForDialog(1045, 0, kWait);
    if (!dialog) return false;
    EXPECT_EQ(uidriver::ControlText(dialog, 1045), L"Количество изображений 2");
    DWORD pid = 0;
    ::GetWindowThreadProcessId(dialog, &pid);
    HANDLE process = ::OpenProcess(
        PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) return false;
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    ::QueryFullProcessImageNameW(process, 0, image, &size);
    ::TerminateProcess(process, 0);
    ::WaitForSingleObject(process, kWait);
    ::CloseHandle(process);
    return _wcsicmp(image, Installed(L"LumexiaClient.exe").c_str()) == 0;
}

void Installer::Clean() {
    if (KeyExists(HKEY_CURRENT_USER, kUninstallKey)) UninstallSilently();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
    for (const std::wstring& name : CleanupValues())
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunOnceKey, name.c_str());
    SHFILEOPSTRUCTW op = {};
    const std::wstring from = InstallDir() + L'\0' + OtherDir() + L'\0';
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

void Installer::StartClient(const std::wstring& program) {
    ASSERT_TRUE(client_.Start(program, L"\"C:\\no-task\""));
    ASSERT_NE(uidriver::WaitForDialog(1045, client_.Id(), kWait), nullptr);
}

} // namespace installer_test
