// The main options dialog (template 101): shows how many pictures are waiting, takes
// more by hand-over and drops, holds the upload options, and ends either with the upload
// requested (the options valid and saved) or without it (the close box).
#pragma once

#include "framework/Dialog.h"
#include "settings/SettingsGroups.h"
#include "settings/SettingsRecords.h"
#include "common/TaskFile.h"
#include "ui/AutoComplete.h"

#include <string>
#include <utility>
#include <vector>

namespace lumexia {

// Album box contents: position -> (album id, album title).
using AlbumTable = std::vector<std::pair<std::wstring, std::wstring>>;

class FormMain : public Dialog {
public:
    explicit FormMain(JobList* jobs) : jobs_(jobs) {}

    // True once the user asked for the upload and the options were accepted.
    bool UploadRequested() const { return upload_; }
    const UploadSettings& Options() const { return options_; }
    const ProxySettings& Proxy() const { return proxy_; }
    const UserCredentials& Credentials() const { return credentials_; }

    // Used by the login flow.
    void ShowUserState(const UserCredentials& credentials);
    void FillAlbumBox();
    AlbumTable& Albums() { return albums_; }

    void ShowOptions(const UploadSettings& options);
    void ReadOptions(UploadSettings& options) const;
    // Empty when every option is acceptable, else the message of the first rule broken.
    std::wstring ValidateOptions() const;

protected:
    BOOL OnInit() override;
    bool OnCommand(int id, int code) override;
    bool OnNotify(const NMHDR& header) override;
    // The close box ends the dialog without an upload.
    bool OnClose() override;
    // The first paint, drops and the hand-over message of a second start.
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnFirstPaint();
    // The update check of the first paint (ui/UpdateCheck.cpp); false when the user took
    // the update and the dialog has ended without an upload.
    bool CheckForUpdateAtStart();
    // The login flow (LoginFlow.cpp). `interactive` is false only for the automatic run
    // after the update check at the first paint, which signs in silently with a stored
    // user name and password.
    void RunLoginFlow(bool interactive);
    // One pass of the flow; returns whether another pass follows.
    bool LoginPass(bool automatic, bool repeat);
    // The user's albums into the album table; `cancelled` (optional) tells whether the
    // user stopped the list in its progress dialog.
    bool LoadAlbums(const UserCredentials& credentials, bool* cancelled = nullptr);
    HWND FlowOwner() const;
    void OnHandOver(WPARAM wParam);
    void OnDropFiles(HDROP drop);
    void OnLoginLink();
    void OnProxyLink();
    void ResetOptions();
    void StartUpload();
    void ShowFileCount();
    void FillLookupBoxes();
    int ReadInt(int id, int maxChars) const;
    void ShowError(const std::wstring& text);

    JobList* jobs_;
    UploadSettings options_;
    ProxySettings proxy_;
    UserCredentials credentials_;
    StartupSettings atOpen_; // the settings file as read when the dialog opened
    AlbumTable albums_;
    bool upload_ = false;
    bool painted_ = false;
    CAutoComplete2 tagCompletion_; // on the tags edit, with proxy_
};

// Lookup tables of the drop-down lists, ordered by key.
struct LookupRow {
    int key;
    const wchar_t* text;
};
extern const LookupRow kRotationTable[4];
extern const LookupRow kFormatTable[2];
extern const LookupRow kLinkKindTable[7];

} // namespace lumexia
