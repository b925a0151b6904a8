#include "ui/FormMain.h"

#include "jobs/JobIntake.h"
#include "settings/SettingsGroups.h"
#include "ui/Form4Proxy.h"
#include "ui/LoginFlow.h"
#include "ui/UpdateOffer.h"
#include "resources/resource.h"

#include "ClientVersion.h"

#include <commctrl.h>
#include <shellapi.h>

namespace lumexia {

const LookupRow kRotationTable[4] = {
    {0, L"0°"}, {1, L"90° по часовой"}, {2, L"180°"}, {3, L"90° против часовой"}};
const LookupRow kFormatTable[2] = {{0, L"JPEG"}, {1, L"PNG"}};
const LookupRow kLinkKindTable[7] = {
    {1, L"1. Ссылка"},
    {2, L"2. Картинка в тексте"},
    {3, L"3. Превью - увеличение по клику"},
    {6, L"6. HTML: картинка в тексте"},
    {7, L"7. HTML: превью - увеличение по клику"},
    {8, L"8. BBCode, строчные буквы: картинка в тексте"},
    {9, L"9. BBCode, строчные буквы: превью - увеличение по клику"}};

namespace {

const wchar_t kCaptionPrefix[] = L"Лумексия ShellExtension " LUMEXIA_VERSION_SHORT L" [";
const wchar_t kUnknownUser[] = L"НЕИЗВЕСТНЫЙ ПОЛЬЗОВАТЕЛЬ";
const wchar_t kCannotSave[] = L"Не удаётся сохранить параметры";
// Posted by the first paint to itself: the server calls of the first paint follow it.
constexpr UINT kFirstPaintDone = WM_APP + 1;
// The tag edit holds at most this many characters.
constexpr int kTagsMaxChars = 499;

// The text of `key`, or that of the table's first row, its default: a stored value without
// a row (a hand-edited file) would otherwise leave its box without a selection.
template <size_t N> const wchar_t* TextOf(const LookupRow (&table)[N], int key) {
    for (const LookupRow& row : table)
        if (row.key == key) return row.text;
    return table[0].text;
}

} // namespace

FormMain::Result FormMain::Run(HWND owner) {
    // The settings are read while the window and its controls are made.
    settingsRead_.Start();
    return RunModal(IDD_MAIN, owner) == kUpload ? kUpload : kClosed;
}

INT_PTR FormMain::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_PAINT:
        // The server calls wait until this paint and the controls' own are done: run from
        // here, their progress dialog would be made and shown first and the main dialog
        // would stay blank behind it. Posted messages come before input, so no click
        // reaches the dialog between its paint and the calls.
        if (!painted_) {
            painted_ = true;
            if (!::PostMessageW(Handle(), kFirstPaintDone, 0, 0)) AfterFirstPaint();
        }
        return FALSE; // the paint itself proceeds normally
    case kFirstPaintDone:
        // The controls paint after their parent; they need nothing from the server calls.
        ::RedrawWindow(Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        AfterFirstPaint();
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        SetResult(1);
        return TRUE;
    default:
        if (message == HandOverMessage()) {
            OnHandOver(wParam);
            SetResult(1);
            return TRUE;
        }
        return FALSE;
    }
}

BOOL FormMain::OnInit() {
    HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN));
    if (icon) ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    FillLookupBoxes();
    ShowFileCount();
    ShowUserState(UserCredentials()); // nobody signed in until the first paint's login
    // One read of the settings file serves the options, the login and the first paint.
    settingsRead_.Take(atOpen_);
    options_ = atOpen_.upload;
    credentials_ = atOpen_.credentials;
    ShowOptions(options_);
    return TRUE;
}

void FormMain::AfterFirstPaint() {
    // The completion's pop-up list is a window of its own, and its worker a thread: made
    // after the paint, they no longer delay the dialog's first showing. No key reaches the
    // tags edit before this (input comes after posted messages).
    tagCompletion_.Attach(Item(IDC_TAGS), proxy_);
    OnFirstPaint();
}

void FormMain::FillLookupBoxes() {
    int position = 0;
    for (const LookupRow& row : kRotationTable)
        ComboInsert(IDC_ROTATION, position++, row.text, row.key);
    ComboSelect(IDC_ROTATION, 0);
    position = 0;
    for (const LookupRow& row : kFormatTable)
        ComboInsert(IDC_FORMAT, position++, row.text, row.key);
    ComboSelect(IDC_FORMAT, 0);
    // The box sorts; the texts begin with their number, so it shows them in key order.
    for (const LookupRow& row : kLinkKindTable)
        ComboAdd(IDC_LINK_KIND, row.text, row.key);
    ComboSelect(IDC_LINK_KIND, 0);
}

