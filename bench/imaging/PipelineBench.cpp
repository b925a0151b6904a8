// How much the picture pipeline adds over the bare GDI+ work it cannot avoid.
//
// Makes a batch of 4000 × 3000 JPEGs, then times, picture by picture and interleaved so
// that drift hits all three alike:
//   bare     load, bicubic draw to 640 × 480 on white, save JPEG (the unavoidable work);
//   prepare  PrepareImage at maximum size 640, JPEG output;
//   caption  the same with an inscription.
// Prints per-picture times in milliseconds and the ratios to the bare loop.
//
// Usage: pipeline_bench [pictures [rounds]]   (defaults 6 and 3)
#include "common/DataFolder.h"
#include "imaging/GdiPlus.h"
#include "imaging/ImagePipeline.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace lumexia;
using namespace Gdiplus;

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// A photo-like 4000 × 3000 picture: gradients under sensor-like noise, so the JPEG is about
// as large as a camera's (a few megabytes) and decoding costs what it would for a photo.
bool MakePicture(const std::wstring& path, int seed) {
    const int w = 4000, h = 3000;
    GpBitmapPtr bitmap;
    if (gp::GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, bitmap.Put()) != Ok)
        return false;
    Rect all(0, 0, w, h);
    BitmapData data;
    if (gp::GdipBitmapLockBits(bitmap.Get(), &all, ImageLockModeWrite, PixelFormat32bppARGB,
                               &data) != Ok)
        return false;
    UINT32 noise = static_cast<UINT32>(seed) * 2654435761u + 1;
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<UINT32*>(static_cast<BYTE*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < w; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const UINT32 n = noise >> 27; // 0..31
            const UINT32 r = ((x * 200 / w + seed * 37) & 0xFF) * 7 / 8 + n;
            const UINT32 g = ((y * 200 / h + seed * 11) & 0xFF) * 7 / 8 + (n ^ 9);
            const UINT32 b = (((x ^ y) + seed) & 0x3F) + 96 + (n ^ 21);
            row[x] = 0xFF000000u | (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
        }
    }
    gp::GdipBitmapUnlockBits(bitmap.Get(), &data);
    CLSID jpeg;
    return FindEncoder(L"image/jpeg", jpeg) &&
           gp::GdipSaveImageToFile(bitmap.Get(), path.c_str(), &jpeg, nullptr) == Ok;
}

// The bare loop: what any preparation of this picture has to do.
bool Bare(const std::wstring& source, const std::wstring& output, const CLSID& jpeg) {
    GpBitmapPtr loaded;
    if (gp::GdipCreateBitmapFromFile(source.c_str(), loaded.Put()) != Ok) return false;
    GpBitmapPtr result;
    gp::GdipCreateBitmapFromScan0(640, 480, 0, PixelFormat32bppARGB, nullptr, result.Put());
    {
        GpGraphicsPtr g;
        gp::GdipGetImageGraphicsContext(result.Get(), g.Put());
        gp::GdipSetInterpolationMode(g.Get(), InterpolationModeHighQualityBicubic);
        gp::GdipGraphicsClear(g.Get(), 0xFFFFFFFF);
        gp::GdipDrawImageRectI(g.Get(), loaded.Get(), 0, 0, 640, 480);
    }
    return gp::GdipSaveImageToFile(result.Get(), output.c_str(), &jpeg, nullptr) == Ok;
}

} // namespace

int main(int argc, char** argv) {
    const int pictures = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    GdiplusSession gdiplus;
    if (!gdiplus.Ok()) {
        std::printf("GDI+ did not start\n");
        return 1;
    }
    const std::wstring folder = DataFolder() + L"bench\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> sources;
    const double made = Now();
    for (int i = 0; i < pictures; ++i) {
        sources.push_back(folder + L"photo" + std::to_wstring(i) + L".jpg");
        if (!MakePicture(sources.back(), i)) {
            std::printf("could not make picture %d\n", i);
            return 1;
        }
    }
    const double madeMs = Now() - made;
    double bytes = 0;
    for (const auto& s : sources) {
        WIN32_FILE_ATTRIBUTE_DATA a;
        if (::GetFileAttributesExW(s.c_str(), GetFileExInfoStandard, &a)) bytes += a.nFileSizeLow;
    }
    std::printf("made %d pictures of 4000x3000 (%.2f MB each) in %.0f ms\n", pictures,
                bytes / pictures / 1e6, madeMs);

    CLSID jpeg;
    FindEncoder(L"image/jpeg", jpeg);
    UploadSettings plain;
    plain.maxSize = 640;
    UploadSettings caption = plain;
    caption.isSubscr = true;
    caption.subscrText = L"Lumexia benchmark 2026";
    const std::wstring out = folder + L"OUT";

    double total[3] = {0, 0, 0};
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < pictures; ++i) {
            for (int k = 0; k < 3; ++k) {
                const int mode = (k + round + i) % 3; // rotate the order
                PreparedImage image;
                std::wstring error;
                const double start = Now();
                bool ok = false;
                if (mode == 0) ok = Bare(sources[i], out, jpeg);
                if (mode == 1) ok = PrepareImage(sources[i], out, plain, image, error);
                if (mode == 2) ok = PrepareImage(sources[i], out, caption, image, error);
                total[mode] += Now() - start;
                if (!ok) ++failures;
            }
        }
    }
    const double n = static_cast<double>(pictures) * rounds;
    const double bare = total[0] / n, prepare = total[1] / n, withCaption = total[2] / n;
    std::printf("per picture over %d runs each (ms):\n", static_cast<int>(n));
    std::printf("  bare GDI+ loop        %8.1f\n", bare);
    std::printf("  PrepareImage          %8.1f   ratio %.3f\n", prepare, prepare / bare);
    std::printf("  PrepareImage+caption  %8.1f   ratio %.3f\n", withCaption, withCaption / bare);
    std::printf("failures: %d\n", failures);
    for (const auto& s : sources)
        ::DeleteFileW(s.c_str());
    ::DeleteFileW(out.c_str());
    ::RemoveDirectoryW(folder.c_str());
    return failures == 0 ? 0 : 1;
}
