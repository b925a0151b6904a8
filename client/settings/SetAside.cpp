#include "settings/SetAside.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace lumexia {
namespace {

std::wstring SetAsideName(const std::wstring& path, std::uint64_t number) {
    return path + L".bad" + (number > 1 ? std::to_wstring(number) : std::wstring());
}

// The number a directory entry carries as a set-aside copy of `stem` (the settings file's
// own name + ".bad"), or 0 when it is none: the stem alone is 1, the stem and a decimal
// number from 2 on is that number. Anything else in the folder is not ours to touch.
std::uint64_t SetAsideNumber(const std::wstring& stem, const wchar_t* entry) {
    const std::wstring name(entry);
    if (name.size() < stem.size() ||
        ::CompareStringOrdinal(name.c_str(), static_cast<int>(stem.size()), stem.c_str(),
                               static_cast<int>(stem.size()), TRUE) != CSTR_EQUAL)
        return 0;
    const std::wstring digits = name.substr(stem.size());
    if (digits.empty()) return 1;
    if (digits.size() > 9 || digits[0] == L'0') return 0;
    std::uint64_t number = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return 0;
        number = number * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    return number >= 2 ? number : 0;
}

// The numbers of the copies there are now, oldest first.
std::vector<std::uint64_t> SetAsideNumbers(const std::wstring& path) {
    std::vector<std::uint64_t> numbers;
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring stem = path.substr(slash == std::wstring::npos ? 0 : slash + 1) + L".bad";
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((path + L".bad*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return numbers;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (const std::uint64_t number = SetAsideNumber(stem, entry.cFileName))
            numbers.push_back(number);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool RemoveCopy(const std::wstring& path, std::uint64_t number) {
    const std::wstring name = SetAsideName(path, number);
    ::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL); // a copy may be read-only
    return ::DeleteFileW(name.c_str()) != FALSE;
}

} // namespace

bool SetAsideUnreadable(const std::wstring& path) {
    if (path.empty()) return true;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true; // no file; a save fails on its own
    std::vector<std::uint64_t> numbers = SetAsideNumbers(path);
    const std::uint64_t next = numbers.empty() ? 1 : numbers.back() + 1;
    // An earlier copy may be the only one of the user's original settings: never replaced.
    if (!::MoveFileExW(path.c_str(), SetAsideName(path, next).c_str(), MOVEFILE_WRITE_THROUGH))
        return false;
    // Only once the new copy is safe do the oldest make room for it.
    while (numbers.size() + 1 > kSetAsideKept) {
        RemoveCopy(path, numbers.front());
        numbers.erase(numbers.begin());
    }
    return true;
}

bool RemoveSetAsideCopies(const std::wstring& path) {
    if (path.empty()) return true;
    bool all = true;
    for (std::uint64_t number : SetAsideNumbers(path))
        all = RemoveCopy(path, number) && all;
    return all;
}

} // namespace lumexia
