#include "ui/AutoComplete.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace lumexia {
namespace {

// Which object a subclassed edit or list belongs to, and which objects show their list
// (for the mouse hook). Only user-interface threads use them; the mutex keeps two
// dialogs on two threads apart.
std::mutex g_tablesLock;
std::map<HWND, CAutoComplete2*> g_windows;
std::set<CAutoComplete2*> g_shown;
// The mouse hook of this thread, installed when a list is first shown and kept.
thread_local HHOOK t_mouseHook = nullptr;

CAutoComplete2* Owner(HWND hwnd) {
    std::lock_guard<std::mutex> hold(g_tablesLock);
    auto found = g_windows.find(hwnd);
    return found == g_windows.end() ? nullptr : found->second;
}

const wchar_t kWhiteSpace[] = L" \t\n\v\f\r\b\a";

// Where the tag around the caret starts and ends: after the last comma before the caret
// (or at 0), up to the next comma (or the end).
struct TokenSpan {
    size_t start;
    size_t end;
};

TokenSpan SpanAt(const std::wstring& text, size_t caret) {
    caret = std::min(caret, text.size());
    size_t start = 0;
    if (caret > 0) {
        const size_t comma = text.rfind(L',', caret - 1);
        if (comma != std::wstring::npos) start = comma + 1;
    }
    size_t end = text.find(L',', start);
    if (end == std::wstring::npos) end = text.size();
    return {start, end};
}

std::wstring WindowTextOf(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, &text[0], length + 1)));
    return text;
}

size_t CaretOf(HWND edit) {
    DWORD start = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    return start;
}

bool KeyOfDialogManager(const MSG* message) {
    return message && (message->message == WM_KEYDOWN || message->message == WM_CHAR) &&
           (message->wParam == VK_TAB || message->wParam == VK_RETURN ||
            message->wParam == VK_ESCAPE);
}

} // namespace

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
        auto at =
            std::lower_bound(items_.begin(), items_.end(), item.key,
                             [](const TagItem& i, const std::wstring& k) { return i.key < k; });
        if (at != items_.end() && at->key == item.key) continue; // the first text of a key stays
        items_.insert(at, item);
    }
}

CAutoComplete2::CAutoComplete2() : cache_(std::make_shared<TagCache>()), worker_(cache_) {}

CAutoComplete2::~CAutoComplete2() {
    cache_->Detach();
    Unhook();
    {
        std::lock_guard<std::mutex> hold(g_tablesLock);
        g_windows.erase(edit_);
        g_windows.erase(list_);
    }
    // Normally the dialog, and with it both windows, is gone by now (their handles were
    // cleared when they went); otherwise the windows outlive this object and are handed
    // back to their own procedures.
    auto restore = [](HWND hwnd, WNDPROC ours, WNDPROC previous) {
        if (hwnd && ::IsWindow(hwnd) &&
            reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == ours)
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    };
    restore(edit_, EditProc, editProc_);
    restore(list_, ListProc, listProc_);
    if (list_ && ::IsWindow(list_)) ::DestroyWindow(list_);
    worker_.Stop();
}

void CAutoComplete2::Attach(HWND edit, const ProxySettings& proxy) {
    if (edit_ || !edit || Owner(edit)) return;
    proxy_ = &proxy;
    HWND list = ::CreateWindowExW(WS_EX_NOACTIVATE, L"LISTBOX", L"MainLB",
                                  WS_POPUP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 0, 0, 1, 1, edit,
                                  nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!list) return; // the edit works without completion
    ::SendMessageW(list, WM_SETFONT, ::SendMessageW(edit, WM_GETFONT, 0, 0), FALSE);
    {
        std::lock_guard<std::mutex> hold(g_tablesLock);
        g_windows[edit] = this;
        g_windows[list] = this;
    }
    edit_ = edit;
    list_ = list;
    listProc_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListProc)));
    editProc_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
    if (!editProc_ || !listProc_) {
        if (listProc_)
            ::SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProc_));
        ::DestroyWindow(list);
        std::lock_guard<std::mutex> hold(g_tablesLock);
        g_windows.erase(edit);
        g_windows.erase(list);
        edit_ = list_ = nullptr;
        return;
    }
    cache_->SetEdit(edit);
}

