#include "service/UpdateCheck.h"

#include "service/AnswerEnvelope.h"
#include "service/MultipartBody.h"
#include "settings/XmlDocument.h"

#include <cwchar>

namespace lumexia {
namespace {

// Longer addresses are refused outright; no download address comes near it.
constexpr size_t kMaxAddressLength = 2048;

bool IsAsciiAlpha(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}
bool IsAsciiDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}
bool IsHexDigit(wchar_t c) {
    return IsAsciiDigit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}
bool IsUnreserved(wchar_t c) {
    return IsAsciiAlpha(c) || IsAsciiDigit(c) || c == L'-' || c == L'.' || c == L'_' || c == L'~';
}
// Characters of a path, query or fragment besides escapes.
bool IsPathChar(wchar_t c) {
    return IsUnreserved(c) || (c != 0 && std::wcschr(L"!$&'()*+,;=:@/?#", c) != nullptr);
}

bool IsHost(const std::wstring& host) {
    if (host.empty()) return false;
    if (host.front() == L'[') {
        if (host.size() < 4 || host.back() != L']') return false;
        for (size_t i = 1; i + 1 < host.size(); ++i)
            if (!IsHexDigit(host[i]) && host[i] != L':' && host[i] != L'.') return false;
        return true;
    }
    for (wchar_t c : host)
        if (!IsUnreserved(c)) return false;
    return host.find_first_not_of(L'.') != std::wstring::npos;
}

bool IsPort(const std::wstring& port) {
    if (port.empty() || port.size() > 5) return false;
    long value = 0;
    for (wchar_t c : port) {
        if (!IsAsciiDigit(c)) return false;
        value = value * 10 + (c - L'0');
    }
    return value >= 1 && value <= 65535;
}

// Host and optional port. An "@" never passes: "http://trusted@elsewhere/" names elsewhere.
bool IsAuthority(const std::wstring& authority) {
    size_t colon = std::wstring::npos;
    if (!authority.empty() && authority.front() == L'[') {
        const size_t close = authority.find(L']');
        if (close == std::wstring::npos) return false;
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != L':') return false;
            colon = close + 1;
        }
    } else {
        colon = authority.find(L':');
    }
    if (colon == std::wstring::npos) return IsHost(authority);
    return IsHost(authority.substr(0, colon)) && IsPort(authority.substr(colon + 1));
}

bool IsPathPart(const std::wstring& rest) {
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == L'%') {
            if (i + 2 >= rest.size() || !IsHexDigit(rest[i + 1]) || !IsHexDigit(rest[i + 2]))
                return false;
            i += 2;
        } else if (!IsPathChar(rest[i])) {
            return false;
        }
    }
    return true;
}

bool ReadVersionAnswer(const char* bytes, int length, VersionInfo& info) {
    ComPtr<IXMLDOMDocument2> doc;
    if (!LoadAnswer(bytes, length, doc)) return false;
    ComPtr<IXMLDOMNode> major = SelectXmlNode(doc.Get(), L"//info/majornum");
    ComPtr<IXMLDOMNode> minor = SelectXmlNode(doc.Get(), L"//info/minornum");
    ComPtr<IXMLDOMNode> path = SelectXmlNode(doc.Get(), L"//info/pathupd");
    if (!major || !minor || !path) return false;
    std::wstring majorText, minorText, pathText;
    if (!GetXmlNodeText(major.Get(), majorText) || !GetXmlNodeText(minor.Get(), minorText) ||
        !GetXmlNodeText(path.Get(), pathText))
        return false;
    info.updateAddress = ShellSafeUpdateAddress(pathText);
    if (info.updateAddress.empty()) return false;
    info.major = DecimalValue(majorText);
    info.minor = DecimalValue(minorText);
    return true;
}

} // namespace

bool RequestVersionInfo(const PostRequest& request, VersionInfo& info) {
    info = VersionInfo();
    MultipartBody form;
    if (!form.Reset() || !form.Close() || !form.Send(request)) return false;
    VersionInfo read;
    if (!ReadVersionAnswer(request.answer, *request.answerLength, read)) return false;
    info = read;
    return true;
}

std::wstring ShellSafeUpdateAddress(const std::wstring& text) {
    if (text.size() > kMaxAddressLength) return std::wstring();
    const size_t separator = text.find(L"://");
    if (separator == std::wstring::npos) return std::wstring();
    std::wstring scheme = text.substr(0, separator);
    for (wchar_t& c : scheme)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (scheme != L"http" && scheme != L"https") return std::wstring();
    const size_t start = separator + 3;
    const size_t end = text.find_first_of(L"/?#", start);
    const std::wstring authority =
        text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    const std::wstring rest = end == std::wstring::npos ? std::wstring() : text.substr(end);
    if (!IsAuthority(authority) || !IsPathPart(rest)) return std::wstring();
    return scheme + L"://" + authority + rest;
}

bool IsUpdateOffered(int major, int minor, bool showMinorUpdates) {
    if (major > kClientMajor) return true;
    return major == kClientMajor && minor > kClientMinor && showMinorUpdates;
}

} // namespace lumexia
