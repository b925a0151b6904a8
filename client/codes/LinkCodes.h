// Link codes: the line of text per uploaded picture in the kind chosen in the main dialog
// (bare address, BBCode or HTML, with or without a preview linking to the picture page).
#pragma once

#include "service/UploadedImage.h"

#include <windows.h>

#include <string>

namespace lumexia {

// Base of the public picture pages: "http://" + PageHost + "/F/".
std::wstring PageUrlBase();

// The picture page: every "http://" in the picture address replaced by the page base,
// then ".html" appended.
std::wstring PageUrl(const std::wstring& imgUrl);

// Template of a link kind (1, 2, 3, 6, 7, 8, 9); empty for any other kind.
std::wstring LinkTemplate(int kind);

// Writes the code of `kind` into image.code. Preview kinds (3, 7, 9) give an empty code
// when the service named no preview; unknown kinds always give an empty code.
void FormatLinkCode(UploadedImage& image, int kind);
void FormatLinkCodes(UploadedList& images, int kind);

// Every code followed by "\r\n", in list order.
std::wstring ClipboardText(const UploadedList& images);

// Puts ClipboardText on the clipboard as CF_UNICODETEXT. False when the clipboard cannot
// be opened, emptied, or the text cannot be placed: the caller must not claim success.
bool CopyCodesToClipboard(HWND owner, const UploadedList& images);

} // namespace lumexia
