// PrepareImage and FindEncoder on pictures generated with GDI+: copy or re-encode,
// rotation then scaling, white background, reported values, failures.
#include "imaging/ImagePipeline.h"

#include "TestPictures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace lumexia;
using namespace test_pictures;
namespace ts = testing_support;

namespace {

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gdiplus_.Ok());
        folder_ = ts::NewScratchFolder();
        out_ = folder_ + L"OUT0123456789ABCDEF";
        image_ = PreparedImage();
        error_ = L"untouched";
    }
    std::wstring Make(const wchar_t* name, int w, int h, const wchar_t* mime,
                      Gdiplus::ARGB colour = 0xFF3366CC) {
        const std::wstring path = folder_ + name;
        EXPECT_TRUE(SaveSolid(path, w, h, colour, mime));
        return path;
    }
    bool Prepare(const std::wstring& source) {
        return PrepareImage(source, out_, settings_, image_, error_);
    }
    void ExpectCopied(const std::wstring& source) {
        EXPECT_EQ(ts::ReadBytes(out_), ts::ReadBytes(source));
        EXPECT_EQ(image_.isResize, 0);
        EXPECT_EQ(image_.maxSize, 640);
        EXPECT_EQ(image_.isRotation, 0);
        EXPECT_EQ(image_.isOptimizeFormat, 0);
        EXPECT_EQ(image_.isOptimizedFormat, 0);
        EXPECT_EQ(image_.isInscription, 0);
        EXPECT_EQ(image_.inscription, L"");
        EXPECT_EQ(image_.jpegQuality, 85);
        EXPECT_EQ(image_.resizeCoeff, 1.0);
    }

    GdiplusSession gdiplus_;
    std::wstring folder_, out_, error_;
    UploadSettings settings_;
    PreparedImage image_;
};

} // namespace

TEST_F(Pipeline, SmallJpegIsCopiedWithFixedValues) {
    const std::wstring src = Make(L"small.jpg", 320, 200, L"image/jpeg");
    settings_.maxSize = 1000;
    settings_.jpegQuality = 40;
    settings_.isSubscr = true; // on, but with no text: nothing to draw
    settings_.subscrText = L" \t ";
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    ExpectCopied(src);
    EXPECT_EQ(image_.origLength, static_cast<int>(ts::ReadBytes(src).size()));
    EXPECT_EQ(image_.origWidth, 320u);
    EXPECT_EQ(image_.origHeight, 200u);
}

TEST_F(Pipeline, SameJpegWithPngOutputIsReencoded) {
    const std::wstring src = Make(L"small.jpg", 320, 200, L"image/jpeg");
    settings_.outFormat = 1;
    settings_.jpegQuality = 40;
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    Loaded out = Load(out_);
    ASSERT_TRUE(out.ok);
    EXPECT_TRUE(IsEqualGUID(out.raw, kPng));
    EXPECT_EQ(out.width, 320u);
    EXPECT_EQ(out.height, 200u);
    EXPECT_EQ(image_.resizeCoeff, 1.0);
    EXPECT_EQ(image_.isOptimizeFormat, 1);
    EXPECT_EQ(image_.isOptimizedFormat, 1);
    EXPECT_EQ(image_.isResize, 1);
    EXPECT_EQ(image_.maxSize, 640);
    EXPECT_EQ(image_.jpegQuality, 40);
}

TEST_F(Pipeline, GifWithinTheLimitIsCopiedForBothFormats) {
    const std::wstring src = folder_ + L"small.gif";
    ASSERT_TRUE(WriteSolidGif(src, 100, 80, 0xFF3366CC));
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    ExpectCopied(src);
    settings_.outFormat = 1;
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    ExpectCopied(src);
}

TEST_F(Pipeline, GifLargerThanTheLimitIsReencoded) {
    const std::wstring src = folder_ + L"large.gif";
    ASSERT_TRUE(WriteSolidGif(src, 800, 600, 0xFF3366CC));
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    Loaded out = Load(out_);
    ASSERT_TRUE(out.ok);
    EXPECT_TRUE(IsEqualGUID(out.raw, kJpeg));
    EXPECT_EQ(out.width, 640u);
    EXPECT_EQ(out.height, 480u);
    EXPECT_EQ(image_.resizeCoeff, 0.8);
    EXPECT_TRUE(Near(Pixel(out.bitmap.Get(), 320, 240), 0xFF3366CC));
}

