// Tag auto-completion on the tags edit of the main dialog: while the user types, a pop-up
// list under the edit offers known tags that begin with the tag being typed (the text
// after the last comma before the caret), and choosing one replaces that tag. Known tags
// live in a cache for the dialog's life; the cache is filled by the tag query worker.
//
// The pieces: the text rules (ui/TagText.h), the cache (ui/TagCache.h), the worker
// (ui/TagQueryWorker.h), the pop-up list (ui/TagPopupList.h); this class subclasses the
// edit and holds the key table. Everything here runs on the user-interface thread,
// apart from the worker's two calls into the shared cache (see TagCache).
#pragma once

#include "settings/SettingsRecords.h"
#include "ui/TagCache.h"
#include "ui/TagPopupList.h"
#include "ui/TagQueryWorker.h"

#include <windows.h>

#include <memory>
#include <string>

namespace lumexia {

class CAutoComplete2 {
public:
    static constexpr int kListHeight = TagPopupList::kHeight;
    static constexpr int kAboveOffset = TagPopupList::kAboveOffset;
    static constexpr int kMostShown = 51;

    CAutoComplete2();
    ~CAutoComplete2();
    CAutoComplete2(const CAutoComplete2&) = delete;
    CAutoComplete2& operator=(const CAutoComplete2&) = delete;

    // Creates the pop-up list and subclasses the edit (comctl32's SetWindowSubclass, this
    // object as the reference data). Does nothing when this object is attached already or
    // the edit belongs to another one. `proxy` is read at every query request, so it must
    // outlive this object (FormMain holds both).
    void Attach(HWND edit, const ProxySettings& proxy);

    HWND Edit() const { return edit_; }
    HWND List() const { return list_.Handle(); }

private:
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);

    // Returns true when the message is consumed (not passed to the edit's own procedure).
    bool OnEditMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnKeyDown(WPARAM key);
    bool OnChar(WPARAM character);
    void OnAltDown();

    std::wstring CurrentToken() const;
    bool Refresh();
    // Puts the cache's tags that begin with `token` into the list; returns how many.
    int Fill(const std::wstring& token);
    void DeliverItems(const std::wstring* token, const TagItems* items);
    // Whether an answer for `token` may open the hidden list now.
    bool MayOpenFor(const std::wstring& token) const;
    void Complete();

    std::shared_ptr<TagCache> cache_;
    TagQueryWorker worker_;
    const ProxySettings* proxy_ = nullptr;
    HWND edit_ = nullptr;
    TagPopupList list_;
    std::wstring lastToken_;
    // The tag the user is typing, for which an answer may open the list; cleared by Esc
    // and by a comma.
    std::wstring typing_;
};

} // namespace lumexia
