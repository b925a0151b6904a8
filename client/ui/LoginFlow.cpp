#include "ui/LoginFlow.h"

#include "common/Text.h"
#include "operations/Form4Server.h"
#include "settings/SettingsGroups.h"
#include "ui/ModalOwner.h"

#include <algorithm>

namespace lumexia {

AlbumTable AlbumTableFrom(const AlbumList& albums) {
    std::vector<std::pair<std::wstring, const AlbumEntry*>> keyed;
    keyed.reserve(albums.size());
    for (const AlbumEntry& album : albums)
        keyed.emplace_back(LowerText(album.title), &album);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    AlbumTable table;
    table.reserve(albums.size() + 1);
    table.emplace_back(kNoAlbumId, kNoAlbumTitle);
    for (const auto& entry : keyed)
        table.emplace_back(entry.second->id, entry.second->title);
    return table;
}

HWND LoginFlow::Owner() const {
    return ModalOwner(dialog_.Handle());
}

void LoginFlow::ShowMessage(const std::wstring& text, const wchar_t* caption) const {
    ::MessageBoxW(dialog_.Handle(), text.c_str(), caption, MB_OK);
}

void LoginFlow::Run(Pass first) {
    Pass pass = first;
    while (RunPass(pass))
        pass = Pass::kAskAgain; // later passes always ask
}

bool LoginFlow::RunPass(Pass pass) {
    // The automatic pass signs in with the login read when the dialog opened; a later
    // pass reads what the previous one may have saved.
    UserCredentials stored = dialog_.CredentialsAtOpen();
    if (pass != Pass::kStored) LoadCredentials(stored);
    Form4Login login;
    login.userName = stored.userName;
    login.password = stored.password;
    Form4Login::Result chosen = Form4Login::kOk;
    if (pass == Pass::kStored && !stored.userName.empty() && !stored.password.empty())
        login.remember = true;
    else
        chosen = login.Run(Owner());

    switch (chosen) {
    case Form4Login::kCancel:
        return false;
    case Form4Login::kAnonymous:
        dialog_.SetUser(UserCredentials());
        return false;
    case Form4Login::kForget:
        ForgetCredentials(); // a file that cannot be written is not reported
        dialog_.SetUser(UserCredentials());
        return false;
    case Form4Login::kOk:
        break;
    }

    // "Сохранить" left unchecked erases what was stored.
    UserCredentials local;
    if (login.remember) {
        local.userName = login.userName;
        local.password = login.password;
        SaveCredentials(local);
    } else {
        ForgetCredentials();
    }
    return SignIn(login, local, pass);
}

bool LoginFlow::SignIn(const Form4Login& login, UserCredentials& local, Pass pass) {
    Form4Server check(kOperationLoginCheck);
    OperationContext& in = check.Context();
    in.userName = login.userName;
    in.password = login.password;
    in.useProxy = true;
    in.proxy = dialog_.Proxy();
    check.Run(Owner());
    if (check.Success() && check.Finished()) {
        local.userName = login.userName;
        local.password = login.password;
        local.userId = check.Context().userId;
        local.userTicket = check.Context().userTicket;
        // Without albums the login does not count: the dialog keeps its state, and a
        // pass that followed a rejected login asks again, unless the user cancelled.
        bool cancelled = false;
        if (!LoadAlbums(local, cancelled)) return pass == Pass::kAskAgain && !cancelled;
        dialog_.FillAlbumBox();
        dialog_.SetUser(local);
        return false;
    }
    if (check.Cancelled()) return false;
    ShowMessage(check.Outcome(), L"");
    return true;
}

bool LoginFlow::LoadAlbums(const UserCredentials& credentials, bool& cancelled) {
    Form4Server list(kOperationAlbumList);
    OperationContext& in = list.Context();
    in.useProxy = true;
    in.proxy = dialog_.Proxy();
    in.userId = credentials.userId;
    in.userTicket = credentials.userTicket;
    list.Run(Owner());
    cancelled = list.Cancelled();
    if (!list.Success() || !list.Finished()) {
        if (!list.Cancelled()) ShowMessage(list.Outcome(), L"Error");
        return false;
    }
    dialog_.Albums() = AlbumTableFrom(list.Context().albums);
    return true;
}

} // namespace lumexia
