#include "ui/Form4Proxy.h"

#include "framework/CenterOnOwner.h"
#include "resources/resource.h"
#include "settings/SettingsGroups.h"

namespace lumexia {
namespace {

constexpr INT_PTR kAccepted = 1;
constexpr INT_PTR kCancelled = 0;

} // namespace

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
        End(kAccepted);
        return true;
    }
    if (id == IDC_PROXY_CANCEL) {
        End(kCancelled);
        return true;
    }
    return false;
}

bool Form4Proxy::OnClose() {
    End(kCancelled);
    return true;
}

void EditProxySettings(ProxySettings& settings) {
    Form4Proxy dialog(&settings);
    if (dialog.RunModal(IDD_PROXY, ::GetActiveWindow()) == kAccepted) SaveProxySettings(settings);
}

} // namespace lumexia
