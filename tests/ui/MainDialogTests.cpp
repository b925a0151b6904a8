// The main options dialog, run inside the test process and driven from a second thread
// the way a user would: texts typed, boxes clicked, the upload button pressed, message
// boxes answered. The settings file is the real one of the prefix's data folder.
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "ui/FormMain.h"
#include "settings/SettingsGroups.h"
#include "LoginPrompt.h"
#include "TestSupport.h"
#include "resources/resource.h"

#include "ClientVersion.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <thread>

using namespace lumexia;
using namespace testing_support;

namespace {

const DWORD kWait = 10000;

std::wstring SettingsPath() {
    return DataFolder() + L"config2.txt";
}

// The real dialog plus one message through which the driving thread runs code on the
// dialog's own thread, the way the login flow will call ShowUserState and FillAlbumBox
// from inside the dialog.
class DrivenMain : public FormMain {
public:
    using FormMain::FormMain;
    static constexpr UINT kRunHere = WM_APP + 77;

protected:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kRunHere) {
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            return TRUE;
        }
        return FormMain::OnMessage(message, wParam, lParam);
    }
};

void OnDialogThread(HWND dialog, const std::function<void()>& work) {
    ::SendMessageW(dialog, DrivenMain::kRunHere, 0, reinterpret_cast<LPARAM>(&work));
}

void ClickLink(HWND dialog, int id) {
    // What a SysLink sends its dialog when clicked.
    NMHDR click = {::GetDlgItem(dialog, id), static_cast<UINT_PTR>(id), NM_CLICK};
    ::SendMessageW(dialog, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&click));
}

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override {
        // The client initialises OLE before its dialogs; the settings need COM.
        ASSERT_HRESULT_SUCCEEDED(::OleInitialize(nullptr));
        saved_ = ReadBytes(SettingsPath(), &hadSettings_);
        RemoveFile(SettingsPath());
    }
    void TearDown() override {
        RemoveFile(SettingsPath());
        if (hadSettings_) WriteBytes(SettingsPath(), saved_);
        ::OleUninitialize();
    }
    // Runs the dialog; `script` gets its window on another thread. The dialog is closed
    // afterwards if the script left it open.
    void Run(const std::function<void(HWND)>& script) {
        std::thread user([&] {
            HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, ::GetCurrentProcessId(), kWait);
            if (!dialog || !SkipLoginPrompt(::GetCurrentProcessId())) return;
            script(dialog);
            if (::IsWindow(dialog)) uidriver::Close(dialog);
        });
        ended_ = form_.Run(nullptr);
        user.join();
    }
    // Presses the upload button and returns the text of the "Error" box it raised, or
    // an empty text when none appeared (the dialog then ended).
    static std::wstring PressUpload(HWND dialog) {
        uidriver::Click(dialog, IDC_UPLOAD);
        uidriver::WaitUntil(
            [&] { return !::IsWindow(dialog) || uidriver::WaitForCaption(L"Error", 0); }, kWait);
        if (!::IsWindow(dialog)) return std::wstring();
        return uidriver::AnswerMessageBox(L"Error", IDOK, kWait);
    }
    static void SetValidDefaults(HWND dialog) {
        uidriver::SetControlText(dialog, IDC_MAXSIZE, L"640");
        uidriver::SetControlText(dialog, IDC_QUALITY, L"85");
        uidriver::SetControlText(dialog, IDC_PREV_MAXSIZE, L"180");
    }

    // True once the dialog ended with the upload requested.
    bool UploadRequested() const { return ended_ == FormMain::kUpload; }

    JobList jobs_;
    DrivenMain form_{&jobs_};
    FormMain::Result ended_ = FormMain::kClosed;
    std::string saved_;
    bool hadSettings_ = false;
};