TEST_F(Pipeline, LargePictureScaledToTheLimit) {
    const std::wstring src = Make(L"big.jpg", 4000, 3000, L"image/jpeg");
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    Loaded out = Load(out_);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.width, 640u);
    EXPECT_EQ(out.height, 480u);
    EXPECT_EQ(image_.resizeCoeff, 0.16);
    EXPECT_EQ(image_.origWidth, 4000u);
    EXPECT_EQ(image_.origHeight, 3000u);
}

TEST_F(Pipeline, RotationComesBeforeScaling) {
    const std::wstring src = folder_ + L"tall.jpg";
    // Top half red, bottom half blue: after a quarter turn clockwise red is on the right.
    GpBitmapPtr b = Solid(3000, 4000, 0xFFFF0000);
    Fill(b.Get(), 0, 2000, 3000, 2000, 0xFF0000FF);
    ASSERT_TRUE(Save(b.Get(), src, L"image/jpeg"));
    settings_.rotation = 1;
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    Loaded out = Load(out_);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.width, 640u);
    EXPECT_EQ(out.height, 480u);
    EXPECT_TRUE(Near(Pixel(out.bitmap.Get(), 600, 240), 0xFFFF0000));
    EXPECT_TRUE(Near(Pixel(out.bitmap.Get(), 40, 240), 0xFF0000FF));
    EXPECT_EQ(image_.origWidth, 3000u);
    EXPECT_EQ(image_.origHeight, 4000u);
    EXPECT_EQ(image_.isRotation, 1);
    EXPECT_EQ(image_.rotation, 1);
    EXPECT_EQ(image_.resizeCoeff, 0.16);
}

TEST_F(Pipeline, NewSizeIsTruncated) {
    const std::wstring src = Make(L"r.png", 1000, 800, L"image/png");
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    Loaded out = Load(out_);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.width, 640u);
    EXPECT_EQ(out.height, 512u);
    // 999 × 333 at 640: 640 × 213.33 becomes 213 (no rounding).
    out.bitmap.Reset(); // a loaded file stays locked
    const std::wstring odd = Make(L"odd.png", 999, 334, L"image/png");
    ASSERT_TRUE(PrepareImage(odd, out_, settings_, image_, error_)) << ts::ToUtf8(error_);
    out = Load(out_);
    EXPECT_EQ(out.width, 640u);
    EXPECT_EQ(out.height, static_cast<UINT>(334 * (640.0 / 999)));
}

TEST_F(Pipeline, MaximumSizeZeroKeepsTheSizeButReencodes) {
    const std::wstring src = Make(L"s.jpg", 200, 100, L"image/jpeg");
    settings_.maxSize = 0;
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    EXPECT_EQ(image_.resizeCoeff, 1.0);
    EXPECT_EQ(image_.isOptimizeFormat, 1);
    EXPECT_EQ(image_.maxSize, 0);
    Loaded out = Load(out_);
    EXPECT_EQ(out.width, 200u);
    EXPECT_EQ(out.height, 100u);
}

TEST_F(Pipeline, TransparencyBecomesOpaqueWhite) {
    const std::wstring src = folder_ + L"alpha.png";
    GpBitmapPtr b = Solid(100, 100, 0x00000000);
    Fill(b.Get(), 0, 0, 50, 100, 0xFF00FF00);
    ASSERT_TRUE(Save(b.Get(), src, L"image/png"));
    settings_.outFormat = 1;
    settings_.maxSize = 50; // forces the re-encode
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    Loaded out = Load(out_);
    ASSERT_TRUE(out.ok);
    EXPECT_TRUE(Near(Pixel(out.bitmap.Get(), 5, 25), 0xFF00FF00, 8));
    EXPECT_EQ(Pixel(out.bitmap.Get(), 45, 25), 0xFFFFFFFFu);
}

TEST_F(Pipeline, WhitespaceInscriptionIsNotDrawnAndReportedEmpty) {
    const std::wstring src = Make(L"g.png", 120, 60, L"image/png", 0xFF808080);
    settings_.outFormat = 1;
    settings_.isSubscr = true;
    settings_.subscrText = L" \t  \t";
    settings_.rotation = 2; // re-encode path
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    EXPECT_EQ(image_.isInscription, 1);
    EXPECT_EQ(image_.inscription, L"");
    Loaded out = Load(out_);
    for (int y = 0; y < 60; y += 3)
        for (int x = 0; x < 120; x += 3)
            ASSERT_EQ(Pixel(out.bitmap.Get(), x, y), 0xFF808080u);
}

