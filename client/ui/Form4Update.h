// The notice of a newer client version (template 107), shown at start-up. It only asks:
// whether to install now and, when not, whether to keep offering minor versions. It
// closes through its two buttons alone.
#pragma once

#include "framework/Dialog.h"

namespace lumexia {

class Form4Update : public Dialog {
public:
    // The user pressed "OK".
    bool Accepted() const { return accepted_; }
    // The state of "Больше не показывать это окно" when the user pressed "Отмена"; false
    // after "OK", which leaves the box unread.
    bool DoNotShowAgain() const { return doNotShow_; }

protected:
    bool OnButton(int id) override;

private:
    bool accepted_ = false;
    bool doNotShow_ = false;
};

} // namespace lumexia
