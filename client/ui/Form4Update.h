// The notice of a newer client version (template 107), shown at start-up. It only asks:
// whether to install now and, when not, whether to keep offering minor versions. It
// closes through its two buttons alone.
#pragma once

#include "framework/Dialog.h"

namespace lumexia {

class Form4Update : public Dialog {
public:
    // How the notice ended: "OK", or "Отмена" with "Больше не показывать это окно" clear
    // or ticked ("OK" leaves the box unread); kNotShown when it could not be created.
    enum Result { kNotShown = 0, kInstall = 1, kLater = 2, kNeverAgain = 3 };

    // Modal.
    Result Run(HWND owner);

protected:
    bool OnButton(int id) override;
};

} // namespace lumexia
