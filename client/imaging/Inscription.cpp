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

// Draws the text white on a transparent bitmap of the size it measures on `target`.
bool RenderText(GpBitmap* target, const std::wstring& text, GpFont* font, GpBitmapPtr& textImage,
                INT& w, INT& h) {
    // The target surface is only for measuring; it closes on return, before the caller
    // sets the target's pixels one by one.
    GpGraphicsPtr targetSurface;
    if (gp::GdipGetImageGraphicsContext(target, targetSurface.Put()) != Ok) return false;
    const RectF zero(0, 0, 0, 0);
    RectF box(0, 0, 0, 0);
    if (gp::GdipMeasureString(targetSurface.Get(), text.c_str(), static_cast<INT>(text.size()),
                              font, &zero, nullptr, &box, nullptr, nullptr) != Ok)
        return false;
    // Bounded by what a sane caption can measure; guards the pixel loop.
    if (!(box.Width > 0 && box.Height > 0 && box.Width < 100000 && box.Height < 100000))
        return false;
    w = static_cast<INT>(std::ceil(box.Width));
    h = static_cast<INT>(std::ceil(box.Height));

    if (gp::GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, textImage.Put()) !=
        Ok)
        return false;
    GpGraphicsPtr textSurface;
    if (gp::GdipGetImageGraphicsContext(textImage.Get(), textSurface.Put()) != Ok) return false;
    gp::GdipGraphicsClear(textSurface.Get(), 0);
    GpSolidFillPtr brush;
    if (gp::GdipCreateSolidFill(kWhite, brush.Put()) != Ok) return false;
    gp::GdipDrawString(textSurface.Get(), text.c_str(), static_cast<INT>(text.size()), font, &zero,
                       nullptr, brush.Get());
    gp::GdipFlush(textSurface.Get(), FlushIntentionSync);
    return true;
}

// Copies the ink of the w x h text bitmap into the lower left corner of `target` in white,
// with black on every pixel next to ink that is not ink itself.
void StampOutlined(GpBitmap* target, GpBitmap* textImage, INT w, INT h) {
    UINT targetWidth = 0, targetHeight = 0;
    gp::GdipGetImageWidth(target, &targetWidth);
    gp::GdipGetImageHeight(target, &targetHeight);
    const INT tw = static_cast<INT>(targetWidth);
    const INT th = static_cast<INT>(targetHeight);
    const INT y0 = th - h - kBottomMargin;

    auto inkAt = [&](INT x, INT y) {
        if (x < 0 || y < 0 || x >= w || y >= h) return true; // outside the box counts as ink
        ARGB p = 0;
        gp::GdipBitmapGetPixel(textImage, x, y, &p);
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

} // namespace

void DrawInscription(GpBitmap* target, const std::wstring& text) {
    if (!target || text.empty()) return;
    GpFontFamilyPtr family;
    if (gp::GdipCreateFontFamilyFromName(L"Verdana", nullptr, family.Put()) != Ok) return;
    GpFontPtr font;
    if (gp::GdipCreateFont(family.Get(), 8.25f, FontStyleBold, UnitPoint, font.Put()) != Ok) return;
    GpBitmapPtr textImage;
    INT w = 0, h = 0;
    if (!RenderText(target, text, font.Get(), textImage, w, h)) return;
    StampOutlined(target, textImage.Get(), w, h);
}

} // namespace lumexia