LRESULT CALLBACK CAutoComplete2::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CAutoComplete2* self = Owner(hwnd);
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    const WNDPROC previous = self->editProc_;
    if (message == WM_NCDESTROY) {
        // The edit goes before its object: stop finding the object through it.
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        self->cache_->Detach();
        self->Unhook();
        self->edit_ = nullptr; // a later window may get the same handle
        std::lock_guard<std::mutex> hold(g_tablesLock);
        g_windows.erase(hwnd);
    } else {
        LRESULT result = 0;
        bool consumed = false;
        try {
            consumed = self->OnEditMessage(message, wParam, lParam, result);
        } catch (...) {
            consumed = false; // nothing may leave a window procedure; the edit carries on
        }
        if (consumed) return result;
    }
    return ::CallWindowProcW(previous, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CAutoComplete2::ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CAutoComplete2* self = Owner(hwnd);
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    const WNDPROC previous = self->listProc_;
    if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        self->list_ = nullptr; // destroyed with the dialog that owns it
        {
            std::lock_guard<std::mutex> hold(g_tablesLock);
            g_windows.erase(hwnd);
        }
        return ::CallWindowProcW(previous, hwnd, message, wParam, lParam);
    }
    if (message == WM_LBUTTONUP) {
        // The list's own notifications go to the dialog: the system makes the top-level
        // window the owner of a pop-up created for a child. So the list tells its edit of
        // a click on an entry itself, as the notification would.
        const LRESULT hit = ::CallWindowProcW(previous, hwnd, LB_ITEMFROMPOINT, 0, lParam);
        const LRESULT result = ::CallWindowProcW(previous, hwnd, message, wParam, lParam);
        if (HIWORD(hit) == 0 && self->edit_)
            ::SendMessageW(self->edit_, WM_COMMAND, MAKEWPARAM(0, LBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(hwnd));
        return result;
    }
    return ::CallWindowProcW(previous, hwnd, message, wParam, lParam);
}

bool CAutoComplete2::OnEditMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_KEYDOWN:
        return OnKeyDown(wParam);
    case WM_SYSKEYDOWN:
        if (wParam != VK_DOWN) return false;
        if (ListVisible()) {
            HideList();
        } else {
            ShowList();
            SelectFirst();
        }
        return true;
    case WM_CHAR:
        return OnChar(wParam);
    case WM_GETDLGCODE:
        // While the list is open, Tab, Enter and Esc belong to it: the dialog must not move
        // the focus, press a button or cancel.
        if (!ListVisible() || !KeyOfDialogManager(reinterpret_cast<const MSG*>(lParam)))
            return false;
        result = ::CallWindowProcW(editProc_, edit_, message, wParam, lParam) | DLGC_WANTTAB |
                 DLGC_WANTALLKEYS;
        return true;
    case WM_KILLFOCUS: {
        const bool toFilledList =
            reinterpret_cast<HWND>(wParam) == list_ && ::SendMessageW(list_, LB_GETCOUNT, 0, 0) > 0;
        if (ListVisible() && !toFilledList) ::PostMessageW(edit_, WM_AC_HIDE, 0, 0);
        return false;
    }
    case WM_COMMAND:
        if (reinterpret_cast<HWND>(lParam) != list_ || HIWORD(wParam) != LBN_SELCHANGE)
            return false;
        Complete();
        HideList();
        return true;
    case WM_MOUSEWHEEL:
        ::PostMessageW(list_, WM_MOUSEWHEEL, wParam, lParam);
        return false;
    case WM_AC_HIDE:
        HideList();
        return true;
    case WM_AC_REFRESH:
        if (Refresh() && wParam == 1 && !ListVisible()) ShowList();
        return true;
    case WM_AC_RESULTS:
        DeliverItems(reinterpret_cast<const std::wstring*>(wParam),
                     reinterpret_cast<const TagItems*>(lParam));
        return true;
    default:
        return false;
    }
}

