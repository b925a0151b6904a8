// Text rules shared by the client's parts: trimming and lower-casing as the service and
// the settings expect them.
#pragma once

#include <string>

namespace lumexia {

// The text without leading and trailing characters of " \a\b\f\n\r\t\v" (only those;
// a no-break space stays).
std::wstring TrimText(const std::wstring& text);

// The text lower-cased by the system's rules for the whole length (CharLowerBuffW), so
// Cyrillic tags compare as the user sees them.
std::wstring LowerText(std::wstring text);

} // namespace lumexia
