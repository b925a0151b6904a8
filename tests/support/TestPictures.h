// Pictures made by the tests with GDI+ itself, and ways to look into prepared files.
// GDI+ must be running (GdiplusSession).
#pragma once

#include "imaging/GdiPlus.h"

#include <string>
#include <vector>

namespace test_pictures {

// A w × h 32-bit ARGB bitmap filled with `colour`.
lumexia::GpBitmapPtr Solid(int w, int h, Gdiplus::ARGB colour);
// Fills a rectangle of the bitmap with `colour` (through a drawing surface).
void Fill(Gdiplus::GpBitmap* bitmap, int x, int y, int w, int h, Gdiplus::ARGB colour);
// Saves with the encoder of this MIME type ("image/jpeg", "image/png", "image/gif").
bool Save(Gdiplus::GpBitmap* bitmap, const std::wstring& path, const wchar_t* mime);
bool SaveSolid(const std::wstring& path, int w, int h, Gdiplus::ARGB colour, const wchar_t* mime);

// A single-colour GIF written byte by byte (the platform's GIF encoder is not relied on).
bool WriteSolidGif(const std::wstring& path, int w, int h, Gdiplus::ARGB colour);

// The three pictures of the main road, written into `folder` (ending in a backslash): a
// 1000x800 JPEG, a PNG with transparency and a GIF; their paths in that order, none when
// one could not be written. Starts GDI+ for itself.
std::vector<std::wstring> WriteRoadPictures(const std::wstring& folder);

// JPEG bytes with an APP1 Exif segment carrying orientation `value` inserted after SOI.
std::string WithExifOrientation(const std::string& jpeg, int value, bool bigEndian);

struct Loaded {
    bool ok = false;
    UINT width = 0, height = 0;
    GUID raw = {};
    lumexia::GpBitmapPtr bitmap;
};
Loaded Load(const std::wstring& path);
Gdiplus::ARGB Pixel(Gdiplus::GpBitmap* bitmap, int x, int y);
// True when each channel differs by at most `tolerance` (JPEG is lossy).
bool Near(Gdiplus::ARGB a, Gdiplus::ARGB b, int tolerance = 40);

extern const GUID kJpeg, kPng, kGif;

} // namespace test_pictures
