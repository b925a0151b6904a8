// The login flow of the main dialog: the login dialog (or the stored login at start-up),
// the login check and the album list in progress dialogs, and the dialog's user state.
#include "ui/LoginFlow.h"

#include "operations/Form4Server.h"
#include "settings/SettingsGroups.h"
#include "ui/Form4Login.h"

#include <algorithm>

namespace lumexia {

namespace {

std::wstring Lowered(std::wstring text) {
    if (!text.empty()) ::CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

} // namespace

AlbumTable AlbumTableFrom(const AlbumList& albums) {
    std::vector<std::pair<std::wstring, const AlbumEntry*>> keyed;
    keyed.reserve(albums.size());
    for (const AlbumEntry& album : albums)
        keyed.emplace_back(Lowered(album.title), &album);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    AlbumTable table;
    table.reserve(albums.size() + 1);
    table.emplace_back(kNoAlbumId, kNoAlbumTitle);
    for (const auto& entry : keyed)
        table.emplace_back(entry.second->id, entry.second->title);
    return table;
}

HWND FormMain::FlowOwner() const {
    // The progress and login dialogs belong to whatever window is active, so they stay
    // modal to it; before the main dialog is activated there is none, and then they
    // belong to the main dialog, which must not take input while they run.
    HWND active = ::GetActiveWindow();
    return active ? active : Handle();
}

void FormMain::RunLoginFlow(bool interactive) {
    bool automatic = !interactive;
    bool repeat = false;
    do {
        repeat = LoginPass(automatic, repeat);
        automatic = false; // later passes always ask
    } while (repeat);
}

bool FormMain::LoginPass(bool automatic, bool repeat) {
    // The automatic pass signs in with the login read when the dialog opened; a later
    // pass reads what the previous one may have saved.
    UserCredentials stored = atOpen_.credentials;
    if (!automatic) LoadCredentials(stored);
    Form4Login dialog;
    dialog.userName = stored.userName;
    dialog.password = stored.password;
    if (automatic && !stored.userName.empty() && !stored.password.empty()) {
        dialog.result = Form4Login::kOk;
        dialog.remember = true;
    } else {
        dialog.Run(FlowOwner());
    }

    switch (dialog.result) {
    case Form4Login::kCancel:
        return false;
    case Form4Login::kAnonymous:
        credentials_ = UserCredentials();
        ShowUserState(credentials_);
        return false;
    case Form4Login::kForget:
        credentials_ = UserCredentials();
        SaveCredentials(credentials_); // a file that cannot be written is not reported
        ShowUserState(credentials_);
        return false;
    case Form4Login::kOk:
        break;
    }

    // "Сохранить" left unchecked erases what was stored.
    UserCredentials local;
    if (dialog.remember) {
        local.userName = dialog.userName;
        local.password = dialog.password;
    }
    SaveCredentials(local);

    Form4Server login(kOperationLoginCheck);
    OperationContext& in = login.Context();
    in.userName = dialog.userName;
    in.password = dialog.password;
    in.useProxy = true;
    in.proxy = proxy_;
    login.Run(FlowOwner());
    if (login.Success() && login.Finished()) {
        local.userName = dialog.userName;
        local.password = dialog.password;
        local.userId = login.Context().userId;
        local.userTicket = login.Context().userTicket;
        // Without albums the login does not count: the dialog keeps its state, and a
        // pass that followed a rejected login asks again, unless the user cancelled.
        bool cancelled = false;
        if (!LoadAlbums(local, &cancelled)) return repeat && !cancelled;
        FillAlbumBox();
        credentials_ = local;
        ShowUserState(credentials_);
        return false;
    }
    if (login.Cancelled()) return false;
    ::MessageBoxW(Handle(), login.Outcome().c_str(), L"", MB_OK);
    return true;
}

bool FormMain::LoadAlbums(const UserCredentials& credentials, bool* cancelled) {
    Form4Server list(kOperationAlbumList);
    OperationContext& in = list.Context();
    in.useProxy = true;
    in.proxy = proxy_;
    in.userId = credentials.userId;
    in.userTicket = credentials.userTicket;
    list.Run(FlowOwner());
    if (cancelled) *cancelled = list.Cancelled();
    if (!list.Success() || !list.Finished()) {
        if (!list.Cancelled()) ShowError(list.Outcome());
        return false;
    }
    albums_ = AlbumTableFrom(list.Context().albums);
    return true;
}

} // namespace lumexia
