#include "operations/SendingPhase.h"

#include "service/ServiceHosts.h"
#include "service/UploadCall.h"

#include <algorithm>

namespace lumexia {
namespace {

std::wstring RetryQuestion(const std::wstring& sourcePath, const ProxyFailure& failure) {
    std::wstring cause = L"Ошибка при отправке на сервер.";
    AppendProxyFailureLine(cause, failure);
    return L"Файл [" + sourcePath + L"]\r\n" + cause + L"\r\n" +
           L"OK - Повторить отправку.\r\nОтмена - Прекратить отправку.";
}

} // namespace

void RunSending(OperationContext& c) {
    c.ReportProgress(0);
    size_t done = 0;

    UploadIdentity identity{c.clientId, c.sessionId, c.userId, c.userTicket};
    int answerLength = 0;
    PostRequest request;
    request.host = ApiHost;
    request.port = kServicePort;
    request.path = kUploadPath;
    request.answer = c.answer.data();
    request.answerCapacity = static_cast<int>(c.answer.size());
    request.answerLength = &answerLength;
    request.cancel = &c.cancel;
    // The service keeps a picture once it has the whole body: a Cancel from then on must
    // not cost that picture its code.
    request.answerOnceSent = true;
    request.proxy = c.RequestProxy();
    ProxyFailure failure;
    request.proxyFailure = &failure;
    // One WinHTTP session for the batch, on this thread only: the next picture goes over
    // the connection the last answer left open instead of connecting again. Closed when
    // the phase returns, whichever way.
    HttpSession session;
    request.session = &session;

    // One body buffer for the whole batch (10 MB), emptied before each attempt.
    MultipartBody form;
    for (size_t i = 0; i < c.prepared.size();) {
        const PreparedImage& image = c.prepared[i];
        std::fill(c.answer.begin(), c.answer.end(), '\0');
        answerLength = 0;
        failure = ProxyFailure();
        UploadedImage accepted;
        const bool sent = UploadPicture(form, image, c.upload, identity, request, accepted);
        if (sent) {
            // Kept under the context's lock: should the user give up on this worker from
            // here on, the dialog still hands this picture's code out.
            c.KeepUploaded(std::move(accepted));
            ++done;
            ++i;
            c.ReportProgress(done);
        }
        if (c.cancel.load()) {
            c.outcome = kOutcomeCancelled;
            c.success = false;
            return;
        }
        if (!sent) {
            if (c.Ask(RetryQuestion(image.sourcePath, failure), L"Ошибка при отправке изображения.",
                      MB_OKCANCEL) != IDOK) {
                c.outcome = kOutcomeCancelled;
                c.success = false;
                c.cancel = true;
                return;
            }
            c.ReportProgress(done);
        }
    }
    c.outcome.clear();
    c.success = true;
}

} // namespace lumexia
