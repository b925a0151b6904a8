#include "service/HttpTransport.h"

#include "common/ScopedWin.h"

#include <winhttp.h>

#include <cstdint>

namespace lumexia {
namespace {

// Owner of one WinHTTP handle. Declared session, connection, request in that order, the
// owners close request, connection, session when the exchange leaves scope on any path.
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

// A write returns only once the connection took its bytes, so the cancel flag is looked
// at between pieces of this size: on a slow link Cancel then stops an upload within one
// piece rather than after the whole picture. The bytes on the wire are the same.
constexpr DWORD kBodyChunk = 64 * 1024;

bool SendBody(const PostRequest& r, HINTERNET request, const char* body, DWORD length) {
    DWORD sent = 0;
    while (sent < length) {
        if (Cancelled(r)) return false;
        DWORD written = 0;
        const DWORD piece = length - sent < kBodyChunk ? length - sent : kBodyChunk;
        if (!::WinHttpWriteData(request, body + sent, piece, &written)) break;
        sent += written;
        // A platform that takes nothing would spin here for ever.
        if (written == 0) break;
    }
    return sent == length;
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

} // namespace

bool HttpPostWithTimeouts(const PostRequest& r, const wchar_t* headers, const char* body,
                          DWORD bodyLength, const HttpTimeouts& t) {
    if (!r.answerLength) return false;
    // An empty name is no proxy at all: a named proxy without a name fails every request
    // (the box checked, the text left empty), so it means the system's configuration, as
    // for the tag query.
    const bool namedProxy = r.proxy && !r.proxy->empty();
    UniqueInternet session(namedProxy
                               ? ::WinHttpOpen(L"LUMEXIACLIENT", WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                                               r.proxy->c_str(), WINHTTP_NO_PROXY_BYPASS, 0)
                               : ::WinHttpOpen(L"LUMEXIACLIENT", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return false;
    if (!::WinHttpSetTimeouts(session.Get(), t.resolve, t.connect, t.send, t.receive)) return false;
    UniqueInternet connection(::WinHttpConnect(session.Get(), r.host.c_str(), r.port, 0));
    if (!connection) return false;
    UniqueInternet request(::WinHttpOpenRequest(connection.Get(), L"POST", r.path.c_str(), nullptr,
                                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                0));
    if (!request) return false;
    // The session's receive time-out does not bound the wait for the answer's head on
    // every platform; without this a server that takes the request and stays silent
    // would hold the worker until it closes the connection.
    DWORD responseTimeout = static_cast<DWORD>(t.receive);
    ::WinHttpSetOption(request.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                       sizeof responseTimeout);
    // WinHTTP follows redirects by default: a 302 would turn the POST into a GET to
    // wherever the answer points and take that server's page as the service's answer, a
    // 307 would send the body with the user's ticket there. Anything but 200 is a
    // failure; an exchange that cannot be held to that is not made.
    DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!::WinHttpSetOption(request.Get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirects,
                            sizeof redirects))
        return false;
    if (headers && !::WinHttpAddRequestHeaders(request.Get(), headers, static_cast<DWORD>(-1),
                                               WINHTTP_ADDREQ_FLAG_ADD))
        return false;
    // Cancelled before anything went out: send nothing at all, not even the head.
    if (Cancelled(r)) return false;
    if (!::WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, bodyLength, 0))
        return false;
    if (!SendBody(r, request.Get(), body, bodyLength)) return false;
    // Cancel pressed while the body went out: stop now rather than wait for an answer
    // that nobody will read, unless the caller needs it whatever happens.
    if (CancelledAfterBody(r)) return false;
    if (!::WinHttpReceiveResponse(request.Get(), nullptr)) return false;
    if (r.answerCapacity <= 0 || !r.answer) return false;
    if (!StatusIs200(request.Get())) return false;
    return ReadAnswer(r, request.Get());
}

bool HttpPost(const PostRequest& request, const wchar_t* headers, const char* body,
              DWORD bodyLength) {
    return HttpPostWithTimeouts(request, headers, body, bodyLength, HttpTimeouts());
}

} // namespace lumexia
