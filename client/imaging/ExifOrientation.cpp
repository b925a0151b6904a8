#include "imaging/ExifOrientation.h"

#include "common/ScopedWin.h"

#include <windows.h>

#include <vector>

namespace lumexia {
namespace {

// Markers before the first scan are small in practice (an APP1 segment is at most
// 64 KiB); whatever lies beyond this is not looked at.
constexpr size_t kMaxHeaderBytes = 256 * 1024;

class Reader {
public:
    Reader(const uint8_t* data, size_t size, bool bigEndian)
        : data_(data), size_(size), big_(bigEndian) {}
    bool U16(size_t at, unsigned& out) const {
        if (at > size_ || size_ - at < 2) return false;
        out = big_ ? (data_[at] << 8 | data_[at + 1]) : (data_[at + 1] << 8 | data_[at]);
        return true;
    }
    bool U32(size_t at, uint32_t& out) const {
        unsigned a = 0, b = 0;
        if (!U16(at, a) || !U16(at + 2, b)) return false;
        out = big_ ? (uint32_t(a) << 16 | b) : (uint32_t(b) << 16 | a);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    bool big_;
};

// Orientation from a TIFF block (the APP1 payload after "Exif\0\0"), IFD0 only.
int ParseTiff(const uint8_t* tiff, size_t size) {
    if (size < 8) return 0;
    bool big;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        big = false;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        big = true;
    else
        return 0;
    Reader r(tiff, size, big);
    unsigned magic = 0;
    uint32_t ifd = 0;
    if (!r.U16(2, magic) || magic != 42 || !r.U32(4, ifd)) return 0;
    unsigned count = 0;
    if (!r.U16(ifd, count)) return 0;
    if (size_t(count) * 12 > size - ifd - 2) return 0; // the directory runs past the block
    for (unsigned n = 0; n < count; ++n) {
        const size_t entry = size_t(ifd) + 2 + size_t(n) * 12;
        unsigned tag = 0, type = 0, value = 0;
        uint32_t items = 0;
        if (!r.U16(entry, tag) || !r.U16(entry + 2, type) || !r.U32(entry + 4, items) ||
            !r.U16(entry + 8, value))
            return 0;
        if (tag != 0x0112) continue;
        if (type != 3 || items != 1) return 0; // SHORT, one value, stored in place
        return (value >= 1 && value <= 8) ? static_cast<int>(value) : 0;
    }
    return 0;
}

} // namespace

int ParseExifOrientation(const uint8_t* data, size_t size) {
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return 0;
    size_t at = 2;
    for (;;) {
        if (at >= size || data[at] != 0xFF) return 0;
        while (at < size && data[at] == 0xFF)
            ++at; // fill bytes
        if (at >= size) return 0;
        const uint8_t marker = data[at++];
        if (marker == 0xD9 || marker == 0xDA) return 0; // end of image, first scan
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue; // no length
        if (size - at < 2) return 0;
        const size_t length = size_t(data[at]) << 8 | data[at + 1];
        if (length < 2 || length > size - at) return 0;
        const uint8_t* payload = data + at + 2;
        const size_t payloadSize = length - 2;
        if (marker == 0xE1 && payloadSize >= 6 && payload[0] == 'E' && payload[1] == 'x' &&
            payload[2] == 'i' && payload[3] == 'f' && payload[4] == 0 && payload[5] == 0)
            return ParseTiff(payload + 6, payloadSize - 6);
        at += length;
    }
}

int ReadExifOrientation(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    std::vector<uint8_t> bytes(kMaxHeaderBytes);
    size_t got = 0;
    while (got < bytes.size()) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), bytes.data() + got, static_cast<DWORD>(bytes.size() - got),
                        &read, nullptr) ||
            read == 0)
            break;
        got += read;
    }
    return ParseExifOrientation(bytes.data(), got);
}

int OrientationRotateFlip(int orientation) {
    switch (orientation) {
    case 2:
        return 4; // RotateNoneFlipX: mirrored
    case 3:
        return 2; // Rotate180FlipNone
    case 4:
        return 6; // RotateNoneFlipY: mirrored upside down
    case 5:
        return 5; // Rotate90FlipX: transposed
    case 6:
        return 1; // Rotate90FlipNone: stored turned 90° counter-clockwise
    case 7:
        return 7; // Rotate270FlipX: transversed
    case 8:
        return 3; // Rotate270FlipNone
    default:
        return 0;
    }
}

} // namespace lumexia
