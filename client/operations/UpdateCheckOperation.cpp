#include "operations/UpdateCheckOperation.h"

#include "service/ServiceHosts.h"
#include "service/UpdateCheck.h"

#include <algorithm>

namespace lumexia {

void RunUpdateCheck(OperationContext& c) {
    c.updateMajor = 0;
    c.updateMinor = 0;
    c.updatePath.clear();
    c.outcome.clear();
    std::fill(c.answer.begin(), c.answer.end(), '\0');

    int answerLength = 0;
    PostRequest request;
    request.host = DownloadHost;
    request.port = kServicePort;
    request.path = kVersionPath;
    request.answer = c.answer.data();
    request.answerCapacity = static_cast<int>(c.answer.size()) - 1;
    request.answerLength = &answerLength;
    request.cancel = &c.cancel;
    request.proxy = c.RequestProxy();

    VersionInfo info;
    c.success = RequestVersionInfo(request, info);
    if (!c.success) {
        if (c.outcome.empty()) c.outcome = L"Ошибка получения данных с сервера";
        return;
    }
    c.updateMajor = info.major;
    c.updateMinor = info.minor;
    c.updatePath = info.updateAddress;
}

} // namespace lumexia
