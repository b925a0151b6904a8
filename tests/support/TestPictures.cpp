#include "TestPictures.h"

#include "imaging/ImagePipeline.h"

#include <algorithm>
#include <cstdlib>

using namespace Gdiplus;
using namespace lumexia;

namespace test_pictures {

const GUID kJpeg = {0xb96b3cae, 0x0728, 0x11d3, {0x9d, 0x7b, 0, 0, 0xf8, 0x1e, 0xf3, 0x2e}};
const GUID kPng = {0xb96b3caf, 0x0728, 0x11d3, {0x9d, 0x7b, 0, 0, 0xf8, 0x1e, 0xf3, 0x2e}};
const GUID kGif = {0xb96b3cb0, 0x0728, 0x11d3, {0x9d, 0x7b, 0, 0, 0xf8, 0x1e, 0xf3, 0x2e}};

GpBitmapPtr Solid(int w, int h, ARGB colour) {
    GpBitmapPtr bitmap;
    gp::GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, bitmap.Put());
    if (bitmap) Fill(bitmap.Get(), 0, 0, w, h, colour);
    return bitmap;
}

void Fill(GpBitmap* bitmap, int x, int y, int w, int h, ARGB colour) {
    GpGraphicsPtr g;
    gp::GdipGetImageGraphicsContext(bitmap, g.Put());
    GpSolidFillPtr brush;
    gp::GdipCreateSolidFill(colour, brush.Put());
    // Copy, not blend: transparent fills must stay transparent.
    gp::GdipSetCompositingMode(g.Get(), CompositingModeSourceCopy);
    gp::GdipFillRectangleI(g.Get(), brush.Get(), x, y, w, h);
}

bool Save(GpBitmap* bitmap, const std::wstring& path, const wchar_t* mime) {
    CLSID encoder;
    if (!bitmap || !FindEncoder(mime, encoder)) return false;
    return gp::GdipSaveImageToFile(bitmap, path.c_str(), &encoder, nullptr) == Ok;
}

bool SaveSolid(const std::wstring& path, int w, int h, ARGB colour, const wchar_t* mime) {
    GpBitmapPtr bitmap = Solid(w, h, colour);
    return Save(bitmap.Get(), path, mime);
}

bool WriteSolidGif(const std::wstring& path, int w, int h, ARGB colour) {
    auto le16 = [](int v) {
        return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
    };
    std::string gif = "GIF89a" + le16(w) + le16(h) + "\xF6" + std::string(2, '\0');
    std::string table(128 * 3, '\0'); // 128 entries, only entry 0 used
    table[0] = static_cast<char>(colour >> 16 & 0xFF);
    table[1] = static_cast<char>(colour >> 8 & 0xFF);
    table[2] = static_cast<char>(colour & 0xFF);
    gif += table + "\x2C" + le16(0) + le16(0) + le16(w) + le16(h) + std::string(1, '\0');
    // Minimum code size 7: codes are 8 bits wide, one per byte, as long as a clear code
    // comes before the table would grow past 256 entries.
    gif += '\x07';
    std::string codes;
    const long pixels = static_cast<long>(w) * h;
    for (long done = 0; done < pixels;) {
        codes += static_cast<char>(0x80); // clear
        for (int k = 0; k < 100 && done < pixels; ++k, ++done)
            codes += '\0';
    }
    codes += static_cast<char>(0x81); // end of information
    for (size_t at = 0; at < codes.size(); at += 255) {
        const size_t n = std::min<size_t>(255, codes.size() - at);
        gif += static_cast<char>(n);
        gif += codes.substr(at, n);
    }
    gif += std::string(1, '\0') + "\x3B";
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(f, gif.data(), static_cast<DWORD>(gif.size()), &written, nullptr) &&
                    written == gif.size();
    ::CloseHandle(f);
    return ok;
}

std::string WithExifOrientation(const std::string& jpeg, int value, bool big) {
    auto u16 = [big](unsigned v) {
        std::string s(2, '\0');
        s[big ? 0 : 1] = static_cast<char>((v >> 8) & 0xFF);
        s[big ? 1 : 0] = static_cast<char>(v & 0xFF);
        return s;
    };
    auto u32 = [&](unsigned v) {
        return big ? u16(v >> 16) + u16(v & 0xFFFF) : u16(v & 0xFFFF) + u16(v >> 16);
    };
    std::string tiff = big ? "MM" : "II";
    tiff += u16(42) + u32(8);
    // IFD0 with two entries, orientation second: the reader must walk the directory.
    tiff += u16(2);
    tiff += u16(0x010F) + u16(2) + u32(4) + std::string("Cam\0", 4); // Make, ASCII
    tiff += u16(0x0112) + u16(3) + u32(1) + u16(static_cast<unsigned>(value)) + u16(0);
    tiff += u32(0); // no next IFD
    const std::string payload = std::string("Exif\0\0", 6) + tiff;
    const size_t length = payload.size() + 2;
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>((length >> 8) & 0xFF);
    segment += static_cast<char>(length & 0xFF);
    segment += payload;
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

Loaded Load(const std::wstring& path) {
    Loaded l;
    if (gp::GdipCreateBitmapFromFile(path.c_str(), l.bitmap.Put()) != Ok || !l.bitmap) return l;
    gp::GdipGetImageWidth(l.bitmap.Get(), &l.width);
    gp::GdipGetImageHeight(l.bitmap.Get(), &l.height);
    gp::GdipGetImageRawFormat(l.bitmap.Get(), &l.raw);
    l.ok = true;
    return l;
}

ARGB Pixel(GpBitmap* bitmap, int x, int y) {
    ARGB p = 0;
    gp::GdipBitmapGetPixel(bitmap, x, y, &p);
    return p;
}

bool Near(ARGB a, ARGB b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int ca = static_cast<int>((a >> shift) & 0xFF);
        const int cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > tolerance) return false;
    }
    return true;
}

std::vector<std::wstring> WriteRoadPictures(const std::wstring& folder) {
    lumexia::GdiplusSession gdiplus;
    const std::wstring jpeg = folder + L"photo.jpg", png = folder + L"badge.png",
                       gif = folder + L"anim.gif";
    if (!SaveSolid(jpeg, 1000, 800, 0xFF3366CC, L"image/jpeg") ||
        !SaveSolid(png, 300, 200, 0x80FF0000, L"image/png") ||
        !WriteSolidGif(gif, 120, 90, 0xFF00AA00))
        return {};
    return {jpeg, png, gif};
}

} // namespace test_pictures