void FormMain::OnFirstPaint() {
    // The window is on screen before any server call, so their progress dialogs have an
    // owner to centre on. An accepted update ends the dialog; the login then never runs.
    // Every server call needs the proxy setting: the one read when the dialog opened.
    proxy_ = atOpen_.proxy;
    if (OfferUpdateAtStart(Handle(), proxy_, atOpen_.notices)) {
        End(kClosed);
        return;
    }
    // Signs in silently with a stored user name and password.
    LoginFlow(*this).Run(LoginFlow::Pass::kStored);
}

bool FormMain::OnButton(int id) {
    // IDOK and IDCANCEL (Enter and Esc) are deliberately left unhandled: neither closes.
    if (id != IDC_UPLOAD) return false;
    StartUpload();
    return true;
}

bool FormMain::OnCommand(int id, int code) {
    if (id == IDC_SUBSCR_TEXT && code == EN_CHANGE) {
        SetChecked(IDC_SUBSCR, ::GetWindowTextLengthW(Item(IDC_SUBSCR_TEXT)) > 0);
    } else if (id == IDC_PREV_SUBSCR_TEXT && code == EN_CHANGE) {
        SetChecked(IDC_PREV_SUBSCR, ::GetWindowTextLengthW(Item(IDC_PREV_SUBSCR_TEXT)) > 0);
    } else {
        return false;
    }
    return true;
}

bool FormMain::OnNotify(const NMHDR& header) {
    if (header.code != NM_CLICK) return false;
    switch (header.idFrom) {
    case IDC_RESET_LINK:
        ResetOptions();
        return true;
    case IDC_LOGIN_LINK:
        OnLoginLink();
        return true;
    case IDC_PROXY_LINK:
        OnProxyLink();
        return true;
    default:
        return false;
    }
}

void FormMain::OnLoginLink() {
    LoginFlow(*this).Run(LoginFlow::Pass::kAsk);
}

void FormMain::OnProxyLink() {
    EditProxySettings(proxy_);
}

bool FormMain::OnClose() {
    End(kClosed);
    return true;
}

void FormMain::OnHandOver(WPARAM wParam) {
    if (wParam != 1) return;
    TakeHandOver(*jobs_);
    ShowFileCount();
    BringToFront(Handle());
}

void FormMain::OnDropFiles(HDROP drop) {
    if (!drop) return;
    TakeDroppedFiles(drop, *jobs_);
    ::DragFinish(drop);
    ShowFileCount();
    BringToFront(Handle());
}

void FormMain::ShowFileCount() {
    SetItemText(IDC_FILE_COUNT, FileCountText(jobs_->size()));
}

void FormMain::SetUser(const UserCredentials& credentials) {
    credentials_ = credentials;
    ShowUserState(credentials_);
}

void FormMain::ShowUserState(const UserCredentials& credentials) {
    const bool known = !credentials.userName.empty();
    SetCaption(kCaptionPrefix + (known ? credentials.userName : std::wstring(kUnknownUser)) + L"]");
    if (!known) ComboClear(IDC_ALBUM);
    EnableItem(IDC_ALBUM, known);
}

void FormMain::FillAlbumBox() {
    ComboClear(IDC_ALBUM);
    int selected = 0;
    for (size_t i = 0; i < albums_.size(); ++i) {
        ComboInsert(IDC_ALBUM, static_cast<int>(i), albums_[i].second, static_cast<LPARAM>(i));
        if (albums_[i].first == options_.idAlbum) selected = static_cast<int>(i);
    }
    ComboSelect(IDC_ALBUM, selected);
}

void FormMain::ShowOptions(const UploadSettings& o) {
    // Order matters: setting a caption text raises EN_CHANGE, which checks its box; the
    // stored box state is applied right after.
    SetChecked(IDC_RESIZE, o.isResize);
    SetItemText(IDC_MAXSIZE, std::to_wstring(o.maxSize));
    const wchar_t* rotation = TextOf(kRotationTable, o.rotation);
    ComboSelect(IDC_ROTATION, ComboFindExact(IDC_ROTATION, rotation));
    SetItemText(IDC_SUBSCR_TEXT, o.subscrText);
    SetChecked(IDC_SUBSCR, o.isSubscr);
    SetItemText(IDC_QUALITY, std::to_wstring(o.jpegQuality));
    SetItemText(IDC_PREV_MAXSIZE, std::to_wstring(o.prevMaxSize));
    SetItemText(IDC_PREV_SUBSCR_TEXT, o.prevSubscrText);
    SetChecked(IDC_PREV_SUBSCR, o.prevIsSubscr);
    SetItemText(IDC_COMMENT, o.comment);
    SetItemText(IDC_USER_URL, o.userUrl);
    if (::IsWindowEnabled(Item(IDC_ALBUM))) {
        int position = 0;
        for (size_t i = 0; i < albums_.size(); ++i)
            if (albums_[i].first == o.idAlbum) {
                position = static_cast<int>(i);
                break;
            }
        ComboSelect(IDC_ALBUM, position);
    }
    const wchar_t* kind = TextOf(kLinkKindTable, o.typeCode);
    ComboSelect(IDC_LINK_KIND, ComboFindExact(IDC_LINK_KIND, kind));
    SetItemText(IDC_TAGS, o.tags);
    SetChecked(IDC_PUBLIC, o.isPublic);
    const wchar_t* format = TextOf(kFormatTable, o.outFormat);
    ComboSelect(IDC_FORMAT, ComboFindExact(IDC_FORMAT, format));
}

