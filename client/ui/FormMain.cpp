#include "FormMain.h"

#include "JobIntake.h"
#include "resource.h"

#include <shellapi.h>

namespace lumexia {

INT_PTR FormMain::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInit();
    case WM_CLOSE:
        OnClose();
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        SetResult(1);
        return TRUE;
    default:
        if (message == HandOverMessage()) {
            OnHandOver(wParam);
            SetResult(1);
            return TRUE;
        }
        // Esc and Enter arrive as IDCANCEL and IDOK and are deliberately left unhandled,
        // so neither closes the dialog.
        return FALSE;
    }
}

BOOL FormMain::OnInit() {
    HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN));
    if (icon) ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    upload_ = false;
    ShowFileCount();
    return TRUE;
}

void FormMain::OnClose() { End(0); }

void FormMain::OnHandOver(WPARAM wParam) {
    if (wParam != 1) return;
    TakeHandOver(*jobs_);
    ShowFileCount();
    BringToFront(Handle());
}

void FormMain::OnDropFiles(HDROP drop) {
    if (!drop) return;
    TakeDroppedFiles(drop, *jobs_);
    ::DragFinish(drop);
    ShowFileCount();
    BringToFront(Handle());
}

void FormMain::ShowFileCount() { SetItemText(IDC_FILE_COUNT, FileCountText(jobs_->size())); }

} // namespace lumexia
