#include "common/DropFiles.h"

#include <shlobj.h>

#include <cstring>
#include <string>

namespace lumexia {

namespace {

// Splits `list` at its zero units into names until an empty one. A name runs only up
// to a terminator found inside `list`: the block's end is never read past.
template <typename Text, typename Take> void SplitNames(const Text& list, Take take) {
    size_t start = 0;
    while (start < list.size()) {
        const size_t end = list.find(typename Text::value_type(0), start);
        if (end == Text::npos || end == start) return; // no terminator left, or the list's end
        take(list.data() + start, end - start);
        start = end + 1;
    }
}

void Keep(std::wstring name, JobList& names) {
    if (FitsTaskRecord(name)) names.push_back(std::move(name));
}

void ReadWide(const unsigned char* list, size_t bytes, JobList& names) {
    // Copied out whole: the list need not be aligned for wchar_t, and one copy keeps the
    // pass linear however many names there are.
    std::wstring units(bytes / sizeof(wchar_t), L'\0');
    if (!units.empty()) std::memcpy(&units[0], list, units.size() * sizeof(wchar_t));
    SplitNames(units, [&](const wchar_t* name, size_t length) {
        Keep(std::wstring(name, length), names);
    });
}

void ReadAnsi(const unsigned char* list, size_t bytes, JobList& names) {
    const std::string chars(reinterpret_cast<const char*>(list), bytes);
    SplitNames(chars, [&](const char* name, size_t length) {
        const int size = static_cast<int>(length);
        const int wide = ::MultiByteToWideChar(CP_ACP, 0, name, size, nullptr, 0);
        if (wide <= 0) return; // not text in this code page
        std::wstring text(static_cast<size_t>(wide), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, name, size, &text[0], wide);
        Keep(std::move(text), names);
    });
}

} // namespace

JobList ReadDropNames(const void* block, size_t size) {
    JobList names;
    if (!block || size < sizeof(DROPFILES)) return names;
    DROPFILES header;
    std::memcpy(&header, block, sizeof header);
    // The list may not start inside the header; anything outside the block is no list.
    if (header.pFiles < sizeof(DROPFILES) || header.pFiles >= size) return names;
    const unsigned char* list = static_cast<const unsigned char*>(block) + header.pFiles;
    const size_t bytes = size - header.pFiles;
    if (header.fWide)
        ReadWide(list, bytes, names);
    else
        ReadAnsi(list, bytes, names);
    return names;
}

JobList DroppedNames(HGLOBAL drop) {
    // Unlocked on every path, an exception from a full heap included.
    struct Locked {
        HGLOBAL handle;
        const void* data;
        ~Locked() {
            if (data) ::GlobalUnlock(handle);
        }
    };
    if (!drop) return JobList();
    const size_t size = ::GlobalSize(drop);
    const Locked locked{drop, ::GlobalLock(drop)};
    return locked.data ? ReadDropNames(locked.data, size) : JobList();
}

} // namespace lumexia