TEST_F(MainDialog, FirstStartShowsTheDefaultsAndTheUnknownUser) {
    std::wstring caption, size, rotation, format, kind, prevText;
    bool resize = false, prevBox = false, publicBox = false, albumEnabled = true, icon = false;
    Run([&](HWND d) {
        caption = uidriver::Text(d);
        size = uidriver::ControlText(d, IDC_MAXSIZE);
        rotation = uidriver::ComboText(d, IDC_ROTATION);
        format = uidriver::ComboText(d, IDC_FORMAT);
        kind = uidriver::ComboText(d, IDC_LINK_KIND);
        prevText = uidriver::ControlText(d, IDC_PREV_SUBSCR_TEXT);
        resize = uidriver::IsChecked(d, IDC_RESIZE);
        prevBox = uidriver::IsChecked(d, IDC_PREV_SUBSCR);
        publicBox = uidriver::IsChecked(d, IDC_PUBLIC);
        albumEnabled = ::IsWindowEnabled(::GetDlgItem(d, IDC_ALBUM));
        icon = ::SendMessageW(d, WM_GETICON, ICON_BIG, 0) != 0;
    });
    EXPECT_TRUE(icon);
    EXPECT_EQ(caption,
              L"Лумексия ShellExtension " LUMEXIA_VERSION_SHORT L" [НЕИЗВЕСТНЫЙ ПОЛЬЗОВАТЕЛЬ]");
    EXPECT_EQ(size, L"640");
    EXPECT_EQ(rotation, L"0°");
    EXPECT_EQ(format, L"JPEG");
    EXPECT_EQ(kind, L"1. Ссылка");
    EXPECT_EQ(prevText, L"Увеличить");
    EXPECT_TRUE(resize && prevBox && publicBox);
    EXPECT_FALSE(albumEnabled);
    EXPECT_FALSE(UploadRequested());
    EXPECT_FALSE(FileExists(SettingsPath())); // closing saves nothing
}

TEST_F(MainDialog, NumberRulesOfValidation) {
    std::vector<std::wstring> messages;
    Run([&](HWND d) {
        ::SendMessageW(::GetDlgItem(d, IDC_RESIZE), BM_SETCHECK, BST_UNCHECKED, 0);
        uidriver::SetControlText(d, IDC_MAXSIZE, L"0");
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_MAXSIZE, L"");
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_MAXSIZE, L"640");
        uidriver::SetControlText(d, IDC_QUALITY, L"0");
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_QUALITY, L"101");
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_QUALITY, L"85");
        uidriver::SetControlText(d, IDC_PREV_MAXSIZE, L"-5");
        messages.push_back(PressUpload(d));
        // The options take a number from its first four characters: a text whose whole
        // reading differs would be stored as another number than the one shown.
        uidriver::SetControlText(d, IDC_PREV_MAXSIZE, L"180");
        uidriver::SetControlText(d, IDC_QUALITY, L"00085");
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_QUALITY, L"85");
        uidriver::SetControlText(d, IDC_MAXSIZE, L"12345");
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_MAXSIZE, L"1024");
        uidriver::SetControlText(d, IDC_PREV_MAXSIZE, L"18000");
        messages.push_back(PressUpload(d));
        // Accepted: quality with trailing letters read as far as the digits go.
        uidriver::SetControlText(d, IDC_PREV_MAXSIZE, L"180");
        uidriver::SetControlText(d, IDC_QUALITY, L"85abc");
        messages.push_back(PressUpload(d));
    });
    ASSERT_EQ(messages.size(), 9u);
    EXPECT_EQ(messages[0], L"Увеличить до - должно быть целое положительное число");
    EXPECT_EQ(messages[1], L"Увеличить до - должно быть целое положительное число");
    EXPECT_EQ(messages[2], L"Качество - должно быть целое число от 1 до 100");
    EXPECT_EQ(messages[3], L"Качество - должно быть целое число от 1 до 100");
    EXPECT_EQ(messages[4], L"Размер превью - должно быть целое положительное число");
    EXPECT_EQ(messages[5], L"Качество - должно быть целое число от 1 до 100");
    EXPECT_EQ(messages[6], L"Увеличить до - должно быть целое положительное число");
    EXPECT_EQ(messages[7], L"Размер превью - должно быть целое положительное число");
    EXPECT_EQ(messages[8], L"");
    EXPECT_TRUE(UploadRequested());
    EXPECT_EQ(form_.Options().jpegQuality, 85);
    EXPECT_EQ(form_.Options().maxSize, 1024);
    EXPECT_FALSE(form_.Options().isResize);
}

