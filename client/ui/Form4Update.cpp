#include "ui/Form4Update.h"

#include "resources/resource.h"

namespace lumexia {

bool Form4Update::OnButton(int id) {
    if (id == IDC_UPDATE_OK) {
        accepted_ = true;
    } else if (id == IDC_UPDATE_CANCEL) {
        accepted_ = false;
        doNotShow_ = IsChecked(IDC_UPDATE_NOSHOW);
    } else {
        return false;
    }
    End(0);
    return true;
}

} // namespace lumexia