int FormMain::ReadInt(int id, int maxChars) const {
    return ParseSettingInt(ItemText(id, maxChars));
}

void FormMain::ReadOptions(UploadSettings& o) const {
    auto selectedData = [this](int id) -> int {
        int position = ComboSelection(id);
        return position < 0 ? -1 : static_cast<int>(ComboData(id, position));
    };
    o.isResize = IsChecked(IDC_RESIZE);
    o.maxSize = ReadInt(IDC_MAXSIZE, 4);
    o.rotation = selectedData(IDC_ROTATION);
    o.isSubscr = IsChecked(IDC_SUBSCR);
    o.subscrText = ItemText(IDC_SUBSCR_TEXT);
    o.jpegQuality = ReadInt(IDC_QUALITY, 4);
    o.prevMaxSize = ReadInt(IDC_PREV_MAXSIZE, 4);
    o.prevIsSubscr = IsChecked(IDC_PREV_SUBSCR);
    o.prevSubscrText = ItemText(IDC_PREV_SUBSCR_TEXT);
    o.comment = ItemText(IDC_COMMENT);
    o.userUrl = ItemText(IDC_USER_URL);
    o.idAlbum = L"noall";
    if (::IsWindowEnabled(Item(IDC_ALBUM))) {
        int position = selectedData(IDC_ALBUM);
        if (position >= 0 && static_cast<size_t>(position) < albums_.size())
            o.idAlbum = albums_[static_cast<size_t>(position)].first;
    }
    o.typeCode = selectedData(IDC_LINK_KIND);
    o.tags = ItemText(IDC_TAGS, kTagsMaxChars);
    o.isPublic = IsChecked(IDC_PUBLIC);
    o.outFormat = selectedData(IDC_FORMAT);
}

std::wstring FormMain::ValidateOptions() const {
    // ReadOptions takes a number from its first four characters only, so a text whose whole
    // reading differs ("00085" taken as 8, "12345" as 1234, "00005" as 0) would be stored
    // as another number than the one shown: refused.
    auto number = [this](int id, int& value) {
        value = ReadInt(id, 99);
        return value == ReadInt(id, 4);
    };
    int value = 0;
    if (!number(IDC_MAXSIZE, value) || value <= 0)
        return L"Увеличить до - должно быть целое положительное число";
    if (!number(IDC_QUALITY, value) || value < 1 || value > 100)
        return L"Качество - должно быть целое число от 1 до 100";
    if (!number(IDC_PREV_MAXSIZE, value) || value <= 0)
        return L"Размер превью - должно быть целое положительное число";
    // The limit is 250 characters although the messages name 255.
    if (ItemText(IDC_SUBSCR_TEXT, 299).size() > 250)
        return L"Надпись на картинке не больше 255 символов";
    if (ItemText(IDC_PREV_SUBSCR_TEXT, 299).size() > 250)
        return L"Надпись на превью не больше 255 символов";
    if (ItemText(IDC_COMMENT, 504).size() > 500) return L"Комментарий не больше 500 символов";
    if (ItemText(IDC_USER_URL, 504).size() > 500) return L"Ссылка на ресурс не больше 500 символов";
    // Without a selection the options would read -1: codes all empty, every picture failed.
    if (ComboSelection(IDC_ROTATION) < 0) return L"Повернуть на - выберите значение из списка";
    if (ComboSelection(IDC_FORMAT) < 0) return L"Формат - выберите значение из списка";
    if (ComboSelection(IDC_LINK_KIND) < 0) return L"Тип ссылок - выберите значение из списка";
    return std::wstring();
}

void FormMain::ShowError(const std::wstring& text) {
    ::MessageBoxW(Handle(), text.c_str(), L"Error", MB_OK);
}

void FormMain::ResetOptions() {
    ResetUploadSettings(options_);
    ShowOptions(options_);
    if (!SaveUploadSettings(options_)) ShowError(kCannotSave);
}

void FormMain::StartUpload() {
    const std::wstring problem = ValidateOptions();
    if (!problem.empty()) {
        ShowError(problem);
        return;
    }
    ReadOptions(options_);
    // A settings file that cannot be written does not stop the upload.
    if (!SaveUploadSettings(options_)) ShowError(kCannotSave);
    End(kUpload);
}

} // namespace lumexia
