#include "ui/Form4Update.h"

#include "resources/resource.h"

namespace lumexia {

Form4Update::Result Form4Update::Run(HWND owner) {
    const INT_PTR ended = RunModal(IDD_UPDATE, owner);
    return ended == kInstall || ended == kNeverAgain ? static_cast<Result>(ended) : kLater;
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
