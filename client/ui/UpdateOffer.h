// The start-up step of the main dialog that checks for a newer client version, offers it
// and, when the user takes it, hands its address to the shell.
#pragma once

#include "settings/SettingsRecords.h"

#include <windows.h>

namespace lumexia {

// Runs the check in its progress dialog and, when a newer version is offered, the notice,
// both owned as the login flow's dialogs are (ModalOwner of `mainDialog`). True when the
// user took the update (the caller then ends without an upload); a failed check, or a
// notice that could not be shown, is no reason to stop and reads as false.
// `flags`: the notice flags as read when the dialog opened; a declined offer saves them.
bool OfferUpdateAtStart(HWND mainDialog, const ProxySettings& proxy, NoticeFlags flags);

} // namespace lumexia
