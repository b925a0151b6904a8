// The client half of the upload benchmark (bench/upload/run-upload-bench.sh drives it and
// curl alternately, upload by upload). The client's own path: BuildUploadForm (the full
// upload form, the picture read from its prepared file) and MultipartBody::Send (HttpPost
// through the proxy setting, as in the real client) to the stand-in on loopback, every
// exchange in one HttpSession as the sending phase's uploads are.
//
//     upload_bench PORT OUTDIR
//
// Makes 1, 5 and 9 MB pictures in OUTDIR, then answers one command per line of standard
// input, one line of standard output each:
//     SIZE_MB    one upload  -> "client SIZE_MB build_ms send_ms total_ms"
//     empty      one exchange of an empty form (38 bytes) -> "empty send_ms"
//     phases SIZE_MB [CHUNK]   where an upload's time goes: the form build, then the
//                exchange made step by step with the same WinHTTP calls as HttpPost
//                (the body written in CHUNK-byte writes; 0 or none: in HttpPost's pieces,
//                WriteBody) ->
//                "phases SIZE_MB build session connect request head first rest wait
//                read" (ms; see Stage)
//     quit
// After the first upload of a size it leaves OUTDIR\bodySIZE.bin and OUTDIR\typeSIZE.txt,
// the exact body and Content-Type header it sent, for curl to post the same bytes. One
// MultipartBody serves every upload, as one serves a whole batch in the sending phase.
#include "BenchSupport.h"
#include "service/BodyWriter.h"
#include "service/HttpTransport.h"
#include "service/MultipartBody.h"
#include "service/ServiceHosts.h"
#include "service/UploadCall.h"

#include <windows.h>

#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

using namespace lumexia;

namespace {

bool WriteFile(const std::wstring& path, const char* data, size_t size) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == size;
}

// A JPEG head and tail around pseudo-random bytes: the stand-in takes it as a JPEG, and
// nothing on the way can compress it.
bool MakePicture(const std::wstring& path, int mb) {
    std::string picture(static_cast<size_t>(mb) * 1000000, '\0');
    unsigned state = 12345u + mb;
    for (char& c : picture) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    std::memcpy(&picture[0], "\xFF\xD8\xFF", 3);
    std::memcpy(&picture[picture.size() - 2], "\xFF\xD9", 2);
    return WriteFile(path, picture.data(), picture.size());
}

// The stages of one exchange, in the order HttpPost makes them (ms).
enum Stage {
    kSession, // WinHttpOpen and its time-outs
    kConnect, // WinHttpConnect (no network traffic yet)
    kRequest, // WinHttpOpenRequest, its options and the Content-Type header
    kHead,    // WinHttpSendRequest: the connection opened and the head sent
    kFirst,   // the first body write
    kRest,    // the other body writes
    kWait,    // WinHttpReceiveResponse: the wait for the answer's head
    kRead,    // the answer read
    kStages
};

