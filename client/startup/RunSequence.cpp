#include "startup/RunSequence.h"

#include "common/DataFolder.h"
#include "common/Text.h"
#include "operations/Form4Server.h"
#include "codes/FormClip.h"
#include "ui/FormMain.h"
#include "imaging/GdiPlus.h"
#include "codes/LinkCodes.h"
#include "settings/SettingsGroups.h"

namespace lumexia {

namespace {

// A phase that failed on its own (an internal error, a worker that could not start) says
// why; one the user stopped needs no message.
void ShowFailure(const std::wstring& outcome) {
    if (!outcome.empty()) ::MessageBoxW(nullptr, outcome.c_str(), L"Error", MB_OK);
}

// Runs the processing phase; true with the prepared pictures when it ran to its end.
bool ProcessPictures(const FormMain& main, const JobList& jobs, std::vector<PreparedImage>& out) {
    // GDI+ runs only while pictures are prepared; a failed start makes every picture fail.
    StartGdiplus();
    Form4Server processing(kOperationProcessing);
    OperationContext& in = processing.Context();
    in.jobs = jobs;
    in.upload = main.Options();
    in.useProxy = true;
    in.proxy = main.Proxy();
    processing.Run(::GetActiveWindow());
    ShutdownGdiplus();
    if (!processing.Success() && !processing.Cancelled()) ShowFailure(processing.Outcome());
    if (!processing.Success() || !processing.Finished()) return false;
    out = std::move(processing.Context().prepared);
    return true;
}

} // namespace

void RunSequence(JobList& jobs) {
    FormMain main(&jobs);
    if (main.Run(::GetActiveWindow()) != FormMain::kUpload) return;

    std::vector<PreparedImage> prepared;
    if (!ProcessPictures(main, jobs, prepared)) return; // stopped by the user: nothing sent

    // The client id is stored upper-case and sent lower-case; the session id is new for
    // every run and never stored.
    std::wstring clientId;
    ObtainClientId(clientId);
    Form4Server sending(kOperationSending);
    OperationContext& in = sending.Context();
    in.clientId = LowerText(clientId);
    in.sessionId = LowerText(NewHexId());
    in.useProxy = true;
    in.proxy = main.Proxy();
    in.upload = main.Options();
    in.prepared = std::move(prepared);
    in.userId = main.Credentials().userId;
    in.userTicket = main.Credentials().userTicket;
    sending.Run(::GetActiveWindow());

    // Also after a second Cancel: the dialog kept the pictures accepted until then.
    UploadedList uploaded = std::move(sending.Context().uploaded);
    if (!ConfirmHandOut(sending, uploaded)) return;
    FormatLinkCodes(uploaded, main.Options().typeCode);
    FormClip clip(&uploaded);
    clip.Run(::GetActiveWindow());
}

bool ConfirmHandOut(const Form4Server& sending, const UploadedList& uploaded) {
    const bool stopped = sending.Cancelled();
    if (!sending.Success() && !stopped) ShowFailure(sending.Outcome());
    if (uploaded.empty()) return false;
    if (sending.Success() && !stopped) return true;
    // Stopped by the user or failed half-way: the accepted pictures are on the service
    // either way, and their codes are the only way to them.
    return ::MessageBoxW(nullptr,
                         L"Часть изображений была успешно загружена на сервер,\r\n"
                         L"поместить коды этих изображений в буфер обмена",
                         L"Результат обработки", MB_OKCANCEL) == IDOK;
}

} // namespace lumexia
