// The EXIF orientation of JPEG sources: each of the eight values turns the re-encoded
// picture upright; damaged or hostile blocks are ignored without harm.
#include "imaging/ExifOrientation.h"
#include "imaging/ImagePipeline.h"

#include "TestPictures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace lumexia;
using namespace test_pictures;
namespace ts = testing_support;

namespace {

// Upright: 160 × 80, quarters red (top left), green (top right), blue (bottom left),
// yellow (bottom right).
GpBitmapPtr Upright() {
    GpBitmapPtr b = Solid(160, 80, 0xFFFF0000);
    Fill(b.Get(), 80, 0, 80, 40, 0xFF00FF00);
    Fill(b.Get(), 0, 40, 80, 40, 0xFF0000FF);
    Fill(b.Get(), 80, 40, 80, 40, 0xFFFFFF00);
    return b;
}

// How a camera stores the upright picture for each orientation value, written from the
// tag's definition (where row 0 and column 0 of the stored pixels lie in the scene), not
// from the reader's table: a swapped pair of flips there must fail here.
Gdiplus::RotateFlipType StoredAs(int orientation) {
    switch (orientation) {
    case 2: // top-right: mirrored left to right
        return Gdiplus::RotateNoneFlipX;
    case 3: // bottom-right: upside down
        return Gdiplus::Rotate180FlipNone;
    case 4: // bottom-left: mirrored top to bottom
        return Gdiplus::RotateNoneFlipY;
    case 5: // left-top: transposed, (x, y) -> (y, x)
        return Gdiplus::Rotate90FlipX;
    case 6: // right-top: stored a quarter turn counter-clockwise
        return Gdiplus::Rotate270FlipNone;
    case 7: // right-bottom: transversed, (x, y) -> (h - 1 - y, w - 1 - x)
        return Gdiplus::Rotate270FlipX;
    case 8: // left-bottom: stored a quarter turn clockwise
        return Gdiplus::Rotate90FlipNone;
    default:
        return Gdiplus::RotateNoneFlipNone;
    }
}

} // namespace

TEST(ExifOrientation, EachValueTurnsTheReencodedPictureUpright) {
    GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Ok());
    const std::wstring folder = ts::NewScratchFolder();
    for (int value = 1; value <= 8; ++value) {
        for (bool big : {false, true}) {
            SCOPED_TRACE(testing::Message() << "orientation " << value << (big ? " MM" : " II"));
            GpBitmapPtr b = Upright();
            Gdiplus::DllExports::GdipImageRotateFlip(b.Get(), StoredAs(value));
            const std::wstring plain = folder + L"plain.jpg";
            ASSERT_TRUE(Save(b.Get(), plain, L"image/jpeg"));
            const std::wstring tagged = folder + L"tagged.jpg";
            ASSERT_TRUE(
                ts::WriteBytes(tagged, WithExifOrientation(ts::ReadBytes(plain), value, big)));
            EXPECT_EQ(ReadExifOrientation(tagged), value);

            UploadSettings settings;
            settings.outFormat = 1; // re-encode
            PreparedImage image;
            std::wstring error;
            const std::wstring out = folder + L"OUT";
            ASSERT_TRUE(PrepareImage(tagged, out, settings, image, error));
            const bool sideways = value >= 5;
            EXPECT_EQ(image.origWidth, sideways ? 80u : 160u); // as stored
            EXPECT_EQ(image.origHeight, sideways ? 160u : 80u);
            Loaded o = Load(out);
            ASSERT_TRUE(o.ok);
            ASSERT_EQ(o.width, 160u);
            ASSERT_EQ(o.height, 80u);
            EXPECT_TRUE(Near(Pixel(o.bitmap.Get(), 20, 10), 0xFFFF0000));
            EXPECT_TRUE(Near(Pixel(o.bitmap.Get(), 140, 10), 0xFF00FF00));
            EXPECT_TRUE(Near(Pixel(o.bitmap.Get(), 20, 70), 0xFF0000FF));
            EXPECT_TRUE(Near(Pixel(o.bitmap.Get(), 140, 70), 0xFFFFFF00));
        }
    }
}

