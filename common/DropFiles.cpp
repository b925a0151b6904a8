#include "common/DropFiles.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace lumexia {

namespace {

// Splits the `count` units at `list` into names up to the first empty one. A name counts
// only when its terminator lies inside the list: the block's end is never read past.
template <typename Unit, typename Take> void SplitNames(const Unit* list, size_t count, Take take) {
    const Unit* const end = list + count;
    for (const Unit* name = list; name < end && *name != 0;) {
        const Unit* const stop = std::find(name, end, Unit(0));
        if (stop == end) return; // a last name cut by the block's end
        take(name, static_cast<size_t>(stop - name));
        name = stop + 1;
    }
}

void VisitWide(const unsigned char* list, size_t bytes, const DropNameVisitor& visit) {
    const size_t count = bytes / sizeof(wchar_t);
    // The names are read where they lie, so a large selection costs no copy. An odd list
    // offset (no shell writes one) leaves them unaligned: read a copy then.
    const wchar_t* units = reinterpret_cast<const wchar_t*>(list);
    std::wstring aligned;
    if (reinterpret_cast<std::uintptr_t>(list) % alignof(wchar_t) != 0) {
        aligned.assign(count, L'\0');
        std::memcpy(&aligned[0], list, count * sizeof(wchar_t));
        units = aligned.data();
    }
    SplitNames(units, count, [&](const wchar_t* name, size_t length) {
        if (FitsTaskRecord(name, length)) visit(name, length);
    });
}

void VisitAnsi(const unsigned char* list, size_t bytes, const DropNameVisitor& visit) {
    SplitNames(reinterpret_cast<const char*>(list), bytes, [&](const char* name, size_t length) {
        const int size = static_cast<int>(length);
        const int wide = ::MultiByteToWideChar(CP_ACP, 0, name, size, nullptr, 0);
        if (wide <= 0) return; // not text in this code page
        std::wstring text(static_cast<size_t>(wide), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, name, size, &text[0], wide);
        if (FitsTaskRecord(text.data(), text.size())) visit(text.data(), text.size());
    });
}

// The block locked for the owner's lifetime; unlocked on every path, an exception from a
// full heap included.
class LockedBlock {
public:
    explicit LockedBlock(HGLOBAL block)
        : block_(block), size_(block ? ::GlobalSize(block) : 0),
          data_(block ? ::GlobalLock(block) : nullptr) {}
    ~LockedBlock() {
        if (data_) ::GlobalUnlock(block_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;
    const void* Data() const { return data_; }
    size_t Size() const { return size_; }

private:
    HGLOBAL block_;
    size_t size_;
    const void* data_;
};

} // namespace

void VisitDropNames(const void* block, size_t size, const DropNameVisitor& visit) {
    if (!block || size < sizeof(DROPFILES)) return;
    DROPFILES header;
    std::memcpy(&header, block, sizeof header);
    // The list may not start inside the header; anything outside the block is no list.
    if (header.pFiles < sizeof(DROPFILES) || header.pFiles >= size) return;
    const unsigned char* list = static_cast<const unsigned char*>(block) + header.pFiles;
    const size_t bytes = size - header.pFiles;
    if (header.fWide)
        VisitWide(list, bytes, visit);
    else
        VisitAnsi(list, bytes, visit);
}

JobList ReadDropNames(const void* block, size_t size) {
    JobList names;
    VisitDropNames(block, size,
                   [&](const wchar_t* name, size_t length) { names.emplace_back(name, length); });
    return names;
}

JobList DroppedNames(HGLOBAL drop) {
    const LockedBlock locked(drop);
    return ReadDropNames(locked.Data(), locked.Size());
}

size_t CountDroppedNames(HGLOBAL drop) {
    const LockedBlock locked(drop);
    size_t count = 0;
    VisitDropNames(locked.Data(), locked.Size(), [&](const wchar_t*, size_t) { ++count; });
    return count;
}

} // namespace lumexia
