// The main options dialog (template 101): shows how many pictures are waiting, takes
// more by hand-over and drops, holds the upload options, and ends either with the upload
// requested (the options valid and saved) or without it (the close box).
#pragma once

#include "framework/Dialog.h"
#include "settings/SettingsGroups.h"
#include "settings/SettingsReadAhead.h"
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
    // How the dialog ended: kUpload once the user asked for the upload and the options
    // were accepted and saved; kClosed by the close box or an accepted update.
    enum Result { kClosed = 0, kUpload = 1 };

    explicit FormMain(JobList* jobs) : jobs_(jobs) {}

    // Modal; kClosed also when the dialog could not be shown.
    Result Run(HWND owner);

    const UploadSettings& Options() const { return options_; }
    const ProxySettings& Proxy() const { return proxy_; }
    // The stored login as read when the dialog opened (the automatic login's).
    const UserCredentials& CredentialsAtOpen() const { return atOpen_.credentials; }
    const UserCredentials& Credentials() const { return credentials_; }

    // Used by the login flow: the signed-in user (none for an empty name), shown in the
    // caption and the album box's state; the album box filled from Albums().
    void SetUser(const UserCredentials& credentials);
    // The caption and the album box's state for `credentials`, which it does not keep.
    void ShowUserState(const UserCredentials& credentials);
    void FillAlbumBox();
    AlbumTable& Albums() { return albums_; }

    void ShowOptions(const UploadSettings& options);
    void ReadOptions(UploadSettings& options) const;
    // Empty when every option is acceptable, else the message of the first rule broken.
    std::wstring ValidateOptions() const;

protected:
    BOOL OnInit() override;
    bool OnButton(int id) override;
    // The caption edits check their boxes as they are typed in.
    bool OnCommand(int id, int code) override;
    bool OnNotify(const NMHDR& header) override;
    // The close box ends the dialog without an upload.
    bool OnClose() override;
    // The first paint, drops and the hand-over message of a second start.
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void AfterFirstPaint();
    void OnFirstPaint();
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
    SettingsReadAhead settingsRead_;
    AlbumTable albums_;
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
