// Tag auto-completion on the tags edit of the main dialog: while the user types, a pop-up
// list under the edit offers known tags that begin with the tag being typed (the text
// after the last comma before the caret), and choosing one replaces that tag. Known tags
// live in a cache for the dialog's life; the cache is filled by the tag query worker.
//
// Everything here runs on the user-interface thread, the mouse hook included, apart from
// the worker's two calls into the shared cache (see TagCache).
#pragma once

#include "settings/SettingsRecords.h"
#include "ui/TagCache.h"
#include "ui/TagQueryWorker.h"

#include <windows.h>

#include <memory>
#include <string>

namespace lumexia {

// Private messages of the subclassed edit.
constexpr UINT WM_AC_HIDE = WM_USER + 101;    // hide the list
constexpr UINT WM_AC_REFRESH = WM_USER + 102; // refresh; wParam 1 may show the list
// WM_AC_RESULTS (ui/TagCache.h) brings the worker's new tags.

class CAutoComplete2 {
public:
    static constexpr int kListHeight = 200;
    static constexpr int kAboveOffset = 198; // the list above overlaps the edit by 2 pixels
    static constexpr int kMostShown = 51;

    CAutoComplete2();
    ~CAutoComplete2();
    CAutoComplete2(const CAutoComplete2&) = delete;
    CAutoComplete2& operator=(const CAutoComplete2&) = delete;

    // Creates the pop-up list and subclasses the edit and the list. Does nothing when this
    // object is attached already or the edit belongs to another one. `proxy` is read at
    // every query request, so it must outlive this object (FormMain holds both).
    void Attach(HWND edit, const ProxySettings& proxy);

    HWND Edit() const { return edit_; }
    HWND List() const { return list_; }

private:
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK MouseHook(int code, WPARAM wParam, LPARAM lParam);

    // Returns true when the message is consumed (not passed to the edit's own procedure).
    bool OnEditMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnKeyDown(WPARAM key);
    bool OnChar(WPARAM character);

    std::wstring CurrentToken() const;
    bool Refresh();
    // Puts the cache's tags that begin with `token` into the list; returns how many.
    int Fill(const std::wstring& token);
    void DeliverItems(const std::wstring* token, const TagItems* items);
    void Complete();
    void ShowList();
    void HideList();
    bool ListVisible() const;
    void SelectNext();
    void SelectPrevious();
    void SelectFirst();
    void Unhook();

    std::shared_ptr<TagCache> cache_;
    TagQueryWorker worker_;
    const ProxySettings* proxy_ = nullptr;
    HWND edit_ = nullptr;
    HWND list_ = nullptr;
    WNDPROC editProc_ = nullptr;
    WNDPROC listProc_ = nullptr;
    std::wstring lastToken_;
    bool hooked_ = false; // registered with the mouse hook
};

} // namespace lumexia
