// The caption stamped into the lower left corner of a prepared picture: white letters,
// hard edged, with a one-pixel black outline, in 8.25 point bold Verdana.
#pragma once

#include "imaging/GdiPlus.h"

#include <string>

namespace lumexia {

// Stamps the (already trimmed) text onto the 32-bit ARGB bitmap in place. Nothing is
// drawn when Verdana is not installed or the text measures empty. GDI+ must be running.
void DrawInscription(Gdiplus::GpBitmap* target, const std::wstring& text);

} // namespace lumexia
