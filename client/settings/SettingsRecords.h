// The in-memory records of the persisted settings. Keys, defaults and conversions live
// with the load and save operations of each group; these are only the fields.
#pragma once

#include <string>

namespace lumexia {

// Upload options chosen in the main dialog. The rotation is for this run only and never
// stored: 0 none, 1 = 90° clockwise, 2 = 180°, 3 = 90° counter-clockwise.
struct UploadSettings {
    bool isResize = true;
    int maxSize = 640;
    int rotation = 0;
    bool isSubscr = false;
    std::wstring subscrText;
    int outFormat = 0; // 0 JPEG, 1 PNG
    int jpegQuality = 85;
    int prevMaxSize = 180;
    bool prevIsSubscr = true;
    std::wstring prevSubscrText = L"Увеличить";
    std::wstring comment;
    std::wstring userUrl;
    std::wstring idAlbum = L"noalb";
    std::wstring tags;
    int typeCode = 1;
    bool isPublic = true;
};

struct ProxySettings {
    std::wstring address; // kept and written back; not edited by the proxy dialog
    std::wstring port;    // kept and written back; not edited by the proxy dialog
    std::wstring full;    // "host:port" as typed in the proxy dialog
    bool isUse = false;
};

struct NoticeFlags {
    bool showCompletion = true; // clipboard notice
    bool showUpdate = true;     // minor-update offer
};

// Remembered login plus what a successful login returns (never stored).
struct UserCredentials {
    std::wstring userName;
    std::wstring password;
    std::wstring userId;
    std::wstring userTicket;
};

} // namespace lumexia
