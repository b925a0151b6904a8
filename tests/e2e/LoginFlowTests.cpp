// The login flow through the real client: the automatic login at start-up, the login
// dialog, the "Авторизация" link, and the upload that follows a login, against the
// stand-in service (reached as the client's proxy).
#include "StandIn.h"
#include "StandInSettings.h"
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "common/TaskFile.h"
#include "resources/resource.h"
#include "settings/SettingsGroups.h"
#include "TestPictures.h"
#include "TestSupport.h"

#include "ClientVersion.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace lumexia;
using namespace testing_support;

namespace {

const DWORD kWait = 60000;
const wchar_t kCaptionPrefix[] = L"Лумексия ShellExtension " LUMEXIA_VERSION_SHORT L" [";
const wchar_t kAnonymous[] =
    L"Лумексия ShellExtension " LUMEXIA_VERSION_SHORT L" [НЕИЗВЕСТНЫЙ ПОЛЬЗОВАТЕЛЬ]";
const wchar_t kWrongPassword[] = L"Неверное имя пользователя или пароль";

class LoginFlow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
        ASSERT_HRESULT_SUCCEEDED(::OleInitialize(nullptr));
        ASSERT_TRUE(settings_.Saved());
        EmptyDataFolder();
        standin::Reset();
        // Albums arrive as b, A, a; the box shows them sorted after the no-album entry.
        standin::Post(L"/__account", "login=anna&password=p&id=700&title=b&title=A&title=a");
        folder_ = NewScratchFolder();
    }
    void TearDown() override {
        client_.Kill();
        EmptyDataFolder();
        ::OleUninitialize();
    }

    void Store(const std::wstring& name, const std::wstring& password) {
        UserCredentials stored;
        stored.userName = name;
        stored.password = password;
        ASSERT_TRUE(SaveCredentials(stored));
    }
    UserCredentials Stored() {
        UserCredentials stored;
        EXPECT_TRUE(LoadCredentials(stored));
        return stored;
    }
    // Starts the client on one picture; returns the main dialog.
    HWND Start() {
        const std::wstring picture = folder_ + L"photo.jpg";
        {
            lumexia::GdiplusSession gdiplus;
            EXPECT_TRUE(test_pictures::SaveSolid(picture, 200, 150, 0xFF808080, L"image/jpeg"));
        }
        const std::wstring task = WriteNewTaskFile({picture});
        if (task.empty() ||
            !client_.Start(uidriver::ProgramFolder() + L"LumexiaClient.exe", L"\"" + task + L"\""))
            return nullptr;
        return uidriver::WaitForDialog(IDC_FILE_COUNT, client_.Id(), kWait);
    }
    bool CaptionBecomes(HWND dialog, const std::wstring& caption) {
        const bool ok =
            uidriver::WaitUntil([&] { return uidriver::Text(dialog) == caption; }, kWait);
        if (!ok) ADD_FAILURE() << "caption: " << ToUtf8(uidriver::Text(dialog));
        return ok;
    }
    HWND LoginDialog() { return uidriver::WaitForDialog(IDC_LOGIN_NAME, client_.Id(), kWait); }
    // The flow's message box: owned by the main dialog, with an OK button (IDOK).
    HWND FlowMessageBox() { return uidriver::WaitForDialog(IDOK, client_.Id(), kWait); }
    // Requests of the login flow and the upload: every start first asks the version page,
    // which is journalled too and left out of these counts.
    static int FlowRequests() {
        return standin::RequestCount() -
               std::atoi(standin::Get(L"/__journal/count/clients/shext2/lastvinfo.aspx").c_str());
    }
    bool AlbumBoxEnabled(HWND dialog) { return ::IsWindowEnabled(::GetDlgItem(dialog, IDC_ALBUM)); }
    bool Ended() {
        DWORD code = 1;
        return client_.Wait(kWait, &code) && code == 0;
    }

    uidriver::Process client_;
    StandInProxySettings settings_;
    const std::wstring& settingsPath_ = settings_.Path();
    std::wstring folder_;
};

