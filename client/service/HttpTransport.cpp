#include "service/HttpTransport.h"

#include "common/ScopedWin.h"
#include "common/Utf8.h"
#include "service/BodyWriter.h"
#include "service/ProxyAddress.h"
#include "service/SystemProxy.h"

#include <winhttp.h>

#include <cstdint>
#include <memory>
#include <utility>

namespace lumexia {
namespace {

// Owner of one WinHTTP handle. Declared session, connection, request in that order, the
// owners close request, connection, session when they leave scope on any path.
struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::WinHttpCloseHandle(h); }
};
using UniqueInternet = Scoped<InternetHandleTraits>;

bool Cancelled(const PostRequest& r) {
    return r.cancel && r.cancel->load();
}

// Cancel as seen once the body is out.
bool CancelledAfterBody(const PostRequest& r) {
    return !r.answerOnceSent && Cancelled(r);
}

bool StatusIs200(HINTERNET request) {
    wchar_t status[10] = {};
    DWORD size = sizeof status;
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE, WINHTTP_HEADER_NAME_BY_INDEX,
                               status, &size, WINHTTP_NO_HEADER_INDEX))
        return false;
    return status[0] == L'2' && status[1] == L'0' && status[2] == L'0' && status[3] == 0;
}

bool ReadAnswer(const PostRequest& r, HINTERNET request) {
    // WinHTTP reports a connection closed before the announced length as a normal end of
    // data, so the announced length is checked by hand: a cut answer is not an answer.
    DWORD announced = 0;
    DWORD size = sizeof announced;
    const bool hasLength =
        ::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &announced, &size,
                              WINHTTP_NO_HEADER_INDEX) != FALSE;
    std::int64_t total = 0;
    for (;;) {
        if (CancelledAfterBody(r)) return false;
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request, &available)) return false;
        if (total + available > r.answerCapacity) return false;
        if (available == 0) {
            if (hasLength && total != announced) return false;
            *r.answerLength = static_cast<int>(total);
            return true;
        }
        DWORD read = 0;
        if (!::WinHttpReadData(request, r.answer + total, available, &read)) return false;
        total += read;
    }
}

// How a request reaches the service, chosen afresh for every exchange, or once for the
// exchanges of a phase's HttpSession.
struct Route {
    DWORD access = WINHTTP_ACCESS_TYPE_NO_PROXY;
    std::wstring proxyName; // named proxy: WinHTTP's proxy list
    std::wstring bypass;    // named proxy: hosts that go direct; empty: none
    std::wstring user;      // the proxy's credentials, given only when it asks (407)
    std::wstring password;
    std::wstring shown; // the proxy named in messages; empty when there is none or unknown
};

// Not in every SDK's headers; Windows 8.1 and later.
constexpr DWORD kAccessAutomaticProxy = 4;

Route SystemRouteOf(const PostRequest& r) {
    Route route;
    const std::wstring url = L"http://" + r.host + L":" + std::to_wstring(r.port) + r.path;
    const SystemRoute system = ResolveSystemProxy(url);
    if (system.kind == SystemRoute::kNamed) {
        route.access = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        route.proxyName = system.proxy;
        route.bypass = system.bypass;
        route.shown = HttpProxyOfList(system.proxy);
    } else if (system.kind == SystemRoute::kAutomatic) {
        route.access = kAccessAutomaticProxy;
    }
    return route;
}

Route RouteOf(const PostRequest& r) {
    if (!r.proxy) return SystemRouteOf(r);
    Route route;
    if (r.proxy->empty()) return route; // direct
    route.access = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    ProxyAddress address;
    if (ParseProxyText(*r.proxy, address) == ProxyTextProblem::kNone) {
        route.proxyName = address.hostPort;
        route.user = address.user;
        route.password = address.password;
    } else {
        // A text stored before the dialog checked it goes to WinHTTP as it is, as it always
        // did; only what follows a "@" may be shown, the rest could be a password.
        route.proxyName = *r.proxy;
    }
    const size_t at = route.proxyName.rfind(L'@');
    route.shown = at == std::wstring::npos ? route.proxyName : route.proxyName.substr(at + 1);
    return route;
}

HINTERNET OpenSession(const Route& route) {
    if (route.access == WINHTTP_ACCESS_TYPE_NAMED_PROXY)
        return ::WinHttpOpen(
            L"LUMEXIACLIENT", WINHTTP_ACCESS_TYPE_NAMED_PROXY, route.proxyName.c_str(),
            route.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : route.bypass.c_str(), 0);
    if (route.access == kAccessAutomaticProxy) {
        HINTERNET session = ::WinHttpOpen(L"LUMEXIACLIENT", kAccessAutomaticProxy,
                                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        if (session) return session;
        // Refused before Windows 8.1: the machine-wide WinHTTP setting is what is left.
        return ::WinHttpOpen(L"LUMEXIACLIENT", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    }
    return ::WinHttpOpen(L"LUMEXIACLIENT", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                         WINHTTP_NO_PROXY_BYPASS, 0);
}

DWORD StatusCode(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                               WINHTTP_NO_HEADER_INDEX))
        return 0;
    return status;
}

