// The start-up step of the main dialog that checks for a newer client version, offers it
// and, when the user takes it, hands its address to the shell and ends the dialog.
#include "ui/FormMain.h"

#include "operations/Form4Server.h"
#include "service/UpdateCheck.h"
#include "settings/SettingsGroups.h"
#include "resources/resource.h"
#include "ui/Form4Update.h"

#include <shellapi.h>

namespace lumexia {

bool FormMain::CheckForUpdateAtStart() {
    // Every server call needs the proxy setting: the one read when the dialog opened.
    proxy_ = atOpen_.proxy;

    Form4Server check(kOperationUpdateCheck);
    check.Context().useProxy = true;
    check.Context().proxy = proxy_;
    // A failed check is not worth a message: the user came to upload pictures.
    if (!check.Run(::GetActiveWindow()) || !check.Success() || !check.Finished()) return true;
    const int major = check.Context().updateMajor;
    const int minor = check.Context().updateMinor;
    const std::wstring address = check.Context().updatePath;

    NoticeFlags flags = atOpen_.notices;
    if (!IsUpdateOffered(major, minor, flags.showUpdate)) return true;

    Form4Update notice;
    notice.RunModal(IDD_UPDATE, ::GetActiveWindow());
    if (!notice.Accepted()) {
        flags.showUpdate = !notice.DoNotShowAgain();
        SaveNoticeFlags(flags);
        return true;
    }
    // The address came over the network: it reaches the shell only as an absolute web
    // address (checked again here, whatever the operation let through), so the shell can
    // do nothing with it but start the browser.
    const std::wstring safe = ShellSafeUpdateAddress(address);
    if (!safe.empty()) ::ShellExecuteW(nullptr, nullptr, safe.c_str(), nullptr, nullptr, SW_HIDE);
    upload_ = false;
    End(0);
    return false;
}

} // namespace lumexia
