// One picture the service accepted, as its answer named it, plus the link code made
// for it after the batch.
#pragma once

#include <string>
#include <vector>

namespace lumexia {

struct UploadedImage {
    std::wstring id;
    std::wstring imgUrl;         // the picture
    std::wstring imgPreviewXUrl; // kept; no code uses it
    std::wstring imgPreviewUrl;  // the preview picture; may be empty
    std::wstring code;           // filled by FormatLinkCode
};

using UploadedList = std::vector<UploadedImage>;

} // namespace lumexia
