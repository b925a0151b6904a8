// Upload throughput of the client's own path: MultipartBody (the full upload form with
// the picture read in 2,048-byte chunks) and HttpPost to the stand-in on loopback,
// reached through the proxy setting as in the real client.
//
//     upload_bench PORT OUTDIR [ROUNDS [SIZE_MB]]
//
// It prints "overhead MS", the median time of an exchange with an empty form, then for
// 1, 5 and 9 MB pictures (or SIZE_MB alone) one line per size:
//     client SIZE_MB build_ms send_ms total_ms
// (medians over ROUNDS uploads), and leaves OUTDIR\bodySIZE.bin and OUTDIR\typeSIZE.txt
// with the exact body and Content-Type it sent, so run-upload-bench.sh can post the same
// bytes with curl.
#include "service/MultipartBody.h"
#include "service/ServiceHosts.h"
#include "service/UploadCall.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace lumexia;

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool WriteFile(const std::wstring& path, const char* data, size_t size) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == size;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: upload_bench PORT OUTDIR [ROUNDS [SIZE_MB]]\n");
        return 2;
    }
    const std::wstring proxy = L"127.0.0.1:" + std::wstring(argv[1]);
    const std::wstring out = std::wstring(argv[2]) + L"\\";
    const int rounds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 5;

    UploadSettings options;
    UploadIdentity identity{L"0123456789abcdef0123456789abcdef",
                            L"fedcba9876543210fedcba9876543210", L"", L""};
    std::vector<char> answer(2000000, 0);
    int length = 0;
    PostRequest request;
    request.host = ApiHost;
    request.port = kServicePort;
    request.path = kUploadPath;
    request.answer = answer.data();
    request.answerCapacity = static_cast<int>(answer.size());
    request.answerLength = &length;
    request.proxy = proxy;

    MultipartBody form;
    {
        // The fixed cost of one exchange: a body with no parts (38 bytes).
        std::vector<double> empty;
        request.path = L"/echo";
        for (int round = 0; round < rounds; ++round) {
            form.Reset();
            form.Close();
            const double t0 = Now();
            if (!form.Send(request)) return 1;
            empty.push_back(Now() - t0);
        }
        request.path = kUploadPath;
        std::printf("overhead %.2f\n", Median(empty));
    }
    std::vector<int> sizes = {1, 5, 9};
    if (argc > 4) sizes = {std::max(1, std::min(9, _wtoi(argv[4])))};
    for (int mb : sizes) {
        // A JPEG head and tail around pseudo-random bytes: the stand-in takes it as a JPEG.
        std::string picture(static_cast<size_t>(mb) * 1000000, '\0');
        unsigned state = 12345u + mb;
        for (char& c : picture) {
            state = state * 1103515245u + 12345u;
            c = static_cast<char>(state >> 24);
        }
        picture[0] = '\xFF';
        picture[1] = '\xD8';
        picture[2] = '\xFF';
        PreparedImage image;
        image.sourcePath = L"C:\\pictures\\bench.jpg";
        image.preparedPath = out + L"picture" + std::to_wstring(mb);
        if (!WriteFile(image.preparedPath, picture.data(), picture.size())) {
            std::fprintf(stderr, "cannot write the picture\n");
            return 1;
        }
        std::vector<double> build, send, total;
        for (int round = 0; round < rounds; ++round) {
            const double t0 = Now();
            const bool whole = BuildUploadForm(form, image, options, identity);
            const double t1 = Now();
            const bool sent = whole && form.Send(request);
            const double t2 = Now();
            if (!sent) {
                std::fprintf(stderr, "upload of %d MB failed\n", mb);
                return 1;
            }
            build.push_back(t1 - t0);
            send.push_back(t2 - t1);
            total.push_back(t2 - t0);
        }
        const std::wstring tag = std::to_wstring(mb);
        const std::string type = "Content-Type: multipart/form-data; boundary=" +
                                 std::string(form.Boundary().begin(), form.Boundary().end());
        WriteFile(out + L"body" + tag + L".bin", form.Data(), form.Size());
        WriteFile(out + L"type" + tag + L".txt", type.data(), type.size());
        std::printf("client %d %.2f %.2f %.2f\n", mb, Median(build), Median(send), Median(total));
        std::fflush(stdout);
    }
    return 0;
}