TEST_F(MainDialog, ANumberValidWholeButTakenAsZeroIsRefused) {
    // The options take only the first four characters of a number; a value that would
    // be stored as 0 must not pass.
    std::vector<std::wstring> messages;
    Run([&](HWND d) {
        uidriver::SetControlText(d, IDC_MAXSIZE, L"00005");
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_MAXSIZE, L"0640");
        uidriver::SetControlText(d, IDC_QUALITY, L"00001");
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_QUALITY, L"0085");
        uidriver::SetControlText(d, IDC_PREV_MAXSIZE, L"0000180");
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_PREV_MAXSIZE, L"0180");
        messages.push_back(PressUpload(d));
    });
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], L"Увеличить до - должно быть целое положительное число");
    EXPECT_EQ(messages[1], L"Качество - должно быть целое число от 1 до 100");
    EXPECT_EQ(messages[2], L"Размер превью - должно быть целое положительное число");
    EXPECT_EQ(messages[3], L"");
    ASSERT_TRUE(UploadRequested());
    EXPECT_EQ(form_.Options().maxSize, 640);
    EXPECT_EQ(form_.Options().jpegQuality, 85);
    EXPECT_EQ(form_.Options().prevMaxSize, 180);
}

TEST_F(MainDialog, QualityOfAHundredPasses) {
    std::wstring message = L"unset";
    Run([&](HWND d) {
        uidriver::SetControlText(d, IDC_QUALITY, L"100");
        message = PressUpload(d);
    });
    EXPECT_EQ(message, L"");
    EXPECT_EQ(form_.Options().jpegQuality, 100);
}

TEST_F(MainDialog, TextLengthRules) {
    std::vector<std::wstring> messages;
    Run([&](HWND d) {
        uidriver::SetControlText(d, IDC_SUBSCR_TEXT, std::wstring(251, L'a'));
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_SUBSCR_TEXT, std::wstring(250, L'a'));
        uidriver::SetControlText(d, IDC_PREV_SUBSCR_TEXT, std::wstring(251, L'b'));
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_PREV_SUBSCR_TEXT, L"Увеличить");
        uidriver::SetControlText(d, IDC_COMMENT, std::wstring(501, L'c'));
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_COMMENT, std::wstring(500, L'c'));
        uidriver::SetControlText(d, IDC_USER_URL, std::wstring(501, L'u'));
        messages.push_back(PressUpload(d));
        uidriver::SetControlText(d, IDC_USER_URL, L"http://example.org/");
        uidriver::SetControlText(d, IDC_TAGS, std::wstring(600, L't'));
        messages.push_back(PressUpload(d));
    });
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0], L"Надпись на картинке не больше 255 символов");
    EXPECT_EQ(messages[1], L"Надпись на превью не больше 255 символов");
    EXPECT_EQ(messages[2], L"Комментарий не больше 500 символов");
    EXPECT_EQ(messages[3], L"Ссылка на ресурс не больше 500 символов");
    EXPECT_EQ(messages[4], L"");
    ASSERT_TRUE(UploadRequested());
    EXPECT_EQ(form_.Options().subscrText, std::wstring(250, L'a'));
    EXPECT_EQ(form_.Options().comment, std::wstring(500, L'c'));
    EXPECT_EQ(form_.Options().tags, std::wstring(499, L't')); // tags are cut, not refused

    // What the dialog kept is what the settings file now holds.
    UploadSettings stored;
    ASSERT_TRUE(LoadUploadSettings(stored));
    EXPECT_EQ(stored.comment, std::wstring(500, L'c'));
    EXPECT_EQ(stored.idAlbum, L"noall"); // no user logged in: no album
}

TEST_F(MainDialog, CaptionEditsDriveTheirCheckBoxes) {
    bool afterTyping = false, afterClearing = true, previewCleared = true, previewTyped = false;
    Run([&](HWND d) {
        uidriver::SetControlText(d, IDC_SUBSCR_TEXT, L"x");
        afterTyping = uidriver::IsChecked(d, IDC_SUBSCR);
        uidriver::SetControlText(d, IDC_SUBSCR_TEXT, L"");
        afterClearing = uidriver::IsChecked(d, IDC_SUBSCR);
        uidriver::SetControlText(d, IDC_PREV_SUBSCR_TEXT, L"");
        previewCleared = uidriver::IsChecked(d, IDC_PREV_SUBSCR);
        uidriver::SetControlText(d, IDC_PREV_SUBSCR_TEXT, L"y");
        previewTyped = uidriver::IsChecked(d, IDC_PREV_SUBSCR);
    });
    EXPECT_TRUE(afterTyping);
    EXPECT_FALSE(afterClearing);
    EXPECT_FALSE(previewCleared);
    EXPECT_TRUE(previewTyped);
}

