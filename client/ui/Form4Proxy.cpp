#include "ui/Form4Proxy.h"

#include "framework/CenterOnOwner.h"
#include "resources/resource.h"
#include "settings/SettingsGroups.h"

namespace lumexia {

INT_PTR Form4Proxy::Run(HWND owner) {
    return RunModal(IDD_PROXY, owner) == IDOK ? IDOK : IDCANCEL;
}

BOOL Form4Proxy::OnInit() {
    if (settings_) {
        SetItemText(IDC_PROXY_FULL, settings_->full);
        SetChecked(IDC_PROXY_USE, settings_->isUse);
    }
    CenterOnOwner(Handle());
    return TRUE;
}

bool Form4Proxy::OnButton(int id) {
    if (id == IDC_PROXY_OK) {
        if (settings_) {
            settings_->isUse = IsChecked(IDC_PROXY_USE);
            settings_->full = ItemText(IDC_PROXY_FULL);
        }
        End(IDOK);
        return true;
    }
    if (id == IDC_PROXY_CANCEL) {
        End(IDCANCEL);
        return true;
    }
    return false;
}

bool Form4Proxy::OnClose() {
    End(IDCANCEL);
    return true;
}

void EditProxySettings(ProxySettings& settings) {
    Form4Proxy dialog(&settings);
    if (dialog.Run(::GetActiveWindow()) == IDOK) SaveProxySettings(settings);
}

} // namespace lumexia