// The exchange of HttpPost, call for call and option for option, with a clock between
// the stages. A diagnostic copy, so that the real transport carries no timing code; false
// when a call fails.
bool TimedExchange(const PostRequest& r, const MultipartBody& form, DWORD chunk,
                   double (&stages)[kStages]) {
    double t[kStages + 1] = {};
    t[0] = bench::NowMs();
    const HttpTimeouts timeouts;
    HINTERNET session = ::WinHttpOpen(L"LUMEXIACLIENT", WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                                      r.proxy->c_str(), WINHTTP_NO_PROXY_BYPASS, 0);
    bool ok = session && ::WinHttpSetTimeouts(session, timeouts.resolve, timeouts.connect,
                                              timeouts.send, timeouts.receive);
    t[1] = bench::NowMs();
    HINTERNET connection = ok ? ::WinHttpConnect(session, r.host.c_str(), r.port, 0) : nullptr;
    t[2] = bench::NowMs();
    HINTERNET request =
        connection ? ::WinHttpOpenRequest(connection, L"POST", r.path.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                   : nullptr;
    DWORD responseTimeout = static_cast<DWORD>(timeouts.receive);
    DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    const std::wstring header = L"Content-Type: multipart/form-data; boundary=" + form.Boundary();
    ok =
        request &&
        ::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                           sizeof responseTimeout) &&
        ::WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &redirects, sizeof redirects) &&
        ::WinHttpAddRequestHeaders(request, header.c_str(), static_cast<DWORD>(-1),
                                   WINHTTP_ADDREQ_FLAG_ADD);
    t[3] = bench::NowMs();
    const DWORD length = static_cast<DWORD>(form.Size());
    ok = ok && ::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                    WINHTTP_NO_REQUEST_DATA, 0, length, 0);
    t[4] = t[5] = bench::NowMs();
    if (ok && chunk == 0) {
        // HttpPost's own writer: the first piece is not timed apart.
        ok = WriteBody(request, form.Data(), length, nullptr);
        t[5] = t[4];
    }
    for (DWORD sent = chunk == 0 ? length : 0; ok && sent < length;) {
        DWORD written = 0;
        const DWORD part = chunk ? std::min(chunk, length - sent) : length - sent;
        ok = ::WinHttpWriteData(request, form.Data() + sent, part, &written) && written > 0;
        if (sent == 0) t[5] = bench::NowMs();
        sent += written;
    }
    t[6] = bench::NowMs();
    ok = ok && ::WinHttpReceiveResponse(request, nullptr);
    t[7] = bench::NowMs();
    for (DWORD total = 0; ok;) {
        DWORD available = 0, read = 0;
        ok = ::WinHttpQueryDataAvailable(request, &available);
        if (!ok || available == 0 || total + available > static_cast<DWORD>(r.answerCapacity))
            break;
        ok = ::WinHttpReadData(request, r.answer + total, available, &read);
        total += read;
    }
    t[8] = bench::NowMs();
    if (request) ::WinHttpCloseHandle(request);
    if (connection) ::WinHttpCloseHandle(connection);
    if (session) ::WinHttpCloseHandle(session);
    for (int i = 0; i < kStages; ++i)
        stages[i] = t[i + 1] - t[i];
    return ok;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: upload_bench PORT OUTDIR\n");
        return 2;
    }
    const std::wstring out = std::wstring(argv[2]) + L"\\";
    for (int mb : {1, 5, 9}) {
        if (!MakePicture(out + L"picture" + std::to_wstring(mb), mb)) {
            std::fprintf(stderr, "cannot write the %d MB picture\n", mb);
            return 1;
        }
    }

    UploadSettings options;
    UploadIdentity identity{L"0123456789abcdef0123456789abcdef",
                            L"fedcba9876543210fedcba9876543210", L"", L""};
    std::vector<char> answer(2000000, 0);
    int length = 0;
    PostRequest request;
    request.host = ApiHost;
    request.port = kServicePort;
    request.answer = answer.data();
    request.answerCapacity = static_cast<int>(answer.size());
    request.answerLength = &length;
    request.proxy = L"127.0.0.1:" + std::wstring(argv[1]);
    HttpSession session;
    request.session = &session;
    MultipartBody form;
    std::set<int> written;

    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::strncmp(line, "quit", 4) == 0) break;
        if (std::strncmp(line, "empty", 5) == 0) {
            request.path = L"/echo";
            form.Reset();
            form.Close();
            const double t0 = bench::NowMs();
            const bool sent = form.Send(request);
            std::printf(sent ? "empty %.3f\n" : "failed\n", bench::NowMs() - t0);
            std::fflush(stdout);
            continue;
        }
        if (std::strncmp(line, "phases", 6) == 0) {
            int mb = 0;
            unsigned long chunk = 0;
            std::sscanf(line + 6, "%d %lu", &mb, &chunk);
            PreparedImage image;
            image.sourcePath = L"C:\\pictures\\bench.jpg";
            image.preparedPath = out + L"picture" + std::to_wstring(mb);
            request.path = kUploadPath;
            const double t0 = bench::NowMs();
            const bool whole = BuildUploadForm(form, image, options, identity);
            const double build = bench::NowMs() - t0;
            double stages[kStages] = {};
            const bool sent = whole && TimedExchange(request, form, chunk, stages);
            if (sent) {
                std::printf("phases %d %.3f", mb, build);
                for (double stage : stages)
                    std::printf(" %.3f", stage);
                std::printf("\n");
            } else {
                std::printf("failed\n");
            }
            std::fflush(stdout);
            continue;
        }
        const int mb = std::atoi(line);
        if (mb != 1 && mb != 5 && mb != 9) {
            std::printf("failed\n");
            std::fflush(stdout);
            continue;
        }
        PreparedImage image;
        image.sourcePath = L"C:\\pictures\\bench.jpg";
        image.preparedPath = out + L"picture" + std::to_wstring(mb);
        request.path = kUploadPath;
        std::fill(answer.begin(), answer.end(), 0);
        const double t0 = bench::NowMs();
        const bool whole = BuildUploadForm(form, image, options, identity);
        const double t1 = bench::NowMs();
        const bool sent = whole && form.Send(request);
        const double t2 = bench::NowMs();
        if (!sent) {
            std::printf("failed\n");
            std::fflush(stdout);
            continue;
        }
        if (written.insert(mb).second) {
            const std::wstring tag = std::to_wstring(mb);
            const std::string type = "Content-Type: multipart/form-data; boundary=" +
                                     std::string(form.Boundary().begin(), form.Boundary().end());
            WriteFile(out + L"body" + tag + L".bin", form.Data(), form.Size());
            WriteFile(out + L"type" + tag + L".txt", type.data(), type.size());
        }
        std::printf("client %d %.3f %.3f %.3f\n", mb, t1 - t0, t2 - t1, t2 - t0);
        std::fflush(stdout);
    }
    return 0;
}