TEST_F(MainDialog, StoredOptionsAreShownAndResetRestoresTheDefaults) {
    UploadSettings stored;
    ResetUploadSettings(stored);
    stored.maxSize = 1024;
    stored.outFormat = 1;
    stored.typeCode = 7;
    stored.isSubscr = false;
    stored.subscrText = L"подпись"; // shown, but the stored box state wins
    ASSERT_TRUE(SaveUploadSettings(stored));

    std::wstring size, format, kind, rotation;
    bool subscrBox = true;
    std::wstring afterFormat, afterKind, afterRotation, afterSize;
    Run([&](HWND d) {
        size = uidriver::ControlText(d, IDC_MAXSIZE);
        format = uidriver::ComboText(d, IDC_FORMAT);
        kind = uidriver::ComboText(d, IDC_LINK_KIND);
        subscrBox = uidriver::IsChecked(d, IDC_SUBSCR);
        uidriver::ComboSelect(d, IDC_ROTATION, L"180°");
        ClickLink(d, IDC_RESET_LINK);
        afterFormat = uidriver::ComboText(d, IDC_FORMAT);
        afterKind = uidriver::ComboText(d, IDC_LINK_KIND);
        afterRotation = uidriver::ComboText(d, IDC_ROTATION);
        afterSize = uidriver::ControlText(d, IDC_MAXSIZE);
    });
    EXPECT_EQ(size, L"1024");
    EXPECT_EQ(format, L"PNG");
    EXPECT_EQ(kind, L"7. HTML: превью - увеличение по клику");
    EXPECT_FALSE(subscrBox);
    EXPECT_EQ(afterFormat, L"JPEG");
    EXPECT_EQ(afterKind, L"1. Ссылка");
    EXPECT_EQ(afterRotation, L"0°");
    EXPECT_EQ(afterSize, L"640");
    UploadSettings reset;
    ASSERT_TRUE(LoadUploadSettings(reset));
    EXPECT_EQ(reset.idAlbum, L"noalb");
    EXPECT_EQ(reset.maxSize, 640);
}

