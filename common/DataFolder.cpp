#include "common/DataFolder.h"

#include "common/ScopedWin.h"

#include <shlobj.h>
#include <wchar.h>

namespace lumexia {

std::wstring DataFolder() {
    wchar_t base[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)))
        return std::wstring();
    std::wstring folder = std::wstring(base) + L"\\lumexia\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::wstring NewHexId() {
    GUID guid;
    if (FAILED(::CoCreateGuid(&guid))) return std::wstring();
    wchar_t text[50] = {};
    ::StringFromGUID2(guid, text, 50);
    std::wstring id;
    for (const wchar_t* p = text; *p; ++p)
        if (*p != L'{' && *p != L'}' && *p != L'-') id += *p;
    return id;
}

bool IsDisposableName(const wchar_t* name) {
    return wcschr(name, L'.') == nullptr && wcslen(name) > 2;
}

void CleanDataFolder() {
    const std::wstring folder = DataFolder();
    // Without a data folder the names would be relative: never clean the current folder.
    if (folder.empty()) return;
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((folder + L"*.*").c_str(), &entry));
    if (!find) return;
    do {
        if (!IsDisposableName(entry.cFileName)) continue;
        const std::wstring path = folder + entry.cFileName;
        // A read-only file would survive DeleteFileW; a directory simply fails to delete.
        DWORD attrs = ::GetFileAttributesW(path.c_str());
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY))
            ::SetFileAttributesW(path.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
        ::DeleteFileW(path.c_str());
    } while (::FindNextFileW(find.Get(), &entry));
}

} // namespace lumexia
