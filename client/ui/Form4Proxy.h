// The proxy setting (template 111): whether server requests go through a proxy and which
// one, as one "address:port" text ("user:password@address:port" for a proxy that asks),
// stored as typed once it reads as a proxy; the stored address and port keys are left
// alone. Box off: the system's proxy settings; box on and no text: no proxy at all.
#pragma once

#include "framework/Dialog.h"
#include "settings/SettingsRecords.h"

#include <string>

namespace lumexia {

// What is wrong with the dialog's values, as the "Error" box says it; empty when they can
// be accepted. Only a text in use is checked; an empty one in use means direct.
std::wstring ProxySettingProblem(bool use, const std::wstring& text);

// Ends with IDOK when the user accepted (the settings then hold the new values), IDCANCEL
// otherwise.
class Form4Proxy : public Dialog {
public:
    // `settings` may be null: the dialog then shows nothing and changes nothing.
    explicit Form4Proxy(ProxySettings* settings) : settings_(settings) {}

    // Modal; IDCANCEL also when the dialog could not be shown.
    INT_PTR Run(HWND owner);

protected:
    BOOL OnInit() override;
    bool OnButton(int id) override;
    bool OnClose() override;

private:
    ProxySettings* settings_;
};

// Runs the proxy dialog over `settings`, owned by the active window; when the user
// accepts, `settings` holds the new values and they are saved at once (a save that fails
// is not reported; the values then hold for this run).
void EditProxySettings(ProxySettings& settings);

} // namespace lumexia
