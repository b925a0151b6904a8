#include "service/ServiceText.h"

namespace lumexia {
namespace {

bool IsControl(wchar_t c) {
    return c <= 0x1F || (c >= 0x7F && c <= 0x9F);
}

bool IsDirectionControl(wchar_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::wstring Clean(const std::wstring& text, bool keepLineBreaks) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        const bool lineBreak = c == L'\r' || c == L'\n';
        if (IsDirectionControl(c) || (IsControl(c) && !(keepLineBreaks && lineBreak))) continue;
        out.push_back(c);
    }
    return out;
}

} // namespace

std::wstring CleanServiceText(const std::wstring& text) {
    return Clean(text, false);
}

std::wstring CleanServiceMessage(const std::wstring& text) {
    std::wstring out = Clean(text, true);
    if (out.size() > kServiceMessageMax) {
        size_t end = kServiceMessageMax;
        // A high surrogate without its low half would show as a broken character.
        if (out[end - 1] >= 0xD800 && out[end - 1] <= 0xDBFF) --end;
        out.resize(end);
    }
    return out;
}

} // namespace lumexia
