// Failures that the proxy caused, told apart from the service's so the user learns that the
// proxy (not the service, not the picture) is what to look at. One place for the words.
#pragma once

#include <string>

namespace lumexia {

enum class ProxyFault {
    kNone,
    kUnreachable, // no connection to the proxy (refused, name unknown, connect time-out)
    kCredentials, // 407: the proxy wants a user name and password, or refused the given ones
    kGateway,     // 502 or 504: the proxy could not reach the service
};

struct ProxyFailure {
    ProxyFault fault = ProxyFault::kNone;
    std::wstring address; // "host:port" of the proxy, never its credentials
};

// The one Russian line that names the proxy as the cause; empty for kNone.
std::wstring ProxyFailureLine(const ProxyFailure& failure);

// `text` with the line appended on a line of its own (unchanged for kNone).
void AppendProxyFailureLine(std::wstring& text, const ProxyFailure& failure);

} // namespace lumexia
