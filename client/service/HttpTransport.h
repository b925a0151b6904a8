// One HTTP exchange with the service: a POST of a ready body, the answer read whole into a
// caller's buffer. Synchronous on the calling thread (an operation's worker or the tag
// query worker). Every WinHTTP handle is closed before HttpPost returns, except those of
// an HttpSession the caller keeps for a phase.
#pragma once

#include "service/ProxyFailure.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace lumexia {

// The WinHTTP session and connection of the exchanges of one phase (the sending phase's
// uploads): WinHTTP keeps a connection the answer left open in its session's pool, so the
// next exchange skips connecting. The proxy route is chosen by the first exchange and
// kept until an exchange fails; the one after a failure, and one for another host, port,
// proxy setting or time-outs, opens afresh.
// Owned by the phase and used only from the thread that runs its exchanges (WinHTTP
// handles may be used from any thread, but the owner is not locked); the handles are
// closed when it is destroyed, on every path out of the phase.
class HttpSession {
public:
    HttpSession();
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    struct State; // the handles and what they were opened for (HttpTransport.cpp)
    std::unique_ptr<State> state;
};

struct PostRequest {
    std::wstring host;           // ApiHost or DownloadHost
    unsigned short port = 80;    // every call uses 80
    std::wstring path;           // e.g. "/api3/rest/login/step1"
    char* answer = nullptr;      // caller's buffer, zeroed by the caller
    int answerCapacity = 0;      // most answer bytes that may be written
    int* answerLength = nullptr; // set on success only
    // Set by another thread to stop the exchange at its next chunk boundary; may be null.
    const std::atomic<bool>* cancel = nullptr;
    // Once the whole body is out, read the answer even when `cancel` is set (the time-outs
    // still bound it): for a request the service acts on as soon as it has the body (an
    // upload), whose answer is then the only record of what it did.
    bool answerOnceSent = false;
    // The user's proxy text ("host:port", "user:password@host:port"; see ProxyAddress.h).
    // Absent: the user's system proxy settings. Empty: no proxy at all, not even those.
    std::optional<std::wstring> proxy;
    // Set on failure when the proxy caused it (unreachable, 407, 502/504); may be null.
    ProxyFailure* proxyFailure = nullptr;
    // The phase's session to use and keep; null: one of this exchange's own.
    HttpSession* session = nullptr;
};

// The limits of one exchange, in milliseconds (0 resolve: no limit).
struct HttpTimeouts {
    int resolve = 0;
    int connect = 60000;
    int send = 600000;
    int receive = 600000;
};

// POST `body` (`bodyLength` bytes) with the extra header lines `headers` (may be null).
// True only when the whole body went out, the status is exactly "200", and the whole
// answer (as long as the server announced, when it announced a length) fitted the
// capacity. On false the answer length is untouched and the buffer may hold part of an
// answer.
bool HttpPost(const PostRequest& request, const wchar_t* headers, const char* body,
              DWORD bodyLength);

// The same with other limits (tests and tools; the client always uses the defaults).
bool HttpPostWithTimeouts(const PostRequest& request, const wchar_t* headers, const char* body,
                          DWORD bodyLength, const HttpTimeouts& timeouts);

} // namespace lumexia
