#include "ui/UpdateOffer.h"

#include "operations/Form4Server.h"
#include "service/UpdateCheck.h"
#include "settings/SettingsGroups.h"
#include "ui/Form4Update.h"
#include "ui/ModalOwner.h"

#include <shellapi.h>

namespace lumexia {

bool OfferUpdateAtStart(HWND mainDialog, const ProxySettings& proxy, NoticeFlags flags) {
    Form4Server check(kOperationUpdateCheck);
    check.Context().useProxy = true;
    check.Context().proxy = proxy;
    // A failed check is not worth a message: the user came to upload pictures.
    if (!check.Run(ModalOwner(mainDialog)) || !check.Success() || !check.Finished()) return false;
    const int major = check.Context().updateMajor;
    const int minor = check.Context().updateMinor;
    const std::wstring address = check.Context().updatePath;

    if (!IsUpdateOffered(major, minor, flags.showUpdate)) return false;

    Form4Update notice;
    const Form4Update::Result answer = notice.Run(ModalOwner(mainDialog));
    // A notice the user never saw gave no answer: the stored choice stays as it is.
    if (answer == Form4Update::kNotShown) return false;
    if (answer != Form4Update::kInstall) {
        flags.showUpdate = answer != Form4Update::kNeverAgain;
        SaveNoticeFlags(flags);
        return false;
    }
    // The address came over the network: it reaches the shell only as an absolute web
    // address (checked again here, whatever the operation let through), so the shell can
    // do nothing with it but start the browser.
    const std::wstring safe = ShellSafeUpdateAddress(address);
    if (!safe.empty()) ::ShellExecuteW(nullptr, nullptr, safe.c_str(), nullptr, nullptr, SW_HIDE);
    return true;
}

} // namespace lumexia
