#include "service/MultipartBody.h"

#include "common/DataFolder.h"
#include "common/ScopedWin.h"

#include <cstring>
#include <new>

namespace lumexia {
namespace {

const char kImageType[] = "\"\r\nContent-Type: image/jpeg\r\n\r\n";
const char kNameEnd[] = "\"\r\n\r\n";
const char kPartEnd[] = "\r\n";

} // namespace

MultipartBody::MultipartBody() : buffer_(new (std::nothrow) char[kCapacity]()) {
    boundary_ = NewHexId();
    const std::string ascii(boundary_.begin(), boundary_.end()); // hex digits only
    fieldHead_ = "--" + ascii + "\r\nContent-Disposition: form-data; name=\"";
    imageHead_ = "--" + ascii + "\r\nContent-Disposition: form-data; name=\"image\"; filename=\"";
    finalDelimiter_ = "--" + ascii + "--\r\n";
}

bool MultipartBody::Reset() {
    if (!buffer_) return false;
    // Nothing is ever written past the write position, so zeroing up to it leaves the
    // whole buffer zero, as made, without touching 10 MB per picture.
    std::memset(buffer_.get(), 0, size_);
    size_ = 0;
    closed_ = false;
    return true;
}

bool MultipartBody::Append(const char* bytes, std::size_t count) {
    if (!buffer_ || count >= kCapacity - size_) return false;
    std::memcpy(buffer_.get() + size_, bytes, count);
    size_ += count;
    return true;
}

std::size_t MultipartBody::ToUtf8(const std::wstring& text, char* area) {
    if (text.empty()) return 0;
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        area, static_cast<int>(kConversionLimit), nullptr, nullptr);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool MultipartBody::AddField(const std::wstring& name, const std::wstring& value) {
    if (closed_ || !buffer_) return false;
    if (name.size() > kTextLimit || value.size() > kTextLimit) return false;
    const std::size_t nameBytes = ToUtf8(name, name_);
    if (nameBytes == 0) return false;
    const std::size_t valueBytes = ToUtf8(value, value_);
    if (valueBytes == 0 && !value.empty()) return false;
    // The part is appended whole or not at all: a field cut off after its head would
    // corrupt the body for the parts that follow.
    const std::size_t total =
        fieldHead_.size() + nameBytes + (sizeof kNameEnd - 1) + valueBytes + (sizeof kPartEnd - 1);
    if (total >= kCapacity - size_) return false;
    return Append(fieldHead_) && Append(name_, nameBytes) &&
           Append(kNameEnd, sizeof kNameEnd - 1) && Append(value_, valueBytes) &&
           Append(kPartEnd, sizeof kPartEnd - 1);
}

bool MultipartBody::AddImage(const std::wstring& path, const std::wstring& fileName) {
    if (closed_ || !buffer_) return false;
    const std::size_t nameBytes = ToUtf8(fileName, name_);
    if (nameBytes == 0) return false;
    bool ok =
        Append(imageHead_) && Append(name_, nameBytes) && Append(kImageType, sizeof kImageType - 1);
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const bool lastRead = ReadPicture(file.Get(), ok);
    file.Reset();
    ok = Append(kPartEnd, sizeof kPartEnd - 1) && ok;
    return ok && lastRead;
}

bool MultipartBody::ReadPicture(HANDLE file, bool& ok) {
    // The file goes straight into the body, many chunks to a read: one read per chunk
    // costs a system call each (about 4 ms a megabyte under Wine), and a copy through a
    // chunk of its own touches every byte twice. The bytes are those of reads of one chunk
    // each appended as they come, a picture too large included: whole chunks while one
    // more fits, then the chunk that does not.
    for (;;) {
        const std::size_t room = kCapacity - 1 - size_;
        const std::size_t wholeChunks = room / kFileChunk * kFileChunk;
        DWORD got = 0;
        if (wholeChunks == 0) {
            char chunk[kFileChunk];
            if (!::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) return false;
            if (got == 0) return true;
            if (!Append(chunk, got)) {
                ok = false;
                return true;
            }
            continue;
        }
        const DWORD want = static_cast<DWORD>(wholeChunks < kFileRead ? wholeChunks : kFileRead);
        if (!::ReadFile(file, buffer_.get() + size_, want, &got, nullptr)) return false;
        if (got == 0) return true;
        size_ += got;
    }
}

bool MultipartBody::Close() {
    if (closed_) return true; // one final delimiter per body
    closed_ = Append(finalDelimiter_);
    return closed_;
}

bool MultipartBody::Send(const PostRequest& request) const {
    if (!closed_) return false;
    const std::wstring header = L"Content-Type: multipart/form-data; boundary=" + boundary_;
    return HttpPost(request, header.c_str(), buffer_.get(), static_cast<DWORD>(size_));
}

} // namespace lumexia