// What one sending of the request came to.
struct Attempt {
    bool answered = false; // an answer's head arrived after the whole body
    bool connected = true; // false: the connection (to the proxy, if any) never came up
    DWORD status = 0;      // the answer's status, also of a 407 that cut the body short
};

// Head, body, answer head. A proxy that wants credentials may answer 407 and close while
// the body is still going out; that answer is still looked for, so the body can follow
// with credentials, but no other answer to a body cut short is ever taken.
//
// `withHead`: the body travels with the head (WinHttpSendRequest's optional data) instead of
// in pieces after it. A platform may answer the proxy's next challenge itself inside
// WinHttpReceiveResponse and send the request once more (Wine does, and only then adds
// the credentials); it can send only a body it was given with the head.
Attempt SendOnce(const PostRequest& r, HINTERNET request, const char* body, DWORD length,
                 bool withHead) {
    Attempt attempt;
    if (Cancelled(r)) return attempt;
    void* optional = withHead ? const_cast<char*>(body) : WINHTTP_NO_REQUEST_DATA;
    if (!::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, optional,
                              withHead ? length : 0, length, 0)) {
        const DWORD error = ::GetLastError();
        attempt.connected = error != ERROR_WINHTTP_CANNOT_CONNECT &&
                            error != ERROR_WINHTTP_NAME_NOT_RESOLVED &&
                            error != ERROR_WINHTTP_TIMEOUT;
        return attempt;
    }
    const bool whole = withHead || WriteBody(request, body, length, r.cancel);
    // Cancel pressed while the body went out: stop now rather than wait for an answer
    // that nobody will read, unless the whole body is out and the caller needs its answer
    // whatever happens.
    if (whole ? CancelledAfterBody(r) : Cancelled(r)) return attempt;
    if (!::WinHttpReceiveResponse(request, nullptr)) return attempt;
    attempt.status = StatusCode(request);
    attempt.answered = whole;
    return attempt;
}

// After a 407: whether the proxy takes Basic credentials and the text named some.
bool ProxyTakesCredentials(const Route& route, HINTERNET challenged) {
    if (route.user.empty() && route.password.empty()) return false;
    DWORD supported = 0, first = 0, target = 0;
    if (!::WinHttpQueryAuthSchemes(challenged, &supported, &first, &target)) return false;
    return target == WINHTTP_AUTH_TARGET_PROXY && (supported & WINHTTP_AUTH_SCHEME_BASIC);
}

// Where one request goes and what travels with its head.
struct Target {
    HINTERNET connection = nullptr;
    const wchar_t* headers = nullptr;
    HttpTimeouts timeouts;
};

HINTERNET OpenRequest(const PostRequest& r, const Target& to) {
    UniqueInternet request(::WinHttpOpenRequest(to.connection, L"POST", r.path.c_str(), nullptr,
                                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                0));
    if (!request) return nullptr;
    // The session's receive time-out does not bound the wait for the answer's head on
    // every platform; without this a server that takes the request and stays silent
    // would hold the worker until it closes the connection.
    DWORD responseTimeout = static_cast<DWORD>(to.timeouts.receive);
    ::WinHttpSetOption(request.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                       sizeof responseTimeout);
    // WinHTTP follows redirects by default: a 302 would turn the POST into a GET to
    // wherever the answer points and take that server's page as the service's answer, a
    // 307 would send the body with the user's ticket there. Anything but 200 is a
    // failure; an exchange that cannot be held to that is not made.
    DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!::WinHttpSetOption(request.Get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirects,
                            sizeof redirects))
        return nullptr;
    if (to.headers && !::WinHttpAddRequestHeaders(request.Get(), to.headers, static_cast<DWORD>(-1),
                                                  WINHTTP_ADDREQ_FLAG_ADD))
        return nullptr;
    return request.Release();
}

void ReportProxyFault(const PostRequest& r, const Route& route, const Attempt& attempt) {
    if (!r.proxyFailure || route.shown.empty() || Cancelled(r)) return;
    ProxyFault fault = ProxyFault::kNone;
    if (!attempt.connected)
        fault = ProxyFault::kUnreachable;
    else if (attempt.status == 407)
        fault = ProxyFault::kCredentials;
    else if (attempt.answered && (attempt.status == 502 || attempt.status == 504))
        fault = ProxyFault::kGateway;
    if (fault == ProxyFault::kNone) return;
    r.proxyFailure->fault = fault;
    r.proxyFailure->address = route.shown;
}

std::wstring Base64(const std::string& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::wstring out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (left > 1) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (left > 2) group |= static_cast<unsigned char>(bytes[i + 2]);
        out += static_cast<wchar_t>(kDigits[(group >> 18) & 63]);
        out += static_cast<wchar_t>(kDigits[(group >> 12) & 63]);
        out += left > 1 ? static_cast<wchar_t>(kDigits[(group >> 6) & 63]) : L'=';
        out += left > 2 ? static_cast<wchar_t>(kDigits[group & 63]) : L'=';
    }
    return out;
}

