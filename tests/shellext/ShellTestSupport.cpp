#include "ShellTestSupport.h"

#include "ShellSelection.h"
#include "UiDriver.h"

#include <shlobj.h>

namespace shelltest {

const wchar_t kModuleFile[] = L"Lumexia64Ext.dll";
const wchar_t kClsidText[] = L"{1F2374F4-A301-4C43-9650-FA1F056C61C2}";
const wchar_t kLibIdText[] = L"{BB3E3B1D-F270-4ABC-B06E-84673E13EDDC}";
const wchar_t kAppIdText[] = L"{5B65F6FC-39B7-406F-B0DB-436F01536109}";
const wchar_t kClassName[] = L"Lumexia64ShlExt";
const wchar_t kModuleName[] = L"Lumexia64Ext";
const CLSID kClsid = {0x1F2374F4, 0xA301, 0x4C43, {0x96, 0x50, 0xFA, 0x1F, 0x05, 0x6C, 0x61, 0xC2}};

std::wstring ModulePath() {
    return uidriver::ProgramFolder() + kModuleFile;
}

DWORD RunRegsvr32(const std::wstring& arguments, const std::wstring& module) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring program = std::wstring(system) + L"\\regsvr32.exe";
    uidriver::Process process;
    if (!process.Start(program, L"regsvr32 " + arguments + L" \"" + module + L"\"")) return 999;
    DWORD code = 998;
    process.Wait(30000, &code);
    return code;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

std::wstring ReadValue(HKEY root, const std::wstring& path, const wchar_t* name, bool* found) {
    if (found) *found = false;
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return std::wstring();
    if (found) *found = true;
    return data;
}

std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    ::RegCloseKey(key);
    return names;
}

IDataObject* NewDropDataObject(const std::vector<std::wstring>& paths) {
    return uidriver::NewDropDataObject(paths);
}

} // namespace shelltest
