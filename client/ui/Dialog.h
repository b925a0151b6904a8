// Base of every dialog of the client: a modal dialog from a resource template whose
// messages reach one virtual dispatch function, OnMessage. A subclass's OnMessage is a
// switch that calls short named handlers (OnInit, OnCommand, OnNotify, ...).
//
// Hazard: OnMessage runs inside the window procedure. The base catches every exception
// there, so none crosses into the system's message loop.
#pragma once

#include <windows.h>

#include <string>

namespace lumexia {

class Dialog {
public:
    Dialog() = default;
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally from template `resourceId` of this program's module;
    // returns the value given to End, or -1 when the dialog could not be created.
    INT_PTR RunModal(int resourceId, HWND owner);

    HWND Handle() const { return hwnd_; }

protected:
    // Return TRUE when the message was handled; for messages whose result is not the
    // handled flag, store the result with SetResult and return TRUE.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    void End(INT_PTR code);
    void SetResult(LONG_PTR result);

    // Control helpers.
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    std::wstring ItemText(int id) const;
    // At most `maxChars` characters of the control's text.
    std::wstring ItemText(int id, int maxChars) const;
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

    HWND hwnd_ = nullptr;
};

// Text of any window, whole.
std::wstring WindowText(HWND hwnd);

} // namespace lumexia