TEST(ExifOrientation, UserRotationComesAfterTheUprightTurn) {
    GdiplusSession gdiplus;
    const std::wstring folder = ts::NewScratchFolder();
    GpBitmapPtr b = Upright();
    Gdiplus::DllExports::GdipImageRotateFlip(b.Get(), StoredAs(6));
    ASSERT_TRUE(Save(b.Get(), folder + L"p.jpg", L"image/jpeg"));
    ASSERT_TRUE(ts::WriteBytes(folder + L"t.jpg",
                               WithExifOrientation(ts::ReadBytes(folder + L"p.jpg"), 6, false)));
    UploadSettings settings;
    settings.rotation = 2; // upside down on purpose
    PreparedImage image;
    std::wstring error;
    ASSERT_TRUE(PrepareImage(folder + L"t.jpg", folder + L"OUT", settings, image, error));
    Loaded o = Load(folder + L"OUT");
    ASSERT_EQ(o.width, 160u);
    EXPECT_TRUE(Near(Pixel(o.bitmap.Get(), 140, 70), 0xFFFF0000)); // red now bottom right
}

TEST(ExifOrientation, CopiedJpegKeepsItsTag) {
    // The copy path sends the file as it is; viewers honour the tag themselves.
    GdiplusSession gdiplus;
    const std::wstring folder = ts::NewScratchFolder();
    ASSERT_TRUE(SaveSolid(folder + L"p.jpg", 80, 40, 0xFF123456, L"image/jpeg"));
    const std::string tagged = WithExifOrientation(ts::ReadBytes(folder + L"p.jpg"), 6, true);
    ASSERT_TRUE(ts::WriteBytes(folder + L"t.jpg", tagged));
    UploadSettings settings;
    PreparedImage image;
    std::wstring error;
    ASSERT_TRUE(PrepareImage(folder + L"t.jpg", folder + L"OUT", settings, image, error));
    EXPECT_EQ(ts::ReadBytes(folder + L"OUT"), tagged);
}

namespace {

std::string Header(int value, bool big) {
    // SOI + APP1 + a few bytes standing in for the rest of the file.
    return WithExifOrientation(std::string("\xFF\xD8\xFF\xD9", 4), value, big);
}

int Parse(const std::string& s) {
    return ParseExifOrientation(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

} // namespace

TEST(ExifOrientation, DamagedBlocksMeanNoTag) {
    const std::string good = Header(6, false);
    ASSERT_EQ(Parse(good), 6);
    ASSERT_EQ(Parse(Header(3, true)), 3);

    // Every truncation of a valid header.
    for (size_t n = 0; n < good.size() - 2; ++n)
        EXPECT_EQ(Parse(good.substr(0, n)), 0) << n;

    // Value outside 1..8.
    EXPECT_EQ(Parse(Header(9, false)), 0);
    EXPECT_EQ(Parse(Header(0, false)), 0);

    // IFD0 offset far beyond the block (offset bytes sit right after "II*\0").
    std::string s = good;
    const size_t tiff = 4 + 2 + 6;
    s[tiff + 4] = '\xF0';
    s[tiff + 7] = '\x7F';
    EXPECT_EQ(Parse(s), 0);

    // An entry count that runs past the block.
    s = good;
    s[tiff + 8] = '\xFF';
    s[tiff + 9] = '\xFF';
    EXPECT_EQ(Parse(s), 0);

    // A segment length pointing past the end.
    s = good;
    s[4] = '\xFF';
    s[5] = '\xFF';
    EXPECT_EQ(Parse(s), 0);

    // Not a JPEG; byte order unknown; wrong magic.
    EXPECT_EQ(Parse("\x89PNG\r\n\x1a\n"), 0);
    s = good;
    s[tiff] = 'X';
    EXPECT_EQ(Parse(s), 0);
    s = good;
    s[tiff + 2] = 43;
    EXPECT_EQ(Parse(s), 0);

    // A tag of the wrong type.
    s = good;
    const size_t orientationEntry = tiff + 8 + 2 + 12;
    s[orientationEntry + 2] = 4; // LONG
    EXPECT_EQ(Parse(s), 0);

    // A tag after the first scan does not count.
    const std::string afterScan =
        std::string("\xFF\xD8\xFF\xDA\x00\x02", 6) + Header(6, false).substr(2);
    EXPECT_EQ(Parse(afterScan), 0);
}

TEST(ExifOrientation, RandomDamageNeverReadsOutOfBounds) {
    const std::string good = Header(8, true);
    std::mt19937 rng(12345);
    for (int round = 0; round < 20000; ++round) {
        std::string s = good;
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int f = 0; f < flips; ++f)
            s[rng() % s.size()] = static_cast<char>(rng() & 0xFF);
        s.resize(rng() % (s.size() + 1));
        // Parse a heap copy of exactly the given length so an overread would touch
        // memory the parser was not given.
        std::vector<uint8_t> exact(s.begin(), s.end());
        const int v = ParseExifOrientation(exact.empty() ? nullptr : exact.data(), exact.size());
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 8);
    }
}
