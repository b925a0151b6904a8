// Owner of a storage medium a data object handed out: ReleaseStgMedium on every path.
// Move-only like the owners in common/ScopedWin.h; the medium may hold a block, a stream
// or a reference on the source's own releasing object, so only ReleaseStgMedium knows
// how to free it.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace lumexia::ext {

class StorageMedium {
public:
    StorageMedium() = default;
    ~StorageMedium() { Reset(); }
    StorageMedium(StorageMedium&& o) noexcept : medium_(o.medium_) { o.medium_ = {}; }
    StorageMedium& operator=(StorageMedium&& o) noexcept {
        if (this != &o) {
            Reset();
            medium_ = o.medium_;
            o.medium_ = {};
        }
        return *this;
    }
    StorageMedium(const StorageMedium&) = delete;
    StorageMedium& operator=(const StorageMedium&) = delete;

    const STGMEDIUM& Get() const { return medium_; }
    // For IDataObject::GetData: releases what is held and hands out the slot.
    STGMEDIUM* Put() {
        Reset();
        return &medium_;
    }
    void Reset() {
        if (medium_.tymed != TYMED_NULL) ::ReleaseStgMedium(&medium_);
        medium_ = {};
    }

private:
    STGMEDIUM medium_ = {};
};

} // namespace lumexia::ext
