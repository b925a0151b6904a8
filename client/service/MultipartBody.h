// A multipart/form-data body built byte for byte in one fixed buffer, then sent through
// HttpPost with its Content-Type header. Belongs to the one thread that made it.
//
//     MultipartBody form;            // or form.Reset() to reuse one
//     form.AddField(L"RESPTYPE", L"xml");
//     form.Close();
//     form.Send(request);
//
// Every part is appended whole or not at all, except the picture: a picture that cannot
// be read or does not fit leaves its head and the chunks read so far in the body, and
// AddImage says so. A body holding such a part must not be sent (see UploadCall).
#pragma once

#include "service/HttpTransport.h"

#include <cstddef>
#include <memory>
#include <string>

namespace lumexia {

class MultipartBody {
public:
    static constexpr std::size_t kCapacity = 10000000;    // the body holds at most one less
    static constexpr std::size_t kTextLimit = 500;        // UTF-16 units of a name or value
    static constexpr std::size_t kConversionLimit = 1999; // UTF-8 bytes of one conversion
    static constexpr std::size_t kFileChunk = 2048;
    static constexpr std::size_t kFileRead = 512 * kFileChunk; // most bytes of one read

    MultipartBody();
    MultipartBody(const MultipartBody&) = delete;
    MultipartBody& operator=(const MultipartBody&) = delete;

    // Empties the body for the next request; the boundary stays.
    bool Reset();
    bool AddField(const std::wstring& name, const std::wstring& value);
    // Appends the "image" part with the bytes of `path`, announced as `fileName`.
    bool AddImage(const std::wstring& path, const std::wstring& fileName);
    // Appends the final delimiter; no part can be added afterwards.
    bool Close();
    // Sends the closed body; false without any exchange when it is not closed.
    bool Send(const PostRequest& request) const;

    const std::wstring& Boundary() const { return boundary_; }
    bool IsClosed() const { return closed_; }
    const char* Data() const { return buffer_.get(); }
    std::size_t Size() const { return size_; }

private:
    bool Append(const char* bytes, std::size_t count);
    bool Append(const std::string& bytes) { return Append(bytes.data(), bytes.size()); }
    // The file's bytes up to its end; false when a read failed, `ok` false when they did
    // not fit.
    bool ReadPicture(HANDLE file, bool& ok);
    // UTF-8 of `text` into `area` (kConversionLimit bytes at most); 0 when it does not fit.
    static std::size_t ToUtf8(const std::wstring& text, char* area);

    std::unique_ptr<char[]> buffer_;
    std::size_t size_ = 0;
    bool closed_ = false;
    std::wstring boundary_;
    std::string fieldHead_, imageHead_, finalDelimiter_;
    char name_[kConversionLimit + 1];
    char value_[kConversionLimit + 1];
};

} // namespace lumexia
