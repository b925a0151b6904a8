#include "TestSupport.h"

#include "common/DataFolder.h"

#include "common/Utf8.h"

#include <vector>

namespace testing_support {

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() ||
              ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
}

std::string ReadBytes(const std::wstring& path, bool* ok) {
    if (ok) *ok = false;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    ::CloseHandle(file);
    if (ok) *ok = true;
    return bytes;
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveFile(const std::wstring& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

std::string Utf16Bytes(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

std::string ToUtf8(const std::wstring& text) {
    return lumexia::ToUtf8(text);
}

std::wstring FromUtf8(const std::string& text) {
    return lumexia::FromUtf8(text);
}

std::wstring NewScratchFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"lumexia-test-" + lumexia::NewHexId() + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void EmptyDataFolder() {
    const std::wstring folder = lumexia::DataFolder();
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> names;
    do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L".." && name != L"config2.txt") names.push_back(name);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    for (const std::wstring& name : names)
        RemoveFile(folder + name);
}

SettingsSetAside::SettingsSetAside() : path_(lumexia::DataFolder() + L"config2.txt") {
    saved_ = ReadBytes(path_, &had_);
    RemoveFile(path_);
}

SettingsSetAside::~SettingsSetAside() {
    RemoveFile(path_);
    if (had_) WriteBytes(path_, saved_);
}

std::string VersionResource(const std::wstring& path) {
    std::string block(::GetFileVersionInfoSizeW(path.c_str(), nullptr), '\0');
    if (block.empty() ||
        !::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), &block[0]))
        return std::string();
    return block;
}

std::wstring FixedVersionText(const std::string& resource, bool product) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (resource.empty() ||
        !::VerQueryValueW(resource.data(), L"\\", reinterpret_cast<void**>(&fixed), &length))
        return std::wstring();
    const DWORD high = product ? fixed->dwProductVersionMS : fixed->dwFileVersionMS;
    const DWORD low = product ? fixed->dwProductVersionLS : fixed->dwFileVersionLS;
    return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
           std::to_wstring(HIWORD(low));
}

} // namespace testing_support
