#include "codes/FormClip.h"

#include "codes/LinkCodes.h"
#include "settings/SettingsGroups.h"
#include "resources/resource.h"

namespace lumexia {

FormClip::Result FormClip::Run(HWND owner) {
    return RunModal(IDD_CLIP, owner) == kCopied ? kCopied : kNotCopied;
}

BOOL FormClip::OnInit() {
    // A clipboard that could not be emptied or filled is reported like one that could not
    // be opened: the notice must never claim codes that are not there. Every picture is on
    // the service by now, so a clipboard another program holds longer than the short wait
    // must not cost the codes: the user may try again once it lets go.
    while (!CopyCodesToClipboard(Handle(), *images_)) {
        const int answer = ::MessageBoxW(Handle(), L"Ошибка при копировании ссылок в буфер обмена.",
                                         L"Error", MB_RETRYCANCEL);
        if (answer != IDRETRY) {
            End(kNotCopied);
            return TRUE;
        }
    }
    NoticeFlags flags;
    LoadNoticeFlags(flags);
    if (flags.showCompletion)
        SetCaption(L"ЛУМЕКСИЯ");
    else
        End(kCopied);
    return TRUE;
}

bool FormClip::OnButton(int id) {
    if (id != IDC_CLIP_OK) return false;
    OnOk();
    return true;
}

void FormClip::OnOk() {
    NoticeFlags flags;
    LoadNoticeFlags(flags);
    flags.showCompletion = !IsChecked(IDC_CLIP_NOSHOW);
    SaveNoticeFlags(flags);
    End(kCopied);
}

} // namespace lumexia
