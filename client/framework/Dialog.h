// Base of every dialog of the client: a modal dialog from a resource template. The base
// dispatches the common messages to named handlers, so a dialog overrides only what it
// handles:
//     WM_INITDIALOG -> OnInit, WM_COMMAND with BN_CLICKED -> OnButton(id), any other
//     WM_COMMAND -> OnCommand(id, code), WM_NOTIFY -> OnNotify, WM_CLOSE -> OnClose,
//     anything else -> OnMessage.
// A handler returns true when it handled the message; a message whose result is not the
// handled flag stores it with SetResult. A dialog ends with End(result), and its Run
// returns that result (IDOK, IDCANCEL or an enum of the dialog's own).
//
// Hazard: handlers run inside the window procedure. The base catches every exception
// there, so none crosses into the system's message loop.
#pragma once

#include "common/ScopedWin.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace lumexia {

class Dialog {
public:
    Dialog() = default;
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    HWND Handle() const { return hwnd_; }

protected:
    // Runs the dialog modally from template `resourceId` of this program's module;
    // returns the value given to End, or -1 when the dialog could not be created. Each
    // dialog's own Run(owner) passes its template and turns this into its result.
    INT_PTR RunModal(int resourceId, HWND owner);

    // WM_INITDIALOG. TRUE lets the system focus the first tab stop; FALSE means the
    // dialog set the focus itself.
    virtual BOOL OnInit() { return TRUE; }
    // A button click (BN_CLICKED, which a menu command also carries). Enter arrives as the
    // default button's click (IDOK when there is none), Esc as IDCANCEL. Unhandled, the
    // system does nothing: a dialog that does not handle IDCANCEL is not closed by Esc.
    virtual bool OnButton(int id) {
        (void)id;
        return false;
    }
    // Every other WM_COMMAND: control notifications (EN_CHANGE and the like), accelerators.
    virtual bool OnCommand(int id, int code) {
        (void)id;
        (void)code;
        return false;
    }
    // WM_NOTIFY from a common control; a result for the control goes through SetResult.
    virtual bool OnNotify(const NMHDR& header) {
        (void)header;
        return false;
    }
    // WM_CLOSE (the close box, Alt+F4). Unhandled, the system sends IDCANCEL.
    virtual bool OnClose() { return false; }
    // Every other message; return TRUE when handled.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        (void)message;
        (void)wParam;
        (void)lParam;
        return FALSE;
    }

    void End(INT_PTR code);
    void SetResult(LONG_PTR result);

    // Control helpers.
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    std::wstring ItemText(int id) const;
    // At most `maxChars` characters of the control's text.
    std::wstring ItemText(int id, int maxChars) const;
    // The control's text as a fresh BSTR; none (null) for empty text.
    UniqueBstr ItemBstr(int id) const;
    void SetItemText(int id, const std::wstring& text);
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);
    void EnableItem(int id, bool enable);
    void SetCaption(const std::wstring& text);

    // Drop-down list helpers (CB_* messages); positions are zero based, -1 is none.
    int ComboAdd(int id, const std::wstring& text, LPARAM data);
    int ComboInsert(int id, int position, const std::wstring& text, LPARAM data);
    void ComboClear(int id);
    int ComboSelection(int id) const;
    void ComboSelect(int id, int position);
    LPARAM ComboData(int id, int position) const;
    int ComboFindExact(int id, const std::wstring& text) const;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

// Registers the common-control classes the dialogs' templates name (the standard ones and
// SysLink) once per process; true when the classes are available.
bool InitDialogControls();

// Text of any window, whole.
std::wstring WindowText(HWND hwnd);

// Text of any window as a fresh BSTR; none (null) for empty text.
UniqueBstr WindowTextBstr(HWND hwnd);

} // namespace lumexia