TEST_F(LoginFlow, StoredLoginSignsInSilentlyAndTheUploadCarriesUserAndAlbum) {
    Store(L"anna", L"p");
    HWND dialog = Start();
    ASSERT_NE(dialog, nullptr);
    bool asked = false;
    ASSERT_TRUE(uidriver::WaitUntil(
        [&] {
            asked = asked || uidriver::WaitForDialog(IDC_LOGIN_NAME, client_.Id(), 0);
            return uidriver::Text(dialog) == std::wstring(kCaptionPrefix) + L"anna]";
        },
        kWait));
    EXPECT_FALSE(asked) << "the login dialog appeared";
    EXPECT_TRUE(AlbumBoxEnabled(dialog));
    EXPECT_EQ(uidriver::ComboItems(dialog, IDC_ALBUM),
              (std::vector<std::wstring>{L"[Картинки без альбома]", L"A", L"a", L"b"}));
    EXPECT_EQ(uidriver::ComboText(dialog, IDC_ALBUM), L"[Картинки без альбома]");

    ASSERT_TRUE(uidriver::ComboSelect(dialog, IDC_ALBUM, L"b"));
    uidriver::Click(dialog, IDC_UPLOAD);
    HWND notice = uidriver::WaitForDialog(IDC_CLIP_OK, client_.Id(), kWait);
    ASSERT_NE(notice, nullptr);
    uidriver::Click(notice, IDC_CLIP_OK);
    ASSERT_TRUE(Ended());
    // The version page, step 1, step 2, albums, the upload.
    ASSERT_EQ(FlowRequests(), 4);
    ASSERT_EQ(standin::RequestCount(), 5);
    std::vector<std::string> names = standin::FieldNames(4);
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[1], "USER_ID");
    EXPECT_EQ(names[2], "USER_TICKET");
    EXPECT_EQ(standin::Field(4, "USER_ID"), "700");
    EXPECT_EQ(standin::Field(4, "USER_TICKET"), standin::Field(3, "USER_TICKET"));
    EXPECT_EQ(standin::Field(4, "IDALBUM"), "a700_1");
}

TEST_F(LoginFlow, AStoredNameAloneAsksAndAnUncheckedSaveForgetsTheLogin) {
    Store(L"anna", L"");
    const std::wstring setAside = settingsPath_ + L".bad";
    ASSERT_TRUE(WriteBytes(setAside, "userpass=secret <<<"));
    HWND dialog = Start();
    ASSERT_NE(dialog, nullptr);
    HWND login = LoginDialog();
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(::GetWindowLongW(login, GWL_STYLE) & WS_CAPTION, 0);
    EXPECT_EQ(uidriver::ControlText(login, IDC_LOGIN_HEADING), L"Авторизация на сервере");
    EXPECT_EQ(uidriver::ControlText(login, IDC_LOGIN_ANONYMOUS), L"Работать анонимно");
    EXPECT_EQ(uidriver::ControlText(login, IDC_LOGIN_NAME), L"anna");
    EXPECT_EQ(uidriver::ControlText(login, IDC_LOGIN_PASSWORD), L"");
    EXPECT_TRUE(uidriver::IsChecked(login, IDC_LOGIN_REMEMBER));
    EXPECT_EQ(::SendMessageW(::GetDlgItem(login, IDC_LOGIN_PASSWORD), EM_GETPASSWORDCHAR, 0, 0),
              L'*');
    uidriver::SetControlText(login, IDC_LOGIN_PASSWORD, L"p");
    uidriver::SetChecked(login, IDC_LOGIN_REMEMBER, false);
    uidriver::Click(login, IDC_LOGIN_OK);
    ASSERT_TRUE(CaptionBecomes(dialog, std::wstring(kCaptionPrefix) + L"anna]"));
    const UserCredentials stored = Stored();
    EXPECT_EQ(stored.userName, L"");
    EXPECT_EQ(stored.password, L"");
    EXPECT_NE(ReadBytes(settingsPath_).find("name=\"userpass\" value=\"\""), std::string::npos);
    // An unreadable settings file set aside earlier may hold a password too.
    EXPECT_FALSE(FileExists(setAside));
    RemoveFile(setAside);
}

TEST_F(LoginFlow, AWrongPasswordShowsTheServiceTextAndAsksAgain) {
    Store(L"anna", L"wrong");
    HWND dialog = Start();
    ASSERT_NE(dialog, nullptr);
    HWND box = FlowMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(uidriver::Text(box), L"");
    EXPECT_NE(uidriver::MessageBoxText(box).find(kWrongPassword), std::wstring::npos);
    uidriver::Click(box, IDOK);

    // Pre-filled from the stored values. Esc does nothing; Enter presses OK.
    HWND login = LoginDialog();
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(uidriver::ControlText(login, IDC_LOGIN_PASSWORD), L"wrong");
    uidriver::PressKey(login, IDC_LOGIN_PASSWORD, VK_ESCAPE);
    uidriver::PressKey(login, IDC_LOGIN_PASSWORD, VK_RETURN);
    box = FlowMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(FlowRequests(), 4); // two logins of two steps
    uidriver::Click(box, IDOK);

    login = LoginDialog();
    ASSERT_NE(login, nullptr);
    uidriver::Click(login, IDC_LOGIN_CANCEL);
    ASSERT_TRUE(uidriver::WaitForGone(login, kWait));
    EXPECT_EQ(uidriver::Text(dialog), kAnonymous);
    EXPECT_FALSE(AlbumBoxEnabled(dialog));
    EXPECT_EQ(Stored().password, L"wrong");
    uidriver::Close(dialog);
    EXPECT_TRUE(Ended()); // no dialog of the flow left open
}

