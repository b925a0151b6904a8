#include "imaging/ImagePipeline.h"

#include "imaging/ExifOrientation.h"
#include "imaging/Inscription.h"
#include "common/ScopedWin.h"
#include "common/Text.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace lumexia {

using namespace Gdiplus;

namespace {

// The published GDI+ raw-format and encoder-parameter identifiers.
constexpr GUID kFormatJpeg = {
    0xb96b3cae, 0x0728, 0x11d3, {0x9d, 0x7b, 0, 0, 0xf8, 0x1e, 0xf3, 0x2e}};
constexpr GUID kFormatPng = {
    0xb96b3caf, 0x0728, 0x11d3, {0x9d, 0x7b, 0, 0, 0xf8, 0x1e, 0xf3, 0x2e}};
constexpr GUID kFormatGif = {
    0xb96b3cb0, 0x0728, 0x11d3, {0x9d, 0x7b, 0, 0, 0xf8, 0x1e, 0xf3, 0x2e}};
constexpr GUID kEncoderQuality = {
    0x1d5be4b5, 0xfa4a, 0x452d, {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

// Copy-path values: fixed numbers, not the user's settings.
constexpr int kCopyMaxSize = 640;
constexpr int kCopyQuality = 85;

// The request body the sending side builds has room for 9,999,999 bytes, part heads and
// up to 27 fields included.
constexpr uint64_t kBodyCapacity = 9999999;
constexpr uint64_t kHeadsAndFixedFields = 16 * 1024;

const wchar_t kRotateFailed[] = L"Не удалось повернуть изображение.";
const wchar_t kDrawFailed[] = L"Не удалось перерисовать изображение.";
const wchar_t kLoadFailed[] =
    L"Файл поврежден, не является графическим, или его формат не поддерживается.";

bool SameGuid(const GUID& a, const GUID& b) {
    return ::IsEqualGUID(a, b) != FALSE;
}

int SourceLength(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileW(path.c_str(), &data));
    if (!find) return -1;
    return static_cast<int>(data.nFileSizeLow);
}

bool FileSize(const std::wstring& path, uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// A prepared file that cannot go out whole is refused here, where the user can still
// skip it, rather than sent cut short.
bool FitsOneRequest(const std::wstring& sourcePath, const UploadSettings& settings,
                    const std::wstring& outputPath, std::wstring& error) {
    uint64_t size = 0;
    const uint64_t limit = MaxPreparedFileBytes(sourcePath, settings);
    if (!FileSize(outputPath, size)) {
        error = L"Не удалось проверить размер подготовленного файла.";
        return false;
    }
    if (size <= limit) return true;
    ::DeleteFileW(outputPath.c_str());
    error = L"Подготовленный файл слишком велик для отправки: " + std::to_wstring(size) +
            L" байт, допустимо не более " + std::to_wstring(limit) +
            L" байт. Уменьшите изображение или выберите формат JPEG.";
    return false;
}

} // namespace

uint64_t MaxPreparedFileBytes(const std::wstring& sourcePath, const UploadSettings& settings) {
    // Free texts travel as UTF-8: at most three bytes per UTF-16 code unit.
    const uint64_t texts = sourcePath.size() + settings.subscrText.size() +
                           settings.prevSubscrText.size() + settings.comment.size() +
                           settings.userUrl.size() + settings.idAlbum.size() + settings.tags.size();
    const uint64_t reserve = kHeadsAndFixedFields + 3 * texts;
    return reserve < kBodyCapacity ? kBodyCapacity - reserve : 0;
}

bool FindEncoder(const wchar_t* mimeType, CLSID& clsid) {
    UINT count = 0, bytes = 0;
    if (gp::GdipGetImageEncodersSize(&count, &bytes) != Ok || count == 0 || bytes == 0)
        return false;
    std::vector<unsigned char> buffer(bytes);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    if (gp::GdipGetImageEncoders(count, bytes, codecs) != Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && std::wcscmp(codecs[i].MimeType, mimeType) == 0) {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

namespace {

// True when a GDI+ step failed; notes a failure for lack of memory for the caller.
struct StatusCheck {
    bool* outOfMemory;
    bool operator()(GpStatus status) const {
        if (status == OutOfMemory && outOfMemory) *outOfMemory = true;
        return status != Ok;
    }
};

// The source goes out as it is: fixed copy values are reported, and the file must fit.
bool CopyUnchanged(const std::wstring& sourcePath, const std::wstring& outputPath,
                   const UploadSettings& settings, GpBitmapPtr& source, PreparedImage& image,
                   std::wstring& error) {
    image.isResize = 0;
    image.maxSize = kCopyMaxSize;
    image.isRotation = 0;
    image.rotation = 0;
    image.isOptimizeFormat = 0;
    image.isOptimizedFormat = 0;
    image.isInscription = 0;
    image.inscription.clear();
    image.jpegQuality = kCopyQuality;
    image.resizeCoeff = 1.0;
    source.Reset(); // the file must not stay open while it is copied
    if (!::CopyFileW(sourcePath.c_str(), outputPath.c_str(), FALSE)) {
        error = L"Не удалось скопировать файл во временную папку (код ошибки " +
                std::to_wstring(::GetLastError()) + L").";
        return false;
    }
    return FitsOneRequest(sourcePath, settings, outputPath, error);
}

// Cameras store many photos sideways and record it in the EXIF orientation; the
// re-encoded file carries no metadata, so a JPEG is turned upright first, then by the
// user's rotation.
bool TurnUpright(GpBitmap* source, const GUID& raw, const std::wstring& sourcePath, int rotation,
                 const StatusCheck& failed, std::wstring& error) {
    if (SameGuid(raw, kFormatJpeg)) {
        const int upright = OrientationRotateFlip(ReadExifOrientation(sourcePath));
        if (upright != 0 &&
            failed(gp::GdipImageRotateFlip(source, static_cast<RotateFlipType>(upright)))) {
            error = kRotateFailed;
            return false;
        }
    }
    if (rotation != 0 &&
        failed(gp::GdipImageRotateFlip(source, static_cast<RotateFlipType>(rotation)))) {
        error = kRotateFailed;
        return false;
    }
    return true;
}

// Scales the (upright) source into a new 32-bit bitmap on white and stamps the caption.
// When no bitmap can be made (a size of zero), `result` stays empty and the encoder
// fails with its message.
bool ScaleAndDraw(GpBitmap* source, const UploadSettings& settings, bool resize,
                  const std::wstring& inscription, bool caption, const StatusCheck& failed,
                  GpBitmapPtr& result, PreparedImage& image, std::wstring& error) {
    UINT width = 0, height = 0;
    gp::GdipGetImageWidth(source, &width);
    gp::GdipGetImageHeight(source, &height);

    double coeff = 1.0;
    if (resize) {
        coeff =
            static_cast<double>(settings.maxSize) / static_cast<double>(std::max(width, height));
        if (coeff > 1.0 || coeff <= 0.0) coeff = 1.0;
    }
    image.resizeCoeff = coeff;
    const INT newWidth = static_cast<INT>(width * coeff);
    const INT newHeight = static_cast<INT>(height * coeff);

    failed(gp::GdipCreateBitmapFromScan0(newWidth, newHeight, 0, PixelFormat32bppARGB, nullptr,
                                         result.Put()));
    GpGraphicsPtr surface;
    if (result) {
        if (failed(gp::GdipGetImageGraphicsContext(result.Get(), surface.Put())) || !surface) {
            error = kDrawFailed;
            return false;
        }
        // A refused interpolation mode only costs quality; the clear and the draw make
        // the picture.
        gp::GdipSetInterpolationMode(surface.Get(), InterpolationModeHighQualityBicubic);
        if (failed(gp::GdipGraphicsClear(surface.Get(), 0xFFFFFFFF)) ||
            failed(gp::GdipDrawImageRectI(surface.Get(), source, 0, 0, newWidth, newHeight))) {
            error = kDrawFailed;
            return false;
        }
    }

    image.isInscription = settings.isSubscr ? 1 : 0;
    image.inscription = inscription;
    if (caption && result) DrawInscription(result.Get(), inscription);

    if (surface) gp::GdipFlush(surface.Get(), FlushIntentionFlush);
    return true;
}

// Writes `result` in the output format; an encoder that is not installed fails without
// a message, as a format that is neither.
bool Encode(GpBitmap* result, OutputFormat format, int jpegQuality, const std::wstring& outputPath,
            const StatusCheck& failed, std::wstring& error) {
    CLSID encoder;
    if (format == OutputFormat::kJpeg) {
        if (!FindEncoder(L"image/jpeg", encoder)) return false;
        EncoderParameters parameters;
        ULONG quality = static_cast<ULONG>(jpegQuality);
        parameters.Count = 1;
        parameters.Parameter[0].Guid = kEncoderQuality;
        parameters.Parameter[0].NumberOfValues = 1;
        parameters.Parameter[0].Type = EncoderParameterValueTypeLong;
        parameters.Parameter[0].Value = &quality;
        if (!result ||
            failed(gp::GdipSaveImageToFile(result, outputPath.c_str(), &encoder, &parameters))) {
            error = L"Ошибка при сохранении файла (jpg)";
            return false;
        }
        return true;
    }
    if (format == OutputFormat::kPng) {
        if (!FindEncoder(L"image/png", encoder)) return false;
        if (!result ||
            failed(gp::GdipSaveImageToFile(result, outputPath.c_str(), &encoder, nullptr))) {
            error = L"Ошибка при сохранении файла (png)";
            return false;
        }
        return true;
    }
    return false;
}

} // namespace

OutputFormat OutputFormatOf(int stored) {
    switch (stored) {
    case 0:
        return OutputFormat::kJpeg;
    case 1:
        return OutputFormat::kPng;
    default:
        return OutputFormat::kUnknown;
    }
}

bool PrepareImage(const std::wstring& sourcePath, const std::wstring& outputPath,
                  const UploadSettings& settings, PreparedImage& image, std::wstring& error,
                  bool* outOfMemory) {
    const StatusCheck failed{outOfMemory};
    image.origLength = SourceLength(sourcePath);

    GpBitmapPtr source;
    if (failed(gp::GdipCreateBitmapFromFile(sourcePath.c_str(), source.Put())) || !source) {
        error = kLoadFailed;
        return false;
    }
    const OutputFormat format = OutputFormatOf(settings.outFormat);
    const GUID& target = format == OutputFormat::kPng ? kFormatPng : kFormatJpeg;

    GUID raw = {};
    gp::GdipGetImageRawFormat(source.Get(), &raw);
    UINT width = 0, height = 0;
    gp::GdipGetImageHeight(source.Get(), &height);
    gp::GdipGetImageWidth(source.Get(), &width);
    image.origHeight = height;
    image.origWidth = width;

    const std::wstring inscription = TrimText(settings.subscrText);
    const bool resize =
        settings.isResize && static_cast<long long>(std::max(width, height)) > settings.maxSize;
    const bool rotate = settings.rotation != 0;
    const bool caption = settings.isSubscr && !inscription.empty();

    if (!resize && !rotate && !caption && (SameGuid(raw, target) || SameGuid(raw, kFormatGif)))
        return CopyUnchanged(sourcePath, outputPath, settings, source, image, error);

    image.isOptimizeFormat = 1;
    image.isOptimizedFormat = 1;
    image.isRotation = rotate ? 1 : 0;
    image.rotation = settings.rotation;
    image.isResize = settings.isResize ? 1 : 0;
    image.maxSize = settings.maxSize;

    // A turn, surface or drawing that fails would go out as a wrongly turned, white or
    // black picture reported as prepared; it fails here instead, like an unreadable one,
    // so the user is asked whether to skip it.
    if (!TurnUpright(source.Get(), raw, sourcePath, settings.rotation, failed, error)) return false;
    GpBitmapPtr result;
    if (!ScaleAndDraw(source.Get(), settings, resize, inscription, caption, failed, result, image,
                      error))
        return false;
    image.jpegQuality = settings.jpegQuality;
    if (!Encode(result.Get(), format, settings.jpegQuality, outputPath, failed, error))
        return false;
    return FitsOneRequest(sourcePath, settings, outputPath, error);
}

} // namespace lumexia
