#include "service/ServiceAddress.h"

#include <cwctype>

namespace lumexia {
namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    for (size_t i = 0; prefix[i]; ++i)
        if (i >= text.size() || std::towlower(text[i]) != prefix[i]) return false;
    return true;
}

bool Forbidden(wchar_t c) {
    switch (c) {
    case L'"':
    case L'\'':
    case L'<':
    case L'>':
    case L'[':
    case L']':
    case L' ':
        return true;
    default:
        // C0, DEL and C1 controls, and the Unicode line and paragraph separators.
        return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
    }
}

} // namespace

bool IsUsableServiceAddress(const std::wstring& address) {
    size_t host = 0;
    if (StartsWithNoCase(address, L"http://"))
        host = 7;
    else if (StartsWithNoCase(address, L"https://"))
        host = 8;
    else
        return false;
    if (host >= address.size() || address[host] == L'/' || address[host] == L'?' ||
        address[host] == L'#')
        return false;
    for (wchar_t c : address)
        if (Forbidden(c)) return false;
    return true;
}

} // namespace lumexia
