#include "ui/TagText.h"

#include "common/Text.h"

#include <windows.h>

#include <algorithm>

namespace lumexia {
namespace {

const wchar_t kWhiteSpace[] = L" \t\n\v\f\r\b\a";

} // namespace

TagSpan TagSpanAt(const std::wstring& text, size_t caret) {
    caret = std::min(caret, text.size());
    size_t start = 0;
    if (caret > 0) {
        const size_t comma = text.rfind(L',', caret - 1);
        if (comma != std::wstring::npos) start = comma + 1;
    }
    size_t end = text.find(L',', start);
    if (end == std::wstring::npos) end = text.size();
    return {start, end};
}

std::wstring TagTokenAt(const std::wstring& text, size_t caret) {
    const TagSpan span = TagSpanAt(text, caret);
    std::wstring token = text.substr(span.start, span.end - span.start);
    token.erase(0, std::min(token.find_first_not_of(kWhiteSpace), token.size()));
    return LowerText(std::move(token));
}

TagCompletion CompleteTagAt(const std::wstring& text, size_t caret, const std::wstring& entry) {
    const TagSpan span = TagSpanAt(text, caret);
    TagCompletion done;
    done.text =
        text.substr(0, span.start) + (span.start != 0 ? L" " : L"") + entry + text.substr(span.end);
    done.caret = done.text.find(L',', span.start);
    if (done.caret == std::wstring::npos) done.caret = done.text.size();
    return done;
}

} // namespace lumexia
