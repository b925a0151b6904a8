#include "imaging/Inscription.h"

#include <cmath>

namespace lumexia {

using namespace Gdiplus;

namespace {

constexpr int kLeftMargin = 5;
constexpr int kBottomMargin = 3;
constexpr ARGB kWhite = 0xFFFFFFFF;
constexpr ARGB kBlack = 0xFF000000;

bool IsInk(ARGB pixel) {
    return ((pixel >> 16) & 0xFF) != 0;
}

} // namespace

void DrawInscription(GpBitmap* target, const std::wstring& text) {
    if (!target || text.empty()) return;
    GpFontFamilyPtr family;
    if (gp::GdipCreateFontFamilyFromName(L"Verdana", nullptr, family.Put()) != Ok) return;
    GpFontPtr font;
    if (gp::GdipCreateFont(family.Get(), 8.25f, FontStyleBold, UnitPoint, font.Put()) != Ok) return;

    GpGraphicsPtr targetSurface;
    if (gp::GdipGetImageGraphicsContext(target, targetSurface.Put()) != Ok) return;
    const RectF zero(0, 0, 0, 0);
    RectF box(0, 0, 0, 0);
    if (gp::GdipMeasureString(targetSurface.Get(), text.c_str(), static_cast<INT>(text.size()),
                              font.Get(), &zero, nullptr, &box, nullptr, nullptr) != Ok)
        return;
    // Bounded by what a sane caption can measure; guards the pixel loop below.
    if (!(box.Width > 0 && box.Height > 0 && box.Width < 100000 && box.Height < 100000)) return;
    const INT w = static_cast<INT>(std::ceil(box.Width));
    const INT h = static_cast<INT>(std::ceil(box.Height));

    GpBitmapPtr textImage;
    if (gp::GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, textImage.Put()) !=
        Ok)
        return;
    {
        GpGraphicsPtr textSurface;
        if (gp::GdipGetImageGraphicsContext(textImage.Get(), textSurface.Put()) != Ok) return;
        gp::GdipGraphicsClear(textSurface.Get(), 0);
        GpSolidFillPtr brush;
        if (gp::GdipCreateSolidFill(kWhite, brush.Put()) != Ok) return;
        gp::GdipDrawString(textSurface.Get(), text.c_str(), static_cast<INT>(text.size()),
                           font.Get(), &zero, nullptr, brush.Get());
        gp::GdipFlush(textSurface.Get(), FlushIntentionSync);
    }
    // The target surface must not be open while its pixels are set one by one.
    targetSurface.Reset();

    UINT targetWidth = 0, targetHeight = 0;
    gp::GdipGetImageWidth(target, &targetWidth);
    gp::GdipGetImageHeight(target, &targetHeight);
    const INT tw = static_cast<INT>(targetWidth);
    const INT th = static_cast<INT>(targetHeight);
    const INT y0 = th - h - kBottomMargin;

    auto inkAt = [&](INT x, INT y) {
        if (x < 0 || y < 0 || x >= w || y >= h) return true; // outside the box counts as ink
        ARGB p = 0;
        gp::GdipBitmapGetPixel(textImage.Get(), x, y, &p);
        return IsInk(p);
    };
    auto put = [&](INT x, INT y, ARGB colour) {
        if (x < 0 || y < 0 || x >= tw || y >= th) return;
        gp::GdipBitmapSetPixel(target, x, y, colour);
    };
    for (INT i = 0; i < w; ++i) {
        for (INT j = 0; j < h; ++j) {
            if (!inkAt(i, j)) continue;
            put(i + kLeftMargin, y0 + j, kWhite);
            for (INT dx = -1; dx <= 1; ++dx) {
                for (INT dy = -1; dy <= 1; ++dy) {
                    if (!inkAt(i + dx, j + dy)) put(i + dx + kLeftMargin, y0 + j + dy, kBlack);
                }
            }
        }
    }
}

} // namespace lumexia
