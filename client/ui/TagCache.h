// The known tags of the completion control, shared with its tag query worker, and the one
// prefix lookup every reader of a sorted tag list uses.
#pragma once

#include "ui/TagQueryWorker.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace lumexia {

// Sent to the tags edit with new tags: wParam const std::wstring* token, lParam const
// TagItems* items (valid during the send only).
constexpr UINT WM_AC_RESULTS = WM_USER + 103;

// In `sorted` (ordered by key, as TagItemLess orders), the first item whose key is not
// less than `key`: the first whose key begins with `key`, when there is one.
TagItems::const_iterator FirstKeyFrom(const TagItems& sorted, const std::wstring& key);
bool HasKey(const TagItems& sorted, const std::wstring& key);

// The part of the control the worker thread reaches, shared with the worker so that an
// abandoned worker outlives the control safely: the cache, which it reads, and the edit,
// to which it sends its deliveries until the control detaches.
class TagCache final : public CallbackGetItems {
public:
    void SetEdit(HWND edit) { edit_ = edit; }
    // After this no delivery reaches the edit (the control is going away).
    void Detach() { edit_ = nullptr; }

    // Sends WM_AC_RESULTS to the edit and waits for it to be handled.
    void DeliverItems(const std::wstring& token, const TagItems& items) override;
    const TagItems& CurrentItems() const override { return items_; }

    // User-interface thread, inside WM_AC_RESULTS only: adds the items whose key is new.
    void Merge(const TagItems& items);

private:
    std::atomic<HWND> edit_{nullptr};
    TagItems items_; // sorted by key, then text; only grows
};

} // namespace lumexia
