// With no user name and password stored, the client asks for a login at its first paint.
// Tests of other parts work anonymously: they set the settings file aside (a login stored
// by an earlier run, the demo's say, would sign in instead; SettingsSetAside) and answer
// that dialog with "Отмена", after which the main dialog takes input again. Needs the UI
// driver and the client's ids.
#pragma once

#include "TestSupport.h"
#include "UiDriver.h"
#include "resources/resource.h"

namespace testing_support {

// Waits for the login dialog of process `pid` and cancels it; false when none appeared.
inline bool SkipLoginPrompt(DWORD pid, DWORD timeoutMs = 60000) {
    HWND login = uidriver::WaitForDialog(IDC_LOGIN_NAME, pid, timeoutMs);
    if (!login) return false;
    uidriver::Click(login, IDC_LOGIN_CANCEL);
    return uidriver::WaitForGone(login, timeoutMs);
}

} // namespace testing_support
