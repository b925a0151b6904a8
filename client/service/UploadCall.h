// The upload of one prepared picture: the request form, its exchange with the service
// and the reading of the answer. The sending phase (SendingPhase.h) calls it per attempt.
#pragma once

#include "service/HttpTransport.h"
#include "service/MultipartBody.h"
#include "service/UploadedImage.h"
#include "imaging/PreparedImage.h"
#include "settings/SettingsRecords.h"

#include <string>

namespace lumexia {

constexpr wchar_t kUploadPath[] = L"/api3/rest/uplimg/prepared";

// What travels with every picture of a batch besides the picture's own values.
struct UploadIdentity {
    std::wstring clientId;   // UID
    std::wstring sessionId;  // SID
    std::wstring userId;     // USER_ID, sent only together with a ticket
    std::wstring userTicket; // USER_TICKET
};

// The resize coefficient as the service reads it: plain decimal from 0.1 up to below
// 1e50 and exponent notation ("d.ddde-XXX") otherwise, always with a decimal point,
// trailing fraction zeros removed ("1." for 1, "0.5" for 0.5), and the fewest significant
// digits that read back as the same double.
std::wstring FormatResizeCoeff(double value);

// Empties `form` and fills it with the picture part and the 25 text fields (27 with a
// user id and ticket), in the service's order, then closes it. False when the picture
// part is incomplete (the prepared file could not be opened or read, or did not fit):
// such a body must not be sent, since the service would take a cut picture as whole.
bool BuildUploadForm(MultipartBody& form, const PreparedImage& image, const UploadSettings& options,
                     const UploadIdentity& identity);

// One attempt: builds the form, sends it with `request` (host, path, answer buffer,
// cancel flag and proxy filled by the caller) and reads the answer. True, with `result`
// filled (code empty), when the service accepted the picture and named its id and its
// three addresses.
bool UploadPicture(MultipartBody& form, const PreparedImage& image, const UploadSettings& options,
                   const UploadIdentity& identity, const PostRequest& request,
                   UploadedImage& result);

} // namespace lumexia
