#include "shellext/ExtIdentity.h"

namespace lumexia::ext {
namespace {

// The identities are generated per build into ExtBuild.h as registry texts
// ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"); the binary forms are read from those same
// texts at compile time, so the two can never disagree.
constexpr unsigned HexDigit(wchar_t c) {
    return c >= L'0' && c <= L'9'   ? static_cast<unsigned>(c - L'0')
           : c >= L'A' && c <= L'F' ? static_cast<unsigned>(c - L'A' + 10)
           : c >= L'a' && c <= L'f' ? static_cast<unsigned>(c - L'a' + 10)
                                    : 0x100; // poisons the value; caught by IsGuidText
}

constexpr unsigned long HexRun(const wchar_t* text, int from, int count) {
    unsigned long value = 0;
    for (int i = 0; i < count; ++i)
        value = value * 16 + HexDigit(text[from + i]);
    return value;
}

constexpr bool IsGuidText(const wchar_t (&text)[39]) {
    for (int i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != L'-' : HexDigit(text[i]) > 15) return false;
    }
    return text[0] == L'{' && text[37] == L'}';
}

constexpr GUID GuidFromText(const wchar_t (&text)[39]) {
    auto byte = [&](int at) { return static_cast<unsigned char>(HexRun(text, at, 2)); };
    return GUID{HexRun(text, 1, 8),
                static_cast<unsigned short>(HexRun(text, 10, 4)),
                static_cast<unsigned short>(HexRun(text, 15, 4)),
                {byte(20), byte(22), byte(25), byte(27), byte(29), byte(31), byte(33), byte(35)}};
}

static_assert(IsGuidText(EXT_CLSID_TEXT) && IsGuidText(EXT_IID_TEXT) && IsGuidText(EXT_LIBID_TEXT),
              "ExtBuild.h must name each identity as {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");

} // namespace

// The two builds differ only in these identities and the names in ExtBuild.h, so they
// can be registered side by side.
const CLSID kClsid = GuidFromText(EXT_CLSID_TEXT);
const IID kIid = GuidFromText(EXT_IID_TEXT);
const GUID kLibId = GuidFromText(EXT_LIBID_TEXT);

const wchar_t kMenuText[] = L"Опубликовать на lumexia.ru";
const wchar_t kHelpText[] = L"Разместить изображения на ЛУМЕКСИЯ";
const wchar_t kStartErrorText[] = L"Не удаётся запустить приложение ЛУМЕКСИЯ";

} // namespace lumexia::ext