bool CAutoComplete2::OnKeyDown(WPARAM key) {
    // Refresh requests are posted, so they run after the edit has applied the key.
    switch (key) {
    case VK_BACK:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_DELETE:
        ::PostMessageW(edit_, WM_AC_REFRESH, 1, 0);
        return false;
    case VK_TAB:
        if (ListVisible()) {
            if (::GetAsyncKeyState(VK_SHIFT) & 0x8000)
                SelectPrevious();
            else
                SelectNext();
        }
        return false;
    case VK_RETURN:
        Complete();
        if (ListVisible()) HideList();
        return false;
    case VK_ESCAPE:
        if (ListVisible()) HideList();
        return false;
    case VK_UP:
        if (ListVisible()) SelectPrevious();
        return true;
    case VK_DOWN:
        if (ListVisible()) {
            SelectNext();
        } else {
            ShowList();
            SelectFirst();
        }
        return true;
    default:
        return false; // Home, End and the like: no refresh until the next refreshing key
    }
}

bool CAutoComplete2::OnChar(WPARAM character) {
    switch (character) {
    case L'\t':
    case L'\r':
    case 0x1B:
        return true; // no beep for the keys the list took
    case L',':
        Complete();
        if (ListVisible()) HideList();
        ::PostMessageW(edit_, WM_AC_REFRESH, 0, 0);
        return false; // the comma is typed
    default:
        ::PostMessageW(edit_, WM_AC_REFRESH, 1, 0);
        return false;
    }
}

std::wstring CAutoComplete2::CurrentToken() const {
    const std::wstring text = WindowTextOf(edit_);
    const TokenSpan span = SpanAt(text, CaretOf(edit_));
    std::wstring token = text.substr(span.start, span.end - span.start);
    token.erase(0, std::min(token.find_first_not_of(kWhiteSpace), token.size()));
    if (!token.empty()) ::CharLowerBuffW(&token[0], static_cast<DWORD>(token.size()));
    return token;
}

bool CAutoComplete2::Refresh() {
    std::wstring token = CurrentToken();
    if (token == lastToken_) return false;
    lastToken_ = token;
    // Filled with drawing off: a visible list would otherwise redraw and rescale its
    // scroll bar for every entry.
    ::SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list_, LB_RESETCONTENT, 0, 0);
    const int shown = Fill(token);
    ::SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
    if (token.empty() || shown >= TagQueryWorker::kPageSize) return true; // the cache answers
    const bool useProxy = proxy_ && proxy_->isUse;
    worker_.Request(token, useProxy ? std::optional<std::wstring>(proxy_->full) : std::nullopt);
    return true;
}

int CAutoComplete2::Fill(const std::wstring& token) {
    if (token.empty()) return 0;

    const TagItems& cache = cache_->CurrentItems();
    auto at = std::lower_bound(cache.begin(), cache.end(), token,
                               [](const TagItem& i, const std::wstring& k) { return i.key < k; });
    int shown = 0;
    for (; at != cache.end() && shown < kMostShown && at->key.compare(0, token.size(), token) == 0;
         ++at, ++shown)
        ::SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(at->text.c_str()));
    return shown;
}

void CAutoComplete2::DeliverItems(const std::wstring* token, const TagItems* items) {
    if (!token || !items) return;
    cache_->Merge(*items);
    lastToken_.clear(); // so the refresh below counts as a change
    Refresh();
    if (!ListVisible()) ShowList();
}