TEST_F(MainDialog, RotationIsTakenButNeverStored) {
    Run([&](HWND d) {
        uidriver::ComboSelect(d, IDC_ROTATION, L"90° против часовой");
        uidriver::ComboSelect(d, IDC_LINK_KIND,
                              L"9. BBCode, строчные буквы: превью - увеличение по клику");
        PressUpload(d);
    });
    ASSERT_TRUE(UploadRequested());
    EXPECT_EQ(form_.Options().rotation, 3);
    EXPECT_EQ(form_.Options().typeCode, 9);
    bool ok = false;
    const std::string file = ReadBytes(SettingsPath(), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(file.find("rotation"), std::string::npos);
    EXPECT_NE(file.find("name=\"usTypeCode\" value=\"9\""), std::string::npos);
}

// What the login flow will do after a successful login and album list.
AlbumTable SampleAlbums() {
    return {{L"noall", L"[Картинки без альбома]"}, {L"a1", L"Отпуск"}, {L"a2", L"Кошки"}};
}

void LogIn(DrivenMain& form, HWND dialog, const std::wstring& user) {
    OnDialogThread(dialog, [&] {
        UserCredentials credentials;
        credentials.userName = user;
        form.ShowUserState(credentials);
        form.Albums() = SampleAlbums();
        form.FillAlbumBox();
    });
}

TEST_F(MainDialog, LoggedInTheStoredAlbumIsSelectedAndTheChosenOneUploaded) {
    UploadSettings stored;
    stored.idAlbum = L"a2";
    ASSERT_TRUE(SaveUploadSettings(stored));
    std::wstring caption, shownAlbum;
    bool enabled = false;
    int entries = 0;
    Run([&](HWND d) {
        LogIn(form_, d, L"Пётр");
        caption = uidriver::Text(d);
        enabled = ::IsWindowEnabled(::GetDlgItem(d, IDC_ALBUM)) != FALSE;
        entries = static_cast<int>(::SendDlgItemMessageW(d, IDC_ALBUM, CB_GETCOUNT, 0, 0));
        shownAlbum = uidriver::ComboText(d, IDC_ALBUM);
        uidriver::ComboSelect(d, IDC_ALBUM, L"Отпуск");
        PressUpload(d);
    });
    EXPECT_EQ(caption, L"Лумексия ShellExtension " LUMEXIA_VERSION_SHORT L" [Пётр]");
    EXPECT_TRUE(enabled);
    EXPECT_EQ(entries, 3);
    EXPECT_EQ(shownAlbum, L"Кошки");
    ASSERT_TRUE(UploadRequested());
    EXPECT_EQ(form_.Options().idAlbum, L"a1");
    UploadSettings saved;
    ASSERT_TRUE(LoadUploadSettings(saved));
    EXPECT_EQ(saved.idAlbum, L"a1");
}

TEST_F(MainDialog, AnAlbumNotInTheListFallsBackToTheFirstEntry) {
    UploadSettings stored;
    stored.idAlbum = L"deleted-album";
    ASSERT_TRUE(SaveUploadSettings(stored));
    std::wstring shown, afterReset;
    Run([&](HWND d) {
        LogIn(form_, d, L"ivan");
        shown = uidriver::ComboText(d, IDC_ALBUM);
        uidriver::ComboSelect(d, IDC_ALBUM, L"Кошки");
        ClickLink(d, IDC_RESET_LINK); // the default "noalb" names no album either
        afterReset = uidriver::ComboText(d, IDC_ALBUM);
        PressUpload(d);
    });
    EXPECT_EQ(shown, L"[Картинки без альбома]");
    EXPECT_EQ(afterReset, L"[Картинки без альбома]");
    ASSERT_TRUE(UploadRequested());
    EXPECT_EQ(form_.Options().idAlbum, L"noall");
}

TEST_F(MainDialog, LoggingOutEmptiesAndDisablesTheAlbumBox) {
    std::wstring caption;
    int entries = -1;
    bool enabled = true;
    Run([&](HWND d) {
        LogIn(form_, d, L"ivan");
        uidriver::ComboSelect(d, IDC_ALBUM, L"Кошки");
        OnDialogThread(d, [&] { form_.ShowUserState(UserCredentials()); });
        caption = uidriver::Text(d);
        entries = static_cast<int>(::SendDlgItemMessageW(d, IDC_ALBUM, CB_GETCOUNT, 0, 0));
        enabled = ::IsWindowEnabled(::GetDlgItem(d, IDC_ALBUM)) != FALSE;
        PressUpload(d);
    });
    EXPECT_EQ(caption,
              L"Лумексия ShellExtension " LUMEXIA_VERSION_SHORT L" [НЕИЗВЕСТНЫЙ ПОЛЬЗОВАТЕЛЬ]");
    EXPECT_EQ(entries, 0);
    EXPECT_FALSE(enabled);
    ASSERT_TRUE(UploadRequested());
    EXPECT_EQ(form_.Options().idAlbum, L"noall"); // a disabled box names no album
}

TEST_F(MainDialog, StoredValuesWithoutARowShowTheDefaultRow) {
    // A hand-edited settings file with a kind the box does not offer and a format that
    // does not exist: left without a selection, every code would come out empty (yet be
    // reported as copied) and every picture would fail.
    ASSERT_TRUE(WriteBytes(SettingsPath(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings>"
                                           "<setting name=\"usTypeCode\" value=\"4\"/>"
                                           "<setting name=\"usOutFormat\" value=\"7\"/>"
                                           "</settings>"));
    std::wstring kind = L"unset", format = L"unset";
    Run([&](HWND d) {
        kind = uidriver::ComboText(d, IDC_LINK_KIND);
        format = uidriver::ComboText(d, IDC_FORMAT);
        PressUpload(d);
    });
    EXPECT_EQ(kind, L"1. Ссылка");
    EXPECT_EQ(format, L"JPEG");
    ASSERT_TRUE(UploadRequested());
    EXPECT_EQ(form_.Options().typeCode, 1);
    EXPECT_EQ(form_.Options().outFormat, 0);
}

TEST_F(MainDialog, NoUploadStartsWithoutASelection) {
    std::vector<std::wstring> messages;
    Run([&](HWND d) {
        for (int box : {IDC_ROTATION, IDC_FORMAT, IDC_LINK_KIND}) {
            ::SendDlgItemMessageW(d, box, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
            messages.push_back(PressUpload(d));
            ::SendDlgItemMessageW(d, box, CB_SETCURSEL, 0, 0);
        }
    });
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], L"Повернуть на - выберите значение из списка");
    EXPECT_EQ(messages[1], L"Формат - выберите значение из списка");
    EXPECT_EQ(messages[2], L"Тип ссылок - выберите значение из списка");
    EXPECT_FALSE(UploadRequested());
}

} // namespace
