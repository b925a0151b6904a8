// How much the picture pipeline adds over the bare GDI+ work it cannot avoid.
//
// Takes a batch of camera-sized (4000 x 3000) JPEGs, then times, picture by picture and
// interleaved (the order rotated) so that drift hits all three alike:
//   bare     load, bicubic draw to 640 x 480 on white, save JPEG (the unavoidable work);
//   prepare  PrepareImage at maximum size 640, JPEG output;
//   caption  the same with an inscription.
// Prints per-picture times in milliseconds and the ratios to the bare loop.
// Goal: PrepareImage within 5% of the bare loop, and with an inscription within 10%.
// The wall time of a whole 200-picture processing phase in the real client comes from
// the memory benchmark (bench/memory), which runs one.
//
// Run alone: make bench BENCH=pipeline, or inside tools/winenv:
//     pipeline_bench.exe PICTURE_FOLDER [pictures [rounds]]   (defaults 6 and 3)
// (the pictures are made in PICTURE_FOLDER once and kept there).
#include "BenchSupport.h"
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

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf("usage: pipeline_bench PICTURE_FOLDER [pictures [rounds]]\n");
        return 2;
    }
    const int pictures = argc > 2 ? std::max(1, _wtoi(argv[2])) : 6;
    const int rounds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;
    GdiplusSession gdiplus;
    if (!gdiplus.Ok()) {
        std::printf("GDI+ did not start\n");
        return 1;
    }
    std::vector<std::wstring> sources;
    const std::wstring folder = argv[1];
    const double made = bench::NowMs();
    if (!bench::CameraPictures(folder, pictures, pictures, sources)) return 1;
    const double madeMs = bench::NowMs() - made;
    double bytes = 0;
    for (const auto& s : sources) {
        WIN32_FILE_ATTRIBUTE_DATA a;
        if (::GetFileAttributesExW(s.c_str(), GetFileExInfoStandard, &a)) bytes += a.nFileSizeLow;
    }
    std::printf("%d pictures of 4000x3000 (%.2f MB each) ready in %.0f ms\n", pictures,
                bytes / pictures / 1e6, madeMs);

    CLSID jpeg;
    FindEncoder(L"image/jpeg", jpeg);
    UploadSettings plain;
    plain.maxSize = 640;
    UploadSettings caption = plain;
    caption.isSubscr = true;
    caption.subscrText = L"Lumexia benchmark 2026";
    const std::wstring out = lumexia::DataFolder() + L"pipeline-bench-output";

    double total[3] = {0, 0, 0};
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < pictures; ++i) {
            for (int k = 0; k < 3; ++k) {
                const int mode = (k + round + i) % 3; // rotate the order
                PreparedImage image;
                std::wstring error;
                const double start = bench::NowMs();
                bool ok = false;
                if (mode == 0) ok = Bare(sources[i], out, jpeg);
                if (mode == 1) ok = PrepareImage(sources[i], out, plain, image, error);
                if (mode == 2) ok = PrepareImage(sources[i], out, caption, image, error);
                total[mode] += bench::NowMs() - start;
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
    bench::Figure("PrepareImage / bare GDI+ loop, 4000x3000 to 640",
                  bench::Format("%.3f (%.0f vs %.0f ms)", prepare / bare, prepare, bare), "<= 1.05",
                  prepare / bare <= 1.05 ? "yes" : "no");
    bench::Figure("PrepareImage with inscription / bare loop",
                  bench::Format("%.3f (%.0f ms)", withCaption / bare, withCaption), "<= 1.10",
                  withCaption / bare <= 1.10 ? "yes" : "no");
    ::DeleteFileW(out.c_str());
    return failures == 0 ? 0 : 1;
}
