// With no user name and password stored, the client asks for a login at its first paint.
// Tests of other parts work anonymously: they set the settings file aside (a login stored
// by an earlier run, the demo's say, would sign in instead) and answer that dialog with
// "Отмена", after which the main dialog takes input again. Needs the UI driver and the
// client's ids.
#pragma once

#include "TestSupport.h"
#include "UiDriver.h"
#include "common/DataFolder.h"
#include "resources/resource.h"

#include <string>

namespace testing_support {

// Moves config2.txt out of the way for its lifetime and puts it back afterwards.
class SettingsSetAside {
public:
    SettingsSetAside() : path_(lumexia::DataFolder() + L"config2.txt") {
        saved_ = ReadBytes(path_, &had_);
        RemoveFile(path_);
    }
    ~SettingsSetAside() {
        RemoveFile(path_);
        if (had_) WriteBytes(path_, saved_);
    }
    SettingsSetAside(const SettingsSetAside&) = delete;
    SettingsSetAside& operator=(const SettingsSetAside&) = delete;

private:
    std::wstring path_;
    std::string saved_;
    bool had_ = false;
};

// Waits for the login dialog of process `pid` and cancels it; false when none appeared.
inline bool SkipLoginPrompt(DWORD pid, DWORD timeoutMs = 60000) {
    HWND login = uidriver::WaitForDialog(IDC_LOGIN_NAME, pid, timeoutMs);
    if (!login) return false;
    uidriver::Click(login, IDC_LOGIN_CANCEL);
    return uidriver::WaitForGone(login, timeoutMs);
}

} // namespace testing_support
