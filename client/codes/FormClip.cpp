#include "FormClip.h"

#include "LinkCodes.h"
#include "SettingsGroups.h"
#include "resource.h"

namespace lumexia {

INT_PTR FormClip::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInit();
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CLIP_OK && HIWORD(wParam) == BN_CLICKED) {
            OnOk();
            return TRUE;
        }
        return FALSE; // nothing else closes the notice
    default:
        return FALSE;
    }
}

BOOL FormClip::OnInit() {
    // A clipboard that could not be emptied or filled is reported like one that could not
    // be opened: the notice must never claim codes that are not there.
    if (!CopyCodesToClipboard(Handle(), *images_)) {
        ::MessageBoxW(Handle(), L"Ошибка при копировании ссылок в буфер обмена.", L"Error", MB_OK);
        End(0);
        return TRUE;
    }
    NoticeFlags flags;
    LoadNoticeFlags(flags);
    if (flags.showCompletion)
        SetCaption(L"ЛУМЕКСИЯ");
    else
        End(0);
    return TRUE;
}

void FormClip::OnOk() {
    NoticeFlags flags;
    LoadNoticeFlags(flags);
    flags.showCompletion = !IsChecked(IDC_CLIP_NOSHOW);
    SaveNoticeFlags(flags);
    End(0);
}

} // namespace lumexia
