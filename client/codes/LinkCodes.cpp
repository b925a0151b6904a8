#include "codes/LinkCodes.h"

#include "common/ScopedWin.h"
#include "service/ServiceHosts.h"

#include <cstring>

namespace lumexia {

namespace {

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != std::wstring::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

bool NeedsPreview(int kind) {
    return kind == 3 || kind == 7 || kind == 9;
}

} // namespace

std::wstring PageUrlBase() {
    return std::wstring(L"http://") + PageHost + L"/F/";
}

std::wstring PageUrl(const std::wstring& imgUrl) {
    std::wstring page = imgUrl;
    ReplaceAll(page, L"http://", PageUrlBase());
    return page + L".html";
}

std::wstring LinkTemplate(int kind) {
    switch (kind) {
    case 1:
        return L"{0}";
    case 2:
        return L"[IMG]{0}[/IMG]";
    case 3:
        return L"[URL={3}][IMG]{1}[/IMG][/URL]";
    case 6:
        return L"<img src=\"{0}\">";
    case 7:
        return L"<a target=\"_blank\" href=\"{3}\"><img src=\"{1}\"></a>";
    case 8:
        return L"[img]{0}[/img]";
    case 9:
        return L"[url={3}][img]{1}[/img][/url]";
    default:
        return std::wstring();
    }
}

void FormatLinkCode(UploadedImage& image, int kind) {
    std::wstring code;
    if (!NeedsPreview(kind) || !image.imgPreviewUrl.empty()) code = LinkTemplate(kind);
    // Each pass works on the whole text of the pass before, in the order {0}, {1}, {3}.
    ReplaceAll(code, L"{0}", image.imgUrl);
    ReplaceAll(code, L"{1}", image.imgPreviewUrl);
    ReplaceAll(code, L"{3}", PageUrl(image.imgUrl));
    image.code = code;
}

void FormatLinkCodes(UploadedList& images, int kind) {
    for (UploadedImage& image : images)
        FormatLinkCode(image, kind);
}

std::wstring ClipboardText(const UploadedList& images) {
    std::wstring text;
    for (const UploadedImage& image : images)
        text += image.code + L"\r\n";
    return text;
}

bool CopyCodesToClipboard(HWND owner, const UploadedList& images) {
    ScopedClipboard clipboard(owner);
    if (!clipboard.Opened()) return false;
    if (!::EmptyClipboard()) return false;
    const std::wstring text = ClipboardText(images);
    const size_t bytes = text.size() * sizeof(wchar_t) + 10;
    UniqueGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) return false;
    void* data = ::GlobalLock(memory.Get());
    if (!data) return false;
    std::memset(data, 0, bytes);
    std::memcpy(data, text.data(), text.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory.Get());
    if (!::SetClipboardData(CF_UNICODETEXT, memory.Get())) return false;
    memory.Release(); // the clipboard owns it now
    return true;
}

} // namespace lumexia