void CAutoComplete2::Complete() {
    if (!ListVisible()) return;
    const LRESULT selected = ::SendMessageW(list_, LB_GETCURSEL, 0, 0);
    if (selected < 0) return;
    // Taken whole, however long: a cut tag would be wrong data.
    const LRESULT length = ::SendMessageW(list_, LB_GETTEXTLEN, selected, 0);
    if (length < 0) return;
    std::wstring entry(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got =
        ::SendMessageW(list_, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(&entry[0]));
    if (got < 0) return;
    entry.resize(static_cast<size_t>(got));

    const std::wstring text = WindowTextOf(edit_);
    const TokenSpan span = SpanAt(text, CaretOf(edit_));
    const std::wstring replaced =
        text.substr(0, span.start) + (span.start != 0 ? L" " : L"") + entry + text.substr(span.end);
    ::SetWindowTextW(edit_, replaced.c_str());
    ::SetFocus(edit_);
    size_t caret = replaced.find(L',', span.start);
    if (caret == std::wstring::npos) caret = replaced.size();
    ::SendMessageW(edit_, EM_SETSEL, caret, caret);
    ::SendMessageW(edit_, EM_SCROLLCARET, 0, 0);
    Refresh();
}

bool CAutoComplete2::ListVisible() const {
    return list_ && ::IsWindowVisible(list_);
}

void CAutoComplete2::ShowList() {
    RECT edit;
    ::GetWindowRect(edit_, &edit);
    ::ShowWindow(list_, SW_SHOWNA);
    RECT desktop;
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    int top = edit.bottom;
    if (desktop.bottom - edit.bottom < kListHeight && edit.top - desktop.top >= kListHeight)
        top = edit.top - kAboveOffset;
    ::SetWindowPos(list_, HWND_TOP, edit.left, top, edit.right - edit.left, kListHeight,
                   SWP_NOACTIVATE);
    if (!hooked_) {
        std::lock_guard<std::mutex> hold(g_tablesLock);
        g_shown.insert(this);
        hooked_ = true;
    }
    if (!t_mouseHook)
        t_mouseHook = ::SetWindowsHookExW(WH_MOUSE, MouseHook, nullptr, ::GetCurrentThreadId());
}

void CAutoComplete2::HideList() {
    if (list_) ::ShowWindow(list_, SW_HIDE);
    Unhook();
}

void CAutoComplete2::Unhook() {
    if (!hooked_) return;
    std::lock_guard<std::mutex> hold(g_tablesLock);
    g_shown.erase(this);
    hooked_ = false;
}

// A click anywhere but in the open list closes it, also on windows that take no focus.
LRESULT CALLBACK CAutoComplete2::MouseHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && (wParam == WM_LBUTTONDOWN || wParam == WM_NCLBUTTONDOWN)) {
        const POINT point = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam)->pt;
        const HWND under = ::WindowFromPoint(point);
        std::vector<std::pair<HWND, HWND>> shown; // (edit, list); posted outside the lock
        {
            std::lock_guard<std::mutex> hold(g_tablesLock);
            for (CAutoComplete2* object : g_shown)
                shown.emplace_back(object->edit_, object->list_);
        }
        for (const auto& [edit, list] : shown)
            if (::IsWindowVisible(list) && under != list) ::PostMessageW(edit, WM_AC_HIDE, 0, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void CAutoComplete2::SelectNext() {
    const LRESULT count = ::SendMessageW(list_, LB_GETCOUNT, 0, 0);
    if (count <= 0) return;
    const LRESULT current = ::SendMessageW(list_, LB_GETCURSEL, 0, 0);
    ::SendMessageW(list_, LB_SETCURSEL, std::min<LRESULT>(current + 1, count - 1), 0);
}

void CAutoComplete2::SelectPrevious() {
    const LRESULT count = ::SendMessageW(list_, LB_GETCOUNT, 0, 0);
    if (count <= 0) return;
    const LRESULT current = ::SendMessageW(list_, LB_GETCURSEL, 0, 0);
    ::SendMessageW(list_, LB_SETCURSEL, std::max<LRESULT>(current - 1, 0), 0);
}

void CAutoComplete2::SelectFirst() {
    if (::SendMessageW(list_, LB_GETCOUNT, 0, 0) > 0) ::SendMessageW(list_, LB_SETCURSEL, 0, 0);
}

} // namespace lumexia