// The proxy's challenge came on a connection it reset while the body went out, so the
// credentialed request is a new request handle: nothing of the cut exchange (its socket,
// its half-sent body, the challenge read from it) is used again. Its head carries the
// Basic credentials itself, because a platform may add credentials set for the proxy only
// on a challenge of the new handle's own, and a proxy that resets a connection while the
// body goes out can lose that challenge.
HINTERNET OpenCredentialedRequest(const PostRequest& r, const Route& route, const Target& to) {
    UniqueInternet request(OpenRequest(r, to));
    if (!request) return nullptr;
    const std::wstring header =
        L"Proxy-Authorization: Basic " + Base64(ToUtf8(route.user + L":" + route.password));
    if (!::WinHttpAddRequestHeaders(request.Get(), header.c_str(), static_cast<DWORD>(-1),
                                    WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
        return nullptr;
    return request.Release();
}

// Sends the request, once more with the proxy's credentials when it asks for them.
bool Exchange(const PostRequest& r, const Route& route, const Target& to, UniqueInternet request,
              const char* body, DWORD length) {
    Attempt attempt = SendOnce(r, request.Get(), body, length, false);
    // The body goes out again, whole; Cancel then takes effect once it is out.
    if (attempt.status == 407 && ProxyTakesCredentials(route, request.Get())) {
        request.Reset();
        request.Reset(OpenCredentialedRequest(r, route, to));
        if (!request) return false;
        attempt = SendOnce(r, request.Get(), body, length, true);
        // A proxy that refuses the credentials may answer 407 again or, having answered,
        // reset the connection before the answer is read: either way it refused them.
        if (!attempt.answered && attempt.connected) attempt.status = 407;
    }
    if (!attempt.answered || attempt.status != 200) {
        ReportProxyFault(r, route, attempt);
        return false;
    }
    if (r.answerCapacity <= 0 || !r.answer) return false;
    if (!StatusIs200(request.Get())) return false;
    return ReadAnswer(r, request.Get());
}

bool SameTimeouts(const HttpTimeouts& a, const HttpTimeouts& b) {
    return a.resolve == b.resolve && a.connect == b.connect && a.send == b.send &&
           a.receive == b.receive;
}

} // namespace

// Declared session before connection: the connection's handle is closed first.
struct HttpSession::State {
    std::optional<std::wstring> proxy;
    std::wstring host;
    unsigned short port = 0;
    HttpTimeouts timeouts;
    Route route;
    UniqueInternet session;
    UniqueInternet connection;

    bool Serves(const PostRequest& r, const HttpTimeouts& t) const {
        return proxy == r.proxy && host == r.host && port == r.port && SameTimeouts(timeouts, t);
    }
};

HttpSession::HttpSession() = default;
HttpSession::~HttpSession() = default;

namespace {

// The session and connection for `r`: the route chosen, the session opened with its
// time-outs, the connection's target named (WinHttpConnect sends nothing yet).
std::unique_ptr<HttpSession::State> OpenState(const PostRequest& r, const HttpTimeouts& t) {
    auto state = std::make_unique<HttpSession::State>();
    state->proxy = r.proxy;
    state->host = r.host;
    state->port = r.port;
    state->timeouts = t;
    state->route = RouteOf(r);
    state->session.Reset(OpenSession(state->route));
    if (!state->session) return nullptr;
    if (!::WinHttpSetTimeouts(state->session.Get(), t.resolve, t.connect, t.send, t.receive))
        return nullptr;
    state->connection.Reset(::WinHttpConnect(state->session.Get(), r.host.c_str(), r.port, 0));
    if (!state->connection) return nullptr;
    return state;
}

} // namespace

bool HttpPostWithTimeouts(const PostRequest& r, const wchar_t* headers, const char* body,
                          DWORD bodyLength, const HttpTimeouts& t) {
    if (!r.answerLength) return false;
    std::unique_ptr<HttpSession::State> own;
    HttpSession::State* state = nullptr;
    if (r.session) {
        if (!r.session->state || !r.session->state->Serves(r, t)) {
            r.session->state.reset();
            r.session->state = OpenState(r, t);
        }
        state = r.session->state.get();
    } else {
        own = OpenState(r, t);
        state = own.get();
    }
    if (!state) return false;
    const Target to{state->connection.Get(), headers, t};
    UniqueInternet request(OpenRequest(r, to));
    if (!request) return false;
    // Cancelled before anything went out: send nothing at all, not even the head.
    if (Cancelled(r)) return false;
    const bool answered = Exchange(r, state->route, to, std::move(request), body, bodyLength);
    // After a failure the phase's next exchange (the user's retry) chooses its route and
    // opens its session afresh, as a lone exchange would: the user may have mended the
    // proxy settings meanwhile.
    if (!answered && r.session) r.session->state.reset();
    return answered;
}

bool HttpPost(const PostRequest& request, const wchar_t* headers, const char* body,
              DWORD bodyLength) {
    return HttpPostWithTimeouts(request, headers, body, bodyLength, HttpTimeouts());
}

} // namespace lumexia
