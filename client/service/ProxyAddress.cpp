#include "service/ProxyAddress.h"

#include "common/Utf8.h"

#include <cwctype>

namespace lumexia {
namespace {

bool IsSpace(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r') || c == 0x00A0 || c == 0x3000;
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// "%XX" escapes into bytes, the bytes read as UTF-8, as in an address's user part.
bool PercentDecode(const std::wstring& text, std::wstring& out) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') {
            bytes += ToUtf8(std::wstring(1, text[i]));
            continue;
        }
        const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    out = FromUtf8(bytes);
    return true;
}

bool IsHostName(const std::wstring& host) {
    if (host.empty()) return false;
    if (host.front() == L'[') {
        // A bracketed IPv6 literal.
        if (host.size() < 3 || host.back() != L']') return false;
        for (size_t i = 1; i + 1 < host.size(); ++i)
            if (HexValue(host[i]) < 0 && host[i] != L':' && host[i] != L'.') return false;
        return true;
    }
    for (wchar_t c : host) {
        const bool ascii = c < 0x80 && (std::iswalnum(c) || c == L'-' || c == L'.' || c == L'_');
        if (!ascii) return false;
    }
    return true;
}

bool ReadPort(const std::wstring& digits, unsigned& port) {
    if (digits.empty() || digits.size() > 5) return false;
    port = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return false;
        port = port * 10 + static_cast<unsigned>(c - L'0');
    }
    return port >= 1 && port <= 65535;
}

} // namespace

ProxyTextProblem ParseProxyText(const std::wstring& text, ProxyAddress& out) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsSpace(text[first]))
        ++first;
    while (last > first && IsSpace(text[last - 1]))
        --last;
    std::wstring rest = text.substr(first, last - first);
    if (rest.empty()) return ProxyTextProblem::kEmpty;
    for (wchar_t c : rest)
        if (IsSpace(c)) return ProxyTextProblem::kSpaces;

    const size_t scheme = rest.find(L"://");
    if (scheme != std::wstring::npos) {
        std::wstring name = rest.substr(0, scheme);
        for (wchar_t& c : name)
            c = static_cast<wchar_t>(std::towlower(c));
        if (name != L"http") return ProxyTextProblem::kScheme;
        rest.erase(0, scheme + 3);
        // "http://host:port/" as a browser's settings write it.
        if (!rest.empty() && rest.back() == L'/') rest.pop_back();
    }

    ProxyAddress parsed;
    // The last "@" ends the credentials, so an unescaped "@" in a password still reads.
    const size_t at = rest.rfind(L'@');
    if (at != std::wstring::npos) {
        const std::wstring userInfo = rest.substr(0, at);
        const size_t colon = userInfo.find(L':');
        if (!PercentDecode(userInfo.substr(0, colon), parsed.user))
            return ProxyTextProblem::kBadEscape;
        if (colon != std::wstring::npos &&
            !PercentDecode(userInfo.substr(colon + 1), parsed.password))
            return ProxyTextProblem::kBadEscape;
        rest.erase(0, at + 1);
    }

    const size_t colon = rest.rfind(L':');
    if (colon == std::wstring::npos || (rest.front() == L'[' && rest.back() == L']'))
        return ProxyTextProblem::kNoPort;
    const std::wstring host = rest.substr(0, colon);
    if (!IsHostName(host)) return ProxyTextProblem::kNoHost;
    unsigned port = 0;
    if (!ReadPort(rest.substr(colon + 1), port)) return ProxyTextProblem::kPortRange;
    parsed.hostPort = host + L":" + std::to_wstring(port);
    out = std::move(parsed);
    return ProxyTextProblem::kNone;
}

std::wstring ProxyTextProblemMessage(ProxyTextProblem problem) {
    const std::wstring form =
        L"\r\nАдрес прокси-сервера записывается как адрес:порт, например 192.168.0.1:3128 "
        L"(с паролем: имя:пароль@адрес:порт).";
    switch (problem) {
    case ProxyTextProblem::kNone:
        return std::wstring();
    case ProxyTextProblem::kEmpty:
        return L"Адрес прокси-сервера не указан." + form;
    case ProxyTextProblem::kSpaces:
        return L"Адрес прокси-сервера не может содержать пробелы." + form;
    case ProxyTextProblem::kScheme:
        return L"Поддерживаются только прокси-серверы HTTP (http://)." + form;
    case ProxyTextProblem::kNoHost:
        return L"Неверное имя или адрес прокси-сервера." + form;
    case ProxyTextProblem::kNoPort:
        return L"Не указан порт прокси-сервера." + form;
    case ProxyTextProblem::kPortRange:
        return L"Порт прокси-сервера должен быть числом от 1 до 65535." + form;
    case ProxyTextProblem::kBadEscape:
        return L"Неверная запись имени пользователя или пароля прокси-сервера "
               L"(после знака % должны идти две шестнадцатеричные цифры)." +
               form;
    }
    return form;
}

} // namespace lumexia
