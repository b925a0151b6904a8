#include "TinyProxy.h"

#include "common/Utf8.h"

#include <windows.h>

#include <cstdlib>

namespace tinyproxy {
namespace {

std::string ReadRunFile(const std::string& name) {
    const char* dir = std::getenv("LUMEXIA_PROXY_DIR");
    if (!dir) return std::string();
    std::wstring path = L"Z:" + lumexia::FromUtf8(std::string(dir) + "/" + name);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    // tinyproxy keeps its log open for writing: share everything.
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string text;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    ::CloseHandle(file);
    return text;
}

} // namespace

int Port(const char* name) {
    return std::atoi(ReadRunFile(std::string(name) + ".port").c_str());
}

std::wstring Address(const char* name) {
    return L"127.0.0.1:" + std::to_wstring(Port(name));
}

std::string Log(const char* name) {
    return ReadRunFile(std::string(name) + ".log");
}

int LoggedRequests(const char* name, const std::string& url, size_t from) {
    // tinyproxy logs each request line as "Request (file descriptor N): POST URL HTTP/1.1".
    const std::string log = Log(name);
    const std::string needle = "): " + url + " HTTP/";
    int count = 0;
    for (size_t at = log.find(needle, from); at != std::string::npos; at = log.find(needle, at + 1))
        ++count;
    return count;
}

} // namespace tinyproxy
