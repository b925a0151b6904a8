#include "StandIn.h"

#include "ServiceHosts.h"

#include <windows.h>
#include <winhttp.h>

#include <cctype>
#include <cstdlib>

namespace standin {
namespace {

std::wstring WindowsPath(const std::wstring& unixPath) {
    std::wstring path = L"Z:" + unixPath;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

int ReadPort() {
    wchar_t dir[1024] = {};
    if (!::GetEnvironmentVariableW(L"LUMEXIA_STANDIN_DIR", dir, 1024)) return 0;
    const std::wstring file = WindowsPath(dir) + L"\\port";
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    char text[16] = {};
    DWORD got = 0;
    ::ReadFile(h, text, sizeof text - 1, &got, nullptr);
    ::CloseHandle(h);
    return std::atoi(text);
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

int Port() {
    static const int port = ReadPort();
    return port;
}

std::wstring ProxyName() {
    return L"127.0.0.1:" + std::to_wstring(Port());
}

std::string Control(const wchar_t* verb, const std::wstring& path, const std::string& body,
                    int* status) {
    if (status) *status = 0;
    std::string answer;
    HINTERNET session = ::WinHttpOpen(L"standin-control", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection =
        session ? ::WinHttpConnect(session, L"127.0.0.1", static_cast<INTERNET_PORT>(Port()), 0)
                : nullptr;
    HINTERNET request =
        connection ? ::WinHttpOpenRequest(connection, verb, path.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                   : nullptr;
    const wchar_t* type = L"Content-Type: application/x-www-form-urlencoded";
    if (request &&
        ::WinHttpSendRequest(request, type, static_cast<DWORD>(-1), const_cast<char*>(body.data()),
                             static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) &&
        ::WinHttpReceiveResponse(request, nullptr)) {
        DWORD code = 0, size = sizeof code;
        ::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX);
        if (status) *status = static_cast<int>(code);
        char chunk[8192];
        DWORD got = 0;
        while (::WinHttpReadData(request, chunk, sizeof chunk, &got) && got > 0)
            answer.append(chunk, got);
    }
    if (request) ::WinHttpCloseHandle(request);
    if (connection) ::WinHttpCloseHandle(connection);
    if (session) ::WinHttpCloseHandle(session);
    return answer;
}

bool Reset() {
    int status = 0;
    Control(L"POST", L"/__reset", "", &status);
    return status == 200;
}

bool Script(const std::string& form) {
    int status = 0;
    Control(L"POST", L"/__script", form, &status);
    return status == 200;
}

std::string Encode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

int JournalCount() {
    int status = 0;
    const std::string text = Control(L"GET", L"/__journal/count", "", &status);
    return status == 200 ? std::atoi(text.c_str()) : -1;
}

std::string JournalHead(int index) {
    return Control(L"GET", L"/__journal/" + std::to_wstring(index) + L"/head");
}

std::string JournalBody(int index) {
    return Control(L"GET", L"/__journal/" + std::to_wstring(index) + L"/body");
}

std::vector<std::pair<std::string, std::string>> JournalFields(int index) {
    const std::string text = Control(L"GET", L"/__journal/" + std::to_wstring(index) + L"/fields");
    std::vector<std::pair<std::string, std::string>> fields;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) {
            std::string value = line.substr(eq + 1);
            if (value.empty() || value[0] != '@') value = Unescape(value);
            fields.emplace_back(line.substr(0, eq), value);
        }
        start = end + 1;
    }
    return fields;
}

lumexia::PostRequest Request(const std::wstring& host, const std::wstring& path,
                             std::vector<char>& buffer, int* length) {
    lumexia::PostRequest r;
    r.host = host;
    r.port = lumexia::kServicePort;
    r.path = path;
    r.answer = buffer.data();
    r.answerCapacity = static_cast<int>(buffer.size());
    r.answerLength = length;
    r.proxy = ProxyName();
    return r;
}

} // namespace standin
