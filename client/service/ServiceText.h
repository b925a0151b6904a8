// Texts the service sends for the user to read (album titles, tags, error messages) come
// over plain HTTP, through whatever proxy the user set, and are shown in list boxes,
// combo boxes and message boxes. They are cleaned where they are read, so no window ever
// gets a control character or a direction override that would make a text look like
// another (a title reading backwards, a message pretending to end where it does not).
#pragma once

#include <cstddef>
#include <string>

namespace lumexia {

// The most characters of a service message shown to the user.
constexpr std::size_t kServiceMessageMax = 1000;

// `text` without control characters (U+0000-U+001F, U+007F-U+009F) and without the
// bidirectional embeddings, overrides and isolates (U+202A-U+202E, U+2066-U+2069).
std::wstring CleanServiceText(const std::wstring& text);

// The same, but line breaks (CR, LF) stay, and the result is cut to kServiceMessageMax
// UTF-16 units (never between the two halves of a surrogate pair).
std::wstring CleanServiceMessage(const std::wstring& text);

} // namespace lumexia
