#include "ui/Form4Proxy.h"

#include "framework/CenterOnOwner.h"
#include "resources/resource.h"
#include "service/ProxyAddress.h"
#include "settings/SettingsGroups.h"

namespace lumexia {

INT_PTR Form4Proxy::Run(HWND owner) {
    return RunModal(IDD_PROXY, owner) == IDOK ? IDOK : IDCANCEL;
}

std::wstring ProxySettingProblem(bool use, const std::wstring& text) {
    // Box off: the system's settings, whatever the text (kept for next time). Box on and
    // nothing typed: direct, no proxy at all.
    if (!use) return std::wstring();
    bool blank = true;
    for (wchar_t c : text)
        if (!iswspace(c)) blank = false;
    if (blank) return std::wstring();
    ProxyAddress address;
    return ProxyTextProblemMessage(ParseProxyText(text, address));
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
        const std::wstring problem =
            ProxySettingProblem(IsChecked(IDC_PROXY_USE), ItemText(IDC_PROXY_FULL));
        if (!problem.empty()) {
            // The dialog stays open with the text as typed, so it can be corrected.
            ::MessageBoxW(Handle(), problem.c_str(), L"Error", MB_OK);
            return true;
        }
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
