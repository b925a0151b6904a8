#include "ui/Form4Update.h"

#include "resources/resource.h"

namespace lumexia {

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
