#include "ui/Form4Update.h"

#include "resources/resource.h"

namespace lumexia {

Form4Update::Result Form4Update::Run(HWND owner) {
    switch (RunModal(IDD_UPDATE, owner)) {
    case kInstall:
        return kInstall;
    case kLater:
        return kLater;
    case kNeverAgain:
        return kNeverAgain;
    default:
        return kNotShown; // -1: never on screen, so the user chose nothing
    }
}

bool Form4Update::OnButton(int id) {
    if (id == IDC_UPDATE_OK) {
        End(kInstall);
    } else if (id == IDC_UPDATE_CANCEL) {
        End(IsChecked(IDC_UPDATE_NOSHOW) ? kNeverAgain : kLater);
    } else {
        return false;
    }
    return true;
}

} // namespace lumexia
