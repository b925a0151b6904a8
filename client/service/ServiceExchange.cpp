#include "service/ServiceExchange.h"

#include "service/AnswerEnvelope.h"
#include "service/ServiceHosts.h"

#include <algorithm>

namespace lumexia {

bool ExchangeWithService(const ServiceChannel& channel, const MultipartBody& form,
                         const wchar_t* path, ComPtr<IXMLDOMDocument2>& doc,
                         std::wstring& message) {
    message.clear();
    doc.Reset();
    std::vector<char>& answer = *channel.answer;
    if (answer.empty()) return false;
    std::fill(answer.begin(), answer.end(), '\0');
    int length = 0;
    PostRequest request;
    request.host = ApiHost;
    request.port = kServicePort;
    request.path = path;
    request.answer = answer.data();
    // One byte less than the buffer: the answer always stays terminated.
    request.answerCapacity = static_cast<int>(answer.size() - 1);
    request.answerLength = &length;
    request.cancel = channel.cancel;
    request.proxy = channel.proxy;
    request.proxyFailure = channel.proxyFailure;
    if (!form.Send(request)) return false;
    ComPtr<IXMLDOMDocument2> loaded;
    if (!LoadAnswer(answer.data(), length, loaded)) return false;
    int code = -1;
    std::wstring text;
    if (!ReadAnswerError(loaded.Get(), &text, &code)) return false;
    if (code != 0) {
        message = text;
        return false;
    }
    doc = loaded;
    return true;
}

} // namespace lumexia