TEST_F(Pipeline, InscriptionIsReportedTrimmed) {
    const std::wstring src = Make(L"g.png", 300, 60, L"image/png", 0xFF808080);
    settings_.outFormat = 1;
    settings_.isSubscr = true;
    settings_.subscrText = L"\tHello ";
    ASSERT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
    EXPECT_EQ(image_.inscription, L"Hello");
    EXPECT_EQ(image_.isOptimizeFormat, 1); // the caption alone forces the re-encode
    Loaded out = Load(out_);
    int white = 0;
    for (int y = 40; y < 57; ++y)
        for (int x = 5; x < 60; ++x)
            white += Pixel(out.bitmap.Get(), x, y) == 0xFFFFFFFFu;
    EXPECT_GT(white, 10);
}

TEST_F(Pipeline, UnreadableSourcesFailWithTheLoadMessage) {
    const std::wstring text = folder_ + L"notes.jpg";
    ASSERT_TRUE(ts::WriteBytes(text, "not a picture at all"));
    const std::wstring message =
        L"Файл поврежден, не является графическим, или его формат не поддерживается.";
    EXPECT_FALSE(Prepare(text));
    EXPECT_EQ(error_, message);
    EXPECT_EQ(image_.origLength, 20);

    error_.clear();
    EXPECT_FALSE(Prepare(folder_ + L"vanished.jpg"));
    EXPECT_EQ(error_, message);
    EXPECT_EQ(image_.origLength, -1);
    EXPECT_FALSE(ts::FileExists(out_));
}

TEST_F(Pipeline, FailedCopyIsAFailure) {
    const std::wstring src = Make(L"small.jpg", 64, 48, L"image/jpeg");
    out_ = folder_ + L"no such folder\\OUT";
    EXPECT_FALSE(Prepare(src));
    EXPECT_EQ(error_.rfind(L"Не удалось скопировать файл во временную папку", 0), 0u)
        << ts::ToUtf8(error_);
}

TEST_F(Pipeline, PreparedFileTooLargeForOneRequestIsRejected) {
    // A small JPEG followed by 10 MB of other bytes still loads, and would be copied.
    const std::wstring src = Make(L"padded.jpg", 64, 48, L"image/jpeg");
    std::string bytes = ts::ReadBytes(src);
    bytes.append(10 * 1000 * 1000, '\x5A');
    ASSERT_TRUE(ts::WriteBytes(src, bytes));
    EXPECT_FALSE(Prepare(src));
    EXPECT_NE(error_.find(L"слишком велик"), std::wstring::npos) << ts::ToUtf8(error_);
    EXPECT_FALSE(ts::FileExists(out_));

    // Just inside the limit it goes through.
    bytes.resize(static_cast<size_t>(MaxPreparedFileBytes(src, settings_)));
    ASSERT_TRUE(ts::WriteBytes(src, bytes));
    EXPECT_TRUE(Prepare(src)) << ts::ToUtf8(error_);
}

TEST_F(Pipeline, OtherOutputFormatWritesNothing) {
    const std::wstring src = Make(L"s.png", 900, 100, L"image/png");
    settings_.outFormat = 2;
    EXPECT_FALSE(Prepare(src));
    EXPECT_EQ(error_, L"untouched");
    EXPECT_FALSE(ts::FileExists(out_));
}

TEST(FindEncoder, MatchesTheMimeTypeExactly) {
    GdiplusSession gdiplus;
    CLSID jpeg = {}, png = {}, other = {};
    EXPECT_TRUE(FindEncoder(L"image/jpeg", jpeg));
    EXPECT_TRUE(FindEncoder(L"image/png", png));
    EXPECT_FALSE(IsEqualGUID(jpeg, png));
    EXPECT_FALSE(FindEncoder(L"IMAGE/JPEG", other));
    EXPECT_FALSE(FindEncoder(L"image/jpe", other));
}

TEST_F(Pipeline, PictureScaledToNothingFailsToSave) {
    // 1 × 2000 at 640: the width becomes 0.32, truncated to 0.
    const std::wstring src = Make(L"line.png", 1, 2000, L"image/png");
    EXPECT_FALSE(Prepare(src));
    EXPECT_EQ(error_, L"Ошибка при сохранении файла (jpg)");
    settings_.outFormat = 1;
    EXPECT_FALSE(Prepare(src));
    EXPECT_EQ(error_, L"Ошибка при сохранении файла (png)");
}
