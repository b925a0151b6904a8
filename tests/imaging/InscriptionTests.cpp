// The inscription by pixels: where it lands, which pixels turn white or black, what is
// cut off at the edges. The expected stamp is worked out here from the text as GDI+
// renders it on its own, pixel by pixel.
#include "imaging/Inscription.h"

#include "TestPictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace lumexia;
using namespace test_pictures;
using Gdiplus::ARGB;
namespace g = Gdiplus::DllExports;

namespace {

struct TextImage {
    int w = 0, h = 0;
    std::vector<bool> ink; // w × h, column i, row j at j * w + i
    bool At(int i, int j) const { return i >= 0 && j >= 0 && i < w && j < h && ink[j * w + i]; }
};

// The text as GDI+ draws it in white 8.25 pt bold Verdana on a transparent bitmap.
TextImage Render(const std::wstring& text) {
    TextImage t;
    GpFontFamilyPtr family;
    if (g::GdipCreateFontFamilyFromName(L"Verdana", nullptr, family.Put()) != Gdiplus::Ok) return t;
    GpFontPtr font;
    g::GdipCreateFont(family.Get(), 8.25f, Gdiplus::FontStyleBold, Gdiplus::UnitPoint, font.Put());
    GpBitmapPtr scratch = Solid(4, 4, 0);
    GpGraphicsPtr sg;
    g::GdipGetImageGraphicsContext(scratch.Get(), sg.Put());
    Gdiplus::RectF zero(0, 0, 0, 0), box;
    g::GdipMeasureString(sg.Get(), text.c_str(), static_cast<INT>(text.size()), font.Get(), &zero,
                         nullptr, &box, nullptr, nullptr);
    t.w = static_cast<int>(std::ceil(box.Width));
    t.h = static_cast<int>(std::ceil(box.Height));
    GpBitmapPtr image = Solid(t.w, t.h, 0);
    {
        GpGraphicsPtr ig;
        g::GdipGetImageGraphicsContext(image.Get(), ig.Put());
        GpSolidFillPtr white;
        g::GdipCreateSolidFill(0xFFFFFFFF, white.Put());
        g::GdipDrawString(ig.Get(), text.c_str(), static_cast<INT>(text.size()), font.Get(), &zero,
                          nullptr, white.Get());
    }
    t.ink.resize(static_cast<size_t>(t.w) * t.h);
    for (int j = 0; j < t.h; ++j)
        for (int i = 0; i < t.w; ++i)
            t.ink[j * t.w + i] = ((Pixel(image.Get(), i, j) >> 16) & 0xFF) != 0;
    return t;
}

// What the target should hold at (x, y) after stamping `t` onto a picture of height
// `height` filled with `background`.
ARGB Expected(const TextImage& t, int height, ARGB background, int x, int y) {
    const int i = x - 5, j = y - (height - t.h - 3);
    if (t.At(i, j)) return 0xFFFFFFFF;
    if (i < 0 || j < 0 || i >= t.w || j >= t.h) return background; // outside the box
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy) {
            const int ni = i - dx, nj = j - dy; // the ink pixel whose neighbour this is
            const bool inBox = ni >= 0 && nj >= 0 && ni < t.w && nj < t.h;
            if (inBox && t.At(ni, nj)) return 0xFF000000;
        }
    return background;
}

class Inscription : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gdiplus_.Ok()); }

    // Stamps onto a w × h picture and compares every pixel with the expectation.
    void StampAndCompare(const std::wstring& text, int w, int h, ARGB background) {
        const TextImage t = Render(text);
        ASSERT_GT(t.w, 0) << "Verdana is not available";
        GpBitmapPtr target = Solid(w, h, background);
        DrawInscription(target.Get(), text);
        int mismatches = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (Pixel(target.Get(), x, y) != Expected(t, h, background, x, y)) ++mismatches;
        EXPECT_EQ(mismatches, 0) << w << "x" << h;
    }

    GdiplusSession gdiplus_;
};

} // namespace

TEST_F(Inscription, StampsWhiteInkAndBlackOutlineInTheLowerLeft) {
    StampAndCompare(L"Lumexia 2026", 200, 60, 0xFF808080);
}

TEST_F(Inscription, PlacementFiveFromLeftAndThreeAboveBottom) {
    const std::wstring text = L"Ag";
    const TextImage t = Render(text);
    GpBitmapPtr target = Solid(100, 50, 0xFF808080);
    DrawInscription(target.Get(), text);
    int minX = 1000, maxY = -1, minY = 1000, maxX = -1;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x)
            if (Pixel(target.Get(), x, y) != 0xFF808080u) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    // Nothing of the stamp leaves its box: columns 5 .. 5 + W - 1, rows up to 50 - 3 - 1.
    EXPECT_GE(minX, 5);
    EXPECT_LE(maxX, 5 + t.w - 1);
    EXPECT_GE(minY, 50 - 3 - t.h);
    EXPECT_LE(maxY, 50 - 4);
    EXPECT_LE(minX, 7); // the first glyph starts near the margin
}

TEST_F(Inscription, OnWhiteOnlyTheOutlineShowsOnBlackOnlyTheLetters) {
    for (ARGB background : {0xFFFFFFFFu, 0xFF000000u}) {
        GpBitmapPtr target = Solid(120, 40, background);
        DrawInscription(target.Get(), L"Tag");
        int changed = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 120; ++x) {
                const ARGB p = Pixel(target.Get(), x, y);
                if (p != background) {
                    ++changed;
                    EXPECT_EQ(p, background == 0xFFFFFFFFu ? 0xFF000000u : 0xFFFFFFFFu);
                }
            }
        EXPECT_GT(changed, 20);
    }
}

TEST_F(Inscription, CutAtTheRightAndTopEdges) {
    StampAndCompare(L"A caption much wider than the picture", 60, 40, 0xFF205020);
    StampAndCompare(L"Low picture", 100, 8, 0xFF205020); // top rows of the text are lost
    StampAndCompare(L"Tiny", 3, 3, 0xFF205020);
}

TEST_F(Inscription, SecondLineGrowsUpward) {
    const TextImage one = Render(L"Line");
    const TextImage two = Render(L"Line\nLine");
    ASSERT_GT(one.h, 0);
    EXPECT_GE(two.h, 2 * one.h - 2);
    StampAndCompare(L"Line\nLine", 100, 80, 0xFF808080);
    GpBitmapPtr target = Solid(100, 80, 0xFF808080);
    DrawInscription(target.Get(), L"Line\nLine");
    int upper = 0;
    for (int y = 0; y < 80 - 3 - one.h; ++y)
        for (int x = 0; x < 100; ++x)
            upper += Pixel(target.Get(), x, y) == 0xFFFFFFFFu;
    EXPECT_GT(upper, 10);
}

TEST_F(Inscription, EmptyTextChangesNothing) {
    GpBitmapPtr target = Solid(50, 30, 0xFF808080);
    DrawInscription(target.Get(), L"");
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(Pixel(target.Get(), x, y), 0xFF808080u);
}
