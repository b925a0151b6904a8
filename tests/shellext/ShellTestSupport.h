// What the extension tests share: the module's identity, regsvr32 runs, registry reads,
// and a data object carrying a file selection as Explorer hands it over.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

namespace shelltest {

extern const wchar_t kModuleFile[]; // "Lumexia64Ext.dll"
extern const wchar_t kClsidText[];
extern const wchar_t kLibIdText[];
extern const wchar_t kAppIdText[];
extern const wchar_t kClassName[];  // "Lumexia64ShlExt"
extern const wchar_t kModuleName[]; // "Lumexia64Ext"
extern const CLSID kClsid;

std::wstring ModulePath();
// Runs regsvr32 with `arguments` (the module path is appended) and returns its exit code.
DWORD RunRegsvr32(const std::wstring& arguments, const std::wstring& module = ModulePath());

bool KeyExists(HKEY root, const std::wstring& path);
// The default value (empty name) or a named REG_SZ value; `found` false when absent.
std::wstring ReadValue(HKEY root, const std::wstring& path, const wchar_t* name = nullptr,
                       bool* found = nullptr);
std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& path);

// An IDataObject with only CF_HDROP, as the shell builds it for a selection. Reference
// counted; starts with one reference.
IDataObject* NewDropDataObject(const std::vector<std::wstring>& paths);

} // namespace shelltest
