#include "common/Text.h"

#include <windows.h>

namespace lumexia {

std::wstring TrimText(const std::wstring& text) {
    static const wchar_t kTrimSet[] = L" \a\b\f\n\r\t\v";
    const size_t first = text.find_first_not_of(kTrimSet);
    if (first == std::wstring::npos) return std::wstring();
    const size_t last = text.find_last_not_of(kTrimSet);
    return text.substr(first, last - first + 1);
}

std::wstring LowerText(std::wstring text) {
    if (!text.empty()) ::CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

} // namespace lumexia
