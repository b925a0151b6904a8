// The owner of the dialogs the main dialog opens on its own (progress dialogs of its
// server calls, the login dialog, the update notice).
#pragma once

#include <windows.h>

namespace lumexia {

// The thread's active window, so a dialog stays modal to whatever is in front; before the
// main dialog has been activated (its first paint) there is none, and then `mainDialog`,
// which must not take input while the dialog runs. A dialog created without an owner
// would leave the main dialog enabled: its buttons and close box would work meanwhile.
HWND ModalOwner(HWND mainDialog);

} // namespace lumexia
