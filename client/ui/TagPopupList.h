// The pop-up list of the tag completion: a list box that never takes activation, placed
// under its edit (above it when the screen has no room below), the selection moves of the
// keys, and a mouse hook that closes it on a click anywhere else.
//
// User-interface thread only, the hook included. A click on an entry reaches the edit as
// WM_COMMAND(LBN_SELCHANGE) from the list (see ListProc); the hook posts WM_AC_HIDE.
#pragma once

#include <windows.h>

#include <string>

namespace lumexia {

// Private messages of the completion's edit.
constexpr UINT WM_AC_HIDE = WM_USER + 101;    // hide the list
constexpr UINT WM_AC_REFRESH = WM_USER + 102; // refresh; wParam 1 may show the list

class TagPopupList {
public:
    static constexpr int kHeight = 200;
    static constexpr int kAboveOffset = 198; // the list above overlaps the edit by 2 pixels

    TagPopupList() = default;
    // Destroys a list still there (the dialog normally took it along).
    ~TagPopupList();
    TagPopupList(const TagPopupList&) = delete;
    TagPopupList& operator=(const TagPopupList&) = delete;

    // Creates the list for `edit`, with its font, and subclasses it; false when either
    // failed (the list is then gone).
    bool Create(HWND edit);
    // Destroys the list now, if it is still there.
    void Destroy();
    HWND Handle() const { return list_; }

    bool Visible() const;
    void Show();
    void Hide();
    // Stops the mouse hook from looking at this list (also when the edit goes).
    void Unhook();

    // Drawing off while filling: a visible list would otherwise redraw and rescale its
    // scroll bar for every entry.
    void BeginFill();
    void Add(const std::wstring& text);
    void EndFill();
    int Count() const;
    // The selected entry, taken whole however long; false when none.
    bool Selected(std::wstring& text) const;
    void SelectNext();
    void SelectPrevious();
    void SelectFirst();

private:
    static LRESULT CALLBACK ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    static LRESULT CALLBACK MouseHook(int code, WPARAM wParam, LPARAM lParam);

    HWND edit_ = nullptr;
    HWND list_ = nullptr;
    bool hooked_ = false; // registered with the mouse hook
};

} // namespace lumexia
