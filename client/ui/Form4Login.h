// The login dialog (template 105): user name, password, "remember" box, and four ways out.
// It decides nothing itself: the login flow (ui/LoginFlow.h) reads what the user chose.
#pragma once

#include "framework/Dialog.h"

#include <string>

namespace lumexia {

class Form4Login : public Dialog {
public:
    enum Result { kCancel = 0, kOk = 1, kAnonymous = 2, kForget = 3 };

    // In: shown in the edits. Out: what the edits held when the dialog ended, except that
    // an emptied edit keeps the value the dialog opened with.
    std::wstring userName;
    std::wstring password;
    bool remember = false; // out: the "Сохранить" box

    // Modal; the way the user left, kCancel when the dialog could not be shown.
    Result Run(HWND owner);

protected:
    BOOL OnInit() override;
    bool OnButton(int id) override;
    bool OnNotify(const NMHDR& header) override;

private:
    void Finish(Result chosen);
};

} // namespace lumexia
