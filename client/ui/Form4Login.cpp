#include "ui/Form4Login.h"

#include "framework/CenterOnOwner.h"
#include "resources/resource.h"

#include <commctrl.h>

namespace lumexia {

Form4Login::Result Form4Login::Run(HWND owner) {
    const INT_PTR ended = RunModal(IDD_LOGIN, owner);
    switch (ended) {
    case kOk:
    case kAnonymous:
    case kForget:
        return static_cast<Result>(ended);
    default:
        return kCancel; // also when the dialog could not be shown
    }
}

BOOL Form4Login::OnInit() {
    SetItemText(IDC_LOGIN_NAME, userName);
    SetItemText(IDC_LOGIN_PASSWORD, password);
    SetChecked(IDC_LOGIN_REMEMBER, true);
    ::SendMessageW(Item(IDC_LOGIN_PASSWORD), EM_SETPASSWORDCHAR, L'*', 0);
    CenterOnOwner(Handle());
    return TRUE;
}

bool Form4Login::OnButton(int id) {
    // Enter arrives as the default button's click. Esc (IDCANCEL) is deliberately not
    // handled: the dialog has no way out but its buttons and its link.
    switch (id) {
    case IDC_LOGIN_OK:
        Finish(kOk);
        return true;
    case IDC_LOGIN_CANCEL:
        Finish(kCancel);
        return true;
    case IDC_LOGIN_ANONYMOUS:
        Finish(kAnonymous);
        return true;
    default:
        return false;
    }
}

bool Form4Login::OnNotify(const NMHDR& header) {
    if (header.idFrom != IDC_LOGIN_FORGET || header.code != NM_CLICK) return false;
    Finish(kForget);
    return true;
}

void Form4Login::Finish(Result chosen) {
    const std::wstring typedName = ItemText(IDC_LOGIN_NAME);
    const std::wstring typedPassword = ItemText(IDC_LOGIN_PASSWORD);
    if (!typedName.empty()) userName = typedName;
    if (!typedPassword.empty()) password = typedPassword;
    remember = IsChecked(IDC_LOGIN_REMEMBER);
    End(chosen);
}

} // namespace lumexia
