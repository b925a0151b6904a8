// The text rules of tag completion, with no window: which part of the tags edit's text
// is the tag being typed, the form the cache is searched with, and the text and caret a
// chosen suggestion makes. Tags are separated by commas.
#pragma once

#include <cstddef>
#include <string>

namespace lumexia {

// [start, end) of a tag in the edit's text.
struct TagSpan {
    size_t start;
    size_t end;
};

// The tag around `caret`: after the last comma before the caret (or from 0), up to the
// next comma (or the end). A caret past the end counts as at the end.
TagSpan TagSpanAt(const std::wstring& text, size_t caret);

// The tag around `caret` as the cache is searched with it: leading white space dropped,
// lower-cased by the platform's rules (trailing white space is kept: it is still typed).
std::wstring TagTokenAt(const std::wstring& text, size_t caret);

struct TagCompletion {
    std::wstring text;
    size_t caret; // at the comma after the completed tag, or the end
};

// `entry` in place of the tag around `caret`, after one space unless it is the first tag.
TagCompletion CompleteTagAt(const std::wstring& text, size_t caret, const std::wstring& entry);

} // namespace lumexia
