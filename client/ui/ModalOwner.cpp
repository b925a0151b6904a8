#include "ui/ModalOwner.h"

namespace lumexia {

HWND ModalOwner(HWND mainDialog) {
    HWND active = ::GetActiveWindow();
    return active ? active : mainDialog;
}

} // namespace lumexia
