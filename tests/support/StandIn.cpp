#include "StandIn.h"

#include "common/Utf8.h"

#include <windows.h>
#include <winhttp.h>

#include <cstdlib>

namespace standin {

namespace {

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() + 0 && Hex(text[i + 1]) >= 0 &&
            Hex(text[i + 2]) >= 0) {
            out += static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

int Port() {
    static int port = [] {
        // The test run's stand-in writes its port into DIR/port (tools/standin/standin-ctl).
        const char* dir = std::getenv("LUMEXIA_STANDIN_DIR");
        if (!dir) return 0;
        std::string unixPath = std::string(dir) + "/port";
        std::wstring path = L"Z:" + lumexia::FromUtf8(unixPath);
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 0;
        char text[32] = {};
        DWORD got = 0;
        ::ReadFile(file, text, sizeof text - 1, &got, nullptr);
        ::CloseHandle(file);
        return std::atoi(text);
    }();
    return port;
}

std::wstring ProxyText() {
    return L"127.0.0.1:" + std::to_wstring(Port());
}

std::string Exchange(const wchar_t* verb, const std::wstring& path, const std::string& body,
                     int* status) {
    if (status) *status = 0;
    std::string answer;
    const int port = Port();
    if (!port) return answer;
    HINTERNET session = ::WinHttpOpen(L"lumexia-tests", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection =
        session ? ::WinHttpConnect(session, L"127.0.0.1", static_cast<INTERNET_PORT>(port), 0)
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

std::string Get(const std::wstring& path) {
    return Exchange(L"GET", path, std::string());
}
std::string Post(const std::wstring& path, const std::string& form) {
    return Exchange(L"POST", path, form);
}

void Reset() {
    Post(L"/__reset", "x=1");
}

int RequestCount() {
    return std::atoi(Get(L"/__journal/count").c_str());
}

std::vector<std::string> Fields(int index) {
    std::vector<std::string> lines;
    std::string text = Get(L"/__journal/" + std::to_wstring(index) + L"/fields");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string Head(int index) {
    return Get(L"/__journal/" + std::to_wstring(index) + L"/head");
}

std::string Field(int index, const std::string& name) {
    for (const std::string& line : Fields(index))
        if (line.compare(0, name.size() + 1, name + "=") == 0)
            return Unescape(line.substr(name.size() + 1));
    return std::string();
}

std::vector<std::string> FieldNames(int index) {
    std::vector<std::string> names;
    for (const std::string& line : Fields(index))
        names.push_back(line.substr(0, line.find('=')));
    return names;
}

const std::vector<std::string>& AnonymousUploadFields() {
    static const std::vector<std::string> names = {"UID",
                                                   "SID",
                                                   "FROMOBJECT",
                                                   "ISRESIZEIMG",
                                                   "MAXSIZEIMG",
                                                   "ISOPTIMIZEFORMAT",
                                                   "ISOPTIMIZEDFORMAT",
                                                   "ISROTATIONIMG",
                                                   "ROTATIONIMG",
                                                   "ISINSCRIMG",
                                                   "INSCRIMG",
                                                   "JPGQUALITY",
                                                   "MAXSIZEIMGPREV",
                                                   "ISINSCRIMGPREV",
                                                   "INSCRIMGPREV",
                                                   "IDALBUM",
                                                   "COMMENTIMG",
                                                   "URLFORIMG",
                                                   "TAGS",
                                                   "ISPUBLIC",
                                                   "ORIGIMGLENGTH",
                                                   "ORIGIMGWIDTH",
                                                   "ORIGIMGHEIGHT",
                                                   "COEFFRESIZEIMG",
                                                   "RESPTYPE"};
    return names;
}

} // namespace standin
