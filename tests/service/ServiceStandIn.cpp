#include "ServiceStandIn.h"

#include "service/ServiceHosts.h"
#include "StandIn.h"

#include <cctype>
#include <cstdlib>

namespace svc {

int Port() {
    return standin::Port();
}

std::wstring ProxyName() {
    return standin::ProxyText();
}

std::string Control(const wchar_t* verb, const std::wstring& path, const std::string& body,
                    int* status) {
    return standin::Exchange(verb, path, body, status);
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

int ArrivedCount() {
    int status = 0;
    const std::string text = Control(L"GET", L"/__arrived", "", &status);
    return status == 200 ? std::atoi(text.c_str()) : -1;
}

int JournalCount() {
    int status = 0;
    const std::string text = Control(L"GET", L"/__journal/count", "", &status);
    return status == 200 ? std::atoi(text.c_str()) : -1;
}

std::string JournalHead(int index) {
    return Control(L"GET", L"/__journal/" + std::to_wstring(index) + L"/head");
}

int JournalConnection(int index) {
    return std::atoi(
        Control(L"GET", L"/__journal/" + std::to_wstring(index) + L"/connection").c_str());
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
            if (value.empty() || value[0] != '@') value = standin::Unescape(value);
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

} // namespace svc
