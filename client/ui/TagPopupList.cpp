#include "ui/TagPopupList.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace lumexia {
namespace {

// The lists shown, for the mouse hook. Only user-interface threads use them; the mutex
// keeps two dialogs on two threads apart.
std::mutex g_shownLock;
std::set<TagPopupList*> g_shown;
// The mouse hook of this thread, installed when a list is first shown and kept.
thread_local HHOOK t_mouseHook = nullptr;

constexpr UINT_PTR kSubclassId = 1;

} // namespace

TagPopupList::~TagPopupList() {
    Destroy();
}

void TagPopupList::Destroy() {
    Unhook();
    if (list_ && ::IsWindow(list_)) {
        ::RemoveWindowSubclass(list_, ListProc, kSubclassId);
        ::DestroyWindow(list_);
    }
    list_ = nullptr;
}

bool TagPopupList::Create(HWND edit) {
    HWND list = ::CreateWindowExW(WS_EX_NOACTIVATE, L"LISTBOX", L"MainLB",
                                  WS_POPUP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 0, 0, 1, 1, edit,
                                  nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!list) return false;
    ::SendMessageW(list, WM_SETFONT, ::SendMessageW(edit, WM_GETFONT, 0, 0), FALSE);
    if (!::SetWindowSubclass(list, ListProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        ::DestroyWindow(list);
        return false;
    }
    edit_ = edit;
    list_ = list;
    return true;
}

LRESULT CALLBACK TagPopupList::ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR reference) {
    auto* self = reinterpret_cast<TagPopupList*>(reference);
    switch (message) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_NCDESTROY:
        // Destroyed with the dialog that owns it, before this object.
        ::RemoveWindowSubclass(hwnd, ListProc, kSubclassId);
        self->list_ = nullptr;
        return ::DefSubclassProc(hwnd, message, wParam, lParam);
    case WM_LBUTTONUP: {
        // The list's own notifications go to the dialog: the system makes the top-level
        // window the owner of a pop-up created for a child. So the list tells its edit of
        // a click on an entry itself, as the notification would.
        const LRESULT hit = ::DefSubclassProc(hwnd, LB_ITEMFROMPOINT, 0, lParam);
        const LRESULT result = ::DefSubclassProc(hwnd, message, wParam, lParam);
        if (HIWORD(hit) == 0 && self->edit_ && ::IsWindow(self->edit_))
            ::SendMessageW(self->edit_, WM_COMMAND, MAKEWPARAM(0, LBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(hwnd));
        return result;
    }
    default:
        return ::DefSubclassProc(hwnd, message, wParam, lParam);
    }
}

bool TagPopupList::Visible() const {
    return list_ && ::IsWindowVisible(list_);
}

void TagPopupList::Show() {
    RECT edit;
    ::GetWindowRect(edit_, &edit);
    RECT desktop;
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    int top = edit.bottom;
    if (desktop.bottom - edit.bottom < kHeight && edit.top - desktop.top >= kHeight)
        top = edit.top - kAboveOffset;
    // Placed and shown in one step: shown first, the list appeared for a moment where it
    // was last open (the dialog may have moved since), and another thread could see it
    // visible there.
    ::SetWindowPos(list_, HWND_TOP, edit.left, top, edit.right - edit.left, kHeight,
                   SWP_NOACTIVATE | SWP_SHOWWINDOW);
    if (!hooked_) {
        std::lock_guard<std::mutex> hold(g_shownLock);
        g_shown.insert(this);
        hooked_ = true;
    }
    if (!t_mouseHook)
        t_mouseHook = ::SetWindowsHookExW(WH_MOUSE, MouseHook, nullptr, ::GetCurrentThreadId());
}

void TagPopupList::Hide() {
    if (list_) ::ShowWindow(list_, SW_HIDE);
    Unhook();
}

void TagPopupList::Unhook() {
    if (!hooked_) return;
    std::lock_guard<std::mutex> hold(g_shownLock);
    g_shown.erase(this);
    hooked_ = false;
}

// A click anywhere but in the open list closes it, also on windows that take no focus.
LRESULT CALLBACK TagPopupList::MouseHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && (wParam == WM_LBUTTONDOWN || wParam == WM_NCLBUTTONDOWN)) {
        const POINT point = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam)->pt;
        const HWND under = ::WindowFromPoint(point);
        std::vector<std::pair<HWND, HWND>> shown; // (edit, list); posted outside the lock
        {
            std::lock_guard<std::mutex> hold(g_shownLock);
            for (TagPopupList* list : g_shown)
                shown.emplace_back(list->edit_, list->list_);
        }
        for (const auto& [edit, list] : shown)
            if (::IsWindowVisible(list) && under != list) ::PostMessageW(edit, WM_AC_HIDE, 0, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void TagPopupList::BeginFill() {
    ::SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list_, LB_RESETCONTENT, 0, 0);
}

void TagPopupList::Add(const std::wstring& text) {
    ::SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TagPopupList::EndFill() {
    ::SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
}

int TagPopupList::Count() const {
    return static_cast<int>(::SendMessageW(list_, LB_GETCOUNT, 0, 0));
}

bool TagPopupList::Selected(std::wstring& text) const {
    const LRESULT selected = ::SendMessageW(list_, LB_GETCURSEL, 0, 0);
    if (selected < 0) return false;
    const LRESULT length = ::SendMessageW(list_, LB_GETTEXTLEN, selected, 0);
    if (length < 0) return false;
    std::wstring entry(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got =
        ::SendMessageW(list_, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(&entry[0]));
    if (got < 0) return false;
    entry.resize(static_cast<size_t>(got));
    text = std::move(entry);
    return true;
}

void TagPopupList::SelectNext() {
    const LRESULT count = ::SendMessageW(list_, LB_GETCOUNT, 0, 0);
    if (count <= 0) return;
    const LRESULT current = ::SendMessageW(list_, LB_GETCURSEL, 0, 0);
    ::SendMessageW(list_, LB_SETCURSEL, std::min<LRESULT>(current + 1, count - 1), 0);
}

void TagPopupList::SelectPrevious() {
    const LRESULT count = ::SendMessageW(list_, LB_GETCOUNT, 0, 0);
    if (count <= 0) return;
    const LRESULT current = ::SendMessageW(list_, LB_GETCURSEL, 0, 0);
    ::SendMessageW(list_, LB_SETCURSEL, std::max<LRESULT>(current - 1, 0), 0);
}

void TagPopupList::SelectFirst() {
    if (Count() > 0) ::SendMessageW(list_, LB_SETCURSEL, 0, 0);
}

} // namespace lumexia
