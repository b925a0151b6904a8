#include "framework/Dialog.h"

#include <exception>

namespace lumexia {

INT_PTR Dialog::RunModal(int resourceId, HWND owner) {
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), owner,
                             &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE; // messages before WM_INITDIALOG (WM_SETFONT and the like)
    INT_PTR handled = FALSE;
    try {
        handled = self->Dispatch(message, wParam, lParam);
    } catch (const std::exception& e) {
        // The message is reported unhandled so the system's default (DefDlgProc) still
        // runs: a half-done handler must not also swallow what the default would do.
        ::OutputDebugStringA("lumexia: dialog handler threw: ");
        ::OutputDebugStringA(e.what());
        ::OutputDebugStringA("\n");
        handled = FALSE;
    } catch (...) {
        ::OutputDebugStringW(L"lumexia: dialog handler threw a non-standard exception\n");
        handled = FALSE;
    }
    if (message == WM_NCDESTROY) self->hwnd_ = nullptr;
    return handled;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInit();
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        const bool handled = code == BN_CLICKED ? OnButton(id) : OnCommand(id, code);
        return handled ? TRUE : FALSE;
    }
    case WM_NOTIFY:
        if (!lParam) return FALSE;
        return OnNotify(*reinterpret_cast<const NMHDR*>(lParam)) ? TRUE : FALSE;
    case WM_CLOSE:
        return OnClose() ? TRUE : FALSE;
    default:
        return OnMessage(message, wParam, lParam);
    }
}

void Dialog::End(INT_PTR code) {
    ::EndDialog(hwnd_, code);
}

void Dialog::SetResult(LONG_PTR result) {
    ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
}

bool InitDialogControls() {
    // SysLink is named too: the main dialog's links need it where the common controls do
    // not register every class on their own.
    INITCOMMONCONTROLSEX classes = {sizeof(INITCOMMONCONTROLSEX),
                                    ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    return ::InitCommonControlsEx(&classes) != FALSE;
}

std::wstring WindowText(HWND hwnd) {
    int length = ::GetWindowTextLengthW(hwnd);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = ::GetWindowTextW(hwnd, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

UniqueBstr WindowTextBstr(HWND hwnd) {
    const std::wstring text = WindowText(hwnd);
    if (text.empty()) return UniqueBstr();
    return UniqueBstr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

std::wstring Dialog::ItemText(int id) const {
    return WindowText(Item(id));
}

std::wstring Dialog::ItemText(int id, int maxChars) const {
    std::wstring text(static_cast<size_t>(maxChars) + 1, L'\0');
    int got = ::GetDlgItemTextW(hwnd_, id, &text[0], maxChars + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

UniqueBstr Dialog::ItemBstr(int id) const {
    return WindowTextBstr(Item(id));
}

void Dialog::SetItemText(int id, const std::wstring& text) {
    ::SetDlgItemTextW(hwnd_, id, text.c_str());
}

bool Dialog::IsChecked(int id) const {
    return ::IsDlgButtonChecked(hwnd_, id) == BST_CHECKED;
}

void Dialog::SetChecked(int id, bool checked) {
    ::CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Dialog::EnableItem(int id, bool enable) {
    ::EnableWindow(Item(id), enable ? TRUE : FALSE);
}

void Dialog::SetCaption(const std::wstring& text) {
    ::SetWindowTextW(hwnd_, text.c_str());
}

int Dialog::ComboAdd(int id, const std::wstring& text, LPARAM data) {
    int position = static_cast<int>(
        ::SendDlgItemMessageW(hwnd_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    if (position >= 0) ::SendDlgItemMessageW(hwnd_, id, CB_SETITEMDATA, position, data);
    return position;
}

int Dialog::ComboInsert(int id, int position, const std::wstring& text, LPARAM data) {
    int at = static_cast<int>(::SendDlgItemMessageW(hwnd_, id, CB_INSERTSTRING, position,
                                                    reinterpret_cast<LPARAM>(text.c_str())));
    if (at >= 0) ::SendDlgItemMessageW(hwnd_, id, CB_SETITEMDATA, at, data);
    return at;
}

void Dialog::ComboClear(int id) {
    ::SendDlgItemMessageW(hwnd_, id, CB_RESETCONTENT, 0, 0);
}

int Dialog::ComboSelection(int id) const {
    return static_cast<int>(::SendDlgItemMessageW(hwnd_, id, CB_GETCURSEL, 0, 0));
}

void Dialog::ComboSelect(int id, int position) {
    ::SendDlgItemMessageW(hwnd_, id, CB_SETCURSEL, position, 0);
}

LPARAM Dialog::ComboData(int id, int position) const {
    return ::SendDlgItemMessageW(hwnd_, id, CB_GETITEMDATA, position, 0);
}

int Dialog::ComboFindExact(int id, const std::wstring& text) const {
    return static_cast<int>(::SendDlgItemMessageW(hwnd_, id, CB_FINDSTRINGEXACT, -1,
                                                  reinterpret_cast<LPARAM>(text.c_str())));
}

} // namespace lumexia
