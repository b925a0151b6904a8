// The login flow of the main dialog: the login dialog (or the stored login at start-up),
// the login check and the album list in progress dialogs, and the dialog's user state.
#pragma once

#include "service/AlbumListCall.h"
#include "settings/SettingsRecords.h"
#include "ui/Form4Login.h"
#include "ui/FormMain.h"

namespace lumexia {

constexpr wchar_t kNoAlbumId[] = L"noall";
constexpr wchar_t kNoAlbumTitle[] = L"[Картинки без альбома]";

// ("noall", "[Картинки без альбома]") first, then the albums sorted by title, compared
// after the platform's lower-casing code unit by code unit; equal titles keep the
// service's order.
AlbumTable AlbumTableFrom(const AlbumList& albums);

class LoginFlow {
public:
    // How a pass of the flow begins.
    enum class Pass {
        kStored,   // sign in silently with a stored user name and password, else ask
        kAsk,      // ask with the login dialog
        kAskAgain, // ask again after a rejected login
    };

    // The flow works on `dialog`, which must outlive it.
    explicit LoginFlow(FormMain& dialog) : dialog_(dialog) {}

    // Passes until one ends the flow. `first` is kStored only for the automatic run at
    // the first paint, kAsk for the user's link.
    void Run(Pass first);

private:
    // One pass; returns whether another pass follows.
    bool RunPass(Pass pass);
    // The login check and the album list for what the login dialog ended with; returns
    // whether another pass follows.
    bool SignIn(const Form4Login& login, UserCredentials& local, Pass pass);
    // The user's albums into the dialog's album table; `cancelled` tells whether the user
    // stopped the list in its progress dialog.
    bool LoadAlbums(const UserCredentials& credentials, bool& cancelled);
    HWND Owner() const;
    void ShowMessage(const std::wstring& text, const wchar_t* caption) const;

    FormMain& dialog_;
};

} // namespace lumexia
