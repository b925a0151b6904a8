// Making the file that is actually sent for one picture: either the source copied
// unchanged, or the picture turned upright (EXIF orientation of a JPEG), rotated by the
// user's choice, scaled, drawn on white, captioned and encoded as JPEG or PNG.
// Runs on the operation worker while GDI+ is running (hold a GdiplusUse).
#pragma once

#include "imaging/GdiPlus.h"
#include "imaging/PreparedImage.h"
#include "settings/SettingsRecords.h"

#include <cstdint>
#include <string>

namespace lumexia {

// The format a re-encoded picture is written in. The settings store it as 0 (JPEG) and
// 1 (PNG); any other stored number prepares nothing.
enum class OutputFormat { kJpeg, kPng, kUnknown };
OutputFormat OutputFormatOf(int stored);

// The largest prepared file that still fits into one request body together with the
// part heads and the text fields of an upload of this source with these settings.
uint64_t MaxPreparedFileBytes(const std::wstring& sourcePath, const UploadSettings& settings);

// Writes the prepared file to `outputPath` (overwriting) and fills the reported values of
// `image` (not its paths). False on failure; `error` then holds a message for the user
// when there is one, and is left as it was otherwise. `outOfMemory`, when given, is set
// when a GDI+ step failed for lack of memory (worth another try with less going on).
bool PrepareImage(const std::wstring& sourcePath, const std::wstring& outputPath,
                  const UploadSettings& settings, PreparedImage& image, std::wstring& error,
                  bool* outOfMemory = nullptr);

// Class id of the installed encoder whose MIME type is exactly `mimeType`; false when
// none is listed.
bool FindEncoder(const wchar_t* mimeType, CLSID& clsid);

} // namespace lumexia
