#include "ui/TagCache.h"

#include <algorithm>

namespace lumexia {

TagItems::const_iterator FirstKeyFrom(const TagItems& sorted, const std::wstring& key) {
    return std::lower_bound(
        sorted.begin(), sorted.end(), key,
        [](const TagItem& item, const std::wstring& k) { return item.key < k; });
}

bool HasKey(const TagItems& sorted, const std::wstring& key) {
    const auto at = FirstKeyFrom(sorted, key);
    return at != sorted.end() && at->key == key;
}

void TagCache::DeliverItems(const std::wstring& token, const TagItems& items) {
    // Synchronous, so the items stay valid until the edit has merged them; sent from the
    // edit's own thread it is a plain call.
    HWND edit = edit_;
    if (edit)
        ::SendMessageW(edit, WM_AC_RESULTS, reinterpret_cast<WPARAM>(&token),
                       reinterpret_cast<LPARAM>(&items));
}

void TagCache::Merge(const TagItems& items) {
    for (const TagItem& item : items) {
        const auto at = FirstKeyFrom(items_, item.key);
        if (at != items_.end() && at->key == item.key) continue; // the first text of a key stays
        items_.insert(at, item);
    }
}

} // namespace lumexia
