// One request of the login or the album list and the reading of its answer envelope:
// the pattern both share (body sent, answer parsed, Err read, Code checked).
#pragma once

#include "service/HttpTransport.h"
#include "service/MultipartBody.h"
#include "settings/XmlDocument.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace lumexia {

// What a call needs from the runner it runs under: the answer buffer (zeroed here before
// each exchange; the call may fill all but its last byte), the user's Cancel, the proxy.
struct ServiceChannel {
    std::vector<char>* answer = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    std::optional<std::wstring> proxy;    // as PostRequest::proxy
    ProxyFailure* proxyFailure = nullptr; // as PostRequest::proxyFailure
};

// Sends the closed `form` to `path` on ApiHost and loads the answer. True with `doc`
// when the answer's Code is 0. False otherwise; `message` then holds the service's Msg
// when it refused the request with a non-zero Code, and is empty for every other failure
// (exchange, status, unparsable or oversized answer, missing Err).
bool ExchangeWithService(const ServiceChannel& channel, const MultipartBody& form,
                         const wchar_t* path, ComPtr<IXMLDOMDocument2>& doc, std::wstring& message);

} // namespace lumexia