TEST_F(LoginFlow, TheLinkLogsInAgainGoesAnonymousAndForgetsThePassword) {
    Store(L"anna", L"p");
    const std::wstring setAside = settingsPath_ + L".bad2";
    ASSERT_TRUE(WriteBytes(setAside, "userpass=secret <<<"));
    HWND dialog = Start();
    ASSERT_NE(dialog, nullptr);
    const std::wstring signedIn = std::wstring(kCaptionPrefix) + L"anna]";
    ASSERT_TRUE(CaptionBecomes(dialog, signedIn));

    // An emptied password edit logs in with the password the dialog opened with.
    uidriver::ClickLink(dialog, IDC_LOGIN_LINK);
    HWND login = LoginDialog();
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(uidriver::ControlText(login, IDC_LOGIN_PASSWORD), L"p");
    uidriver::SetControlText(login, IDC_LOGIN_PASSWORD, L"");
    uidriver::Click(login, IDC_LOGIN_OK);
    ASSERT_TRUE(uidriver::WaitUntil([] { return FlowRequests() == 6; }, kWait));
    ASSERT_TRUE(uidriver::WaitUntil(
        [&] { return !uidriver::ComboItems(dialog, IDC_ALBUM).empty(); }, kWait));
    EXPECT_EQ(uidriver::Text(dialog), signedIn);
    EXPECT_EQ(Stored().password, L"p");
    EXPECT_TRUE(FileExists(setAside)); // a login that is kept keeps the copies

    uidriver::ClickLink(dialog, IDC_LOGIN_LINK);
    login = LoginDialog();
    ASSERT_NE(login, nullptr);
    uidriver::Click(login, IDC_LOGIN_ANONYMOUS);
    ASSERT_TRUE(CaptionBecomes(dialog, kAnonymous));
    EXPECT_FALSE(AlbumBoxEnabled(dialog));
    EXPECT_TRUE(uidriver::ComboItems(dialog, IDC_ALBUM).empty());
    uidriver::Close(dialog);
    ASSERT_TRUE(Ended());

    // The stored login stays: the next start signs in again.
    dialog = Start();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(CaptionBecomes(dialog, signedIn));
    uidriver::ClickLink(dialog, IDC_LOGIN_LINK);
    login = LoginDialog();
    ASSERT_NE(login, nullptr);
    uidriver::ClickLink(login, IDC_LOGIN_FORGET);
    ASSERT_TRUE(CaptionBecomes(dialog, kAnonymous));
    const UserCredentials stored = Stored();
    EXPECT_EQ(stored.userName, L"");
    EXPECT_EQ(stored.password, L"");
    EXPECT_FALSE(FileExists(setAside));
    RemoveFile(setAside);
}

TEST_F(LoginFlow, AFailedAlbumListLeavesTheUserStateAsItWas) {
    Store(L"anna", L"p");
    ASSERT_FALSE(standin::Post(L"/__script", "path=/api3/rest/getfalb/page/useriddate&code=6&msg=" +
                                                 ToUtf8(L"Альбомы недоступны"))
                     .empty());
    HWND dialog = Start();
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(uidriver::AnswerMessageBox(L"Error", IDOK, kWait).find(L"Альбомы недоступны"),
              std::wstring::npos);
    EXPECT_EQ(uidriver::Text(dialog), kAnonymous);
    EXPECT_FALSE(AlbumBoxEnabled(dialog));
    uidriver::Close(dialog);
    EXPECT_TRUE(Ended()); // the first pass ended: no login dialog follows
    EXPECT_EQ(FlowRequests(), 3);
}

TEST_F(LoginFlow, CancelInTheLoginProgressEndsTheFlowSilently) {
    Store(L"anna", L"p");
    ASSERT_FALSE(standin::Post(L"/__script", "path=/api3/rest/login/step1&delay=3").empty());
    HWND dialog = Start();
    ASSERT_NE(dialog, nullptr);
    // The update check's progress dialog comes first and has the same controls.
    HWND progress =
        uidriver::WaitForWindow(L"Проверка имени пользователя и пароля", client_.Id(), kWait);
    ASSERT_NE(progress, nullptr);
    // Cancel while the service holds step 1's answer back.
    ASSERT_TRUE(uidriver::WaitUntil([] { return FlowRequests() == 1; }, kWait));
    uidriver::Click(progress, IDC_SERVER_CANCEL);
    ASSERT_TRUE(uidriver::WaitForGone(progress, kWait));
    EXPECT_EQ(uidriver::Text(dialog), kAnonymous);
    uidriver::Close(dialog);
    EXPECT_TRUE(Ended()); // nothing of the flow was left open
    EXPECT_EQ(FlowRequests(), 1);
    EXPECT_EQ(Stored().password, L"p");
}

} // namespace
