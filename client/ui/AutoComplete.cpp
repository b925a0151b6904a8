#include "ui/AutoComplete.h"

#include "ui/TagText.h"

#include <commctrl.h>

namespace lumexia {
namespace {

constexpr UINT_PTR kSubclassId = 1;
// Marks an edit that has a completion attached (MinGW's comctl32 import library has no
// GetWindowSubclass to ask), so a second object leaves it alone.
const wchar_t kAttachedProperty[] = L"LumexiaTagCompletion";

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

CAutoComplete2::CAutoComplete2() : cache_(std::make_shared<TagCache>()), worker_(cache_) {}

CAutoComplete2::~CAutoComplete2() {
    cache_->Detach();
    list_.Unhook();
    // Normally the dialog, and with it both windows, is gone by now (the edit's handle was
    // cleared when it went); otherwise the edit outlives this object and keeps only its
    // own procedure.
    if (edit_ && ::IsWindow(edit_)) {
        ::RemoveWindowSubclass(edit_, EditProc, kSubclassId);
        ::RemovePropW(edit_, kAttachedProperty);
    }
    list_.Destroy();
    worker_.Stop();
}

void CAutoComplete2::Attach(HWND edit, const ProxySettings& proxy) {
    if (edit_ || !edit || ::GetPropW(edit, kAttachedProperty)) return;
    proxy_ = &proxy;
    if (!list_.Create(edit)) return; // the edit works without completion
    if (!::SetWindowSubclass(edit, EditProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        list_.Destroy();
        return;
    }
    ::SetPropW(edit, kAttachedProperty, reinterpret_cast<HANDLE>(this));
    edit_ = edit;
    cache_->SetEdit(edit);
}

LRESULT CALLBACK CAutoComplete2::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR reference) {
    auto* self = reinterpret_cast<CAutoComplete2*>(reference);
    if (message == WM_NCDESTROY) {
        // The edit goes before its object: no delivery, hook or later call may reach it.
        ::RemoveWindowSubclass(hwnd, EditProc, kSubclassId);
        ::RemovePropW(hwnd, kAttachedProperty);
        self->cache_->Detach();
        self->list_.Unhook();
        self->edit_ = nullptr; // a later window may get the same handle
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
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

bool CAutoComplete2::OnEditMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_KEYDOWN:
        return OnKeyDown(wParam);
    case WM_SYSKEYDOWN:
        if (wParam != VK_DOWN) return false;
        OnAltDown();
        return true;
    case WM_CHAR:
        return OnChar(wParam);
    case WM_GETDLGCODE:
        // While the list is open, Tab, Enter and Esc belong to it: the dialog must not move
        // the focus, press a button or cancel.
        if (!list_.Visible() || !KeyOfDialogManager(reinterpret_cast<const MSG*>(lParam)))
            return false;
        result =
            ::DefSubclassProc(edit_, message, wParam, lParam) | DLGC_WANTTAB | DLGC_WANTALLKEYS;
        return true;
    case WM_KILLFOCUS: {
        const bool toFilledList =
            reinterpret_cast<HWND>(wParam) == list_.Handle() && list_.Count() > 0;
        if (list_.Visible() && !toFilledList) ::PostMessageW(edit_, WM_AC_HIDE, 0, 0);
        return false;
    }
    case WM_COMMAND:
        if (reinterpret_cast<HWND>(lParam) != list_.Handle() || HIWORD(wParam) != LBN_SELCHANGE)
            return false;
        Complete();
        list_.Hide();
        return true;
    case WM_MOUSEWHEEL:
        ::PostMessageW(list_.Handle(), WM_MOUSEWHEEL, wParam, lParam);
        return false;
    case WM_AC_HIDE:
        list_.Hide();
        return true;
    case WM_AC_REFRESH:
        if (Refresh() && wParam == 1 && !list_.Visible()) list_.Show();
        return true;
    case WM_AC_RESULTS:
        DeliverItems(reinterpret_cast<const std::wstring*>(wParam),
                     reinterpret_cast<const TagItems*>(lParam));
        return true;
    default:
        return false;
    }
}

void CAutoComplete2::OnAltDown() {
    if (list_.Visible()) {
        list_.Hide();
    } else {
        list_.Show();
        list_.SelectFirst();
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
        if (list_.Visible()) {
            if (::GetAsyncKeyState(VK_SHIFT) & 0x8000)
                list_.SelectPrevious();
            else
                list_.SelectNext();
        }
        return false;
    case VK_RETURN:
        Complete();
        if (list_.Visible()) list_.Hide();
        return false;
    case VK_ESCAPE:
        if (list_.Visible()) list_.Hide();
        return false;
    case VK_UP:
        if (list_.Visible()) list_.SelectPrevious();
        return true;
    case VK_DOWN:
        if (list_.Visible()) {
            list_.SelectNext();
        } else {
            list_.Show();
            list_.SelectFirst();
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
        if (list_.Visible()) list_.Hide();
        ::PostMessageW(edit_, WM_AC_REFRESH, 0, 0);
        return false; // the comma is typed
    default:
        ::PostMessageW(edit_, WM_AC_REFRESH, 1, 0);
        return false;
    }
}

std::wstring CAutoComplete2::CurrentToken() const {
    return TagTokenAt(WindowTextOf(edit_), CaretOf(edit_));
}

bool CAutoComplete2::Refresh() {
    std::wstring token = CurrentToken();
    if (token == lastToken_) return false;
    lastToken_ = token;
    // Filled with drawing off: a visible list would otherwise redraw and rescale its
    // scroll bar for every entry.
    list_.BeginFill();
    const int shown = Fill(token);
    list_.EndFill();
    if (token.empty() || shown >= TagQueryWorker::kPageSize) return true; // the cache answers
    const bool useProxy = proxy_ && proxy_->isUse;
    worker_.Request(token, useProxy ? std::optional<std::wstring>(proxy_->full) : std::nullopt);
    return true;
}

int CAutoComplete2::Fill(const std::wstring& token) {
    if (token.empty()) return 0;

    const TagItems& cache = cache_->CurrentItems();
    auto at = FirstKeyFrom(cache, token);
    int shown = 0;
    for (; at != cache.end() && shown < kMostShown && at->key.compare(0, token.size(), token) == 0;
         ++at, ++shown)
        list_.Add(at->text);
    return shown;
}

void CAutoComplete2::DeliverItems(const std::wstring* token, const TagItems* items) {
    if (!token || !items) return;
    cache_->Merge(*items);
    lastToken_.clear(); // so the refresh below counts as a change
    Refresh();
    if (!list_.Visible()) list_.Show();
}

void CAutoComplete2::Complete() {
    if (!list_.Visible()) return;
    std::wstring entry; // taken whole, however long: a cut tag would be wrong data
    if (!list_.Selected(entry)) return;

    const TagCompletion done = CompleteTagAt(WindowTextOf(edit_), CaretOf(edit_), entry);
    ::SetWindowTextW(edit_, done.text.c_str());
    ::SetFocus(edit_);
    ::SendMessageW(edit_, EM_SETSEL, done.caret, done.caret);
    ::SendMessageW(edit_, EM_SCROLLCARET, 0, 0);
    Refresh();
}

} // namespace lumexia
