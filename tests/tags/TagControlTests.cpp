// The tag auto-completion on the real main dialog, run inside the test process and driven
// from a second thread with posted keyboard input (so the dialog manager sees it as it
// sees a user's), mouse input through SendInput, and messages for the pop-up list (on a
// bare X server a click into a no-activate pop-up activates it). The stand-in is the
// service.
#include "StandIn.h"
#include "StandInSettings.h"
#include "TagTestSupport.h"
#include "LoginPrompt.h"
#include "UiDriver.h"

#include "resources/resource.h"
#include "TestSupport.h"
#include "ui/FormMain.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace lumexia;
using namespace testing_support;

namespace {

const DWORD kWait = 15000;

// The real dialog, plus a way to run code on its thread and a record of IDCANCEL.
class DrivenMain : public FormMain {
public:
    using FormMain::FormMain;
    static constexpr UINT kRunHere = WM_APP + 77;
    std::atomic<bool> cancelSeen{false};

protected:
    bool OnCommand(int id, int code) override {
        if (id == IDCANCEL) cancelSeen = true;
        return FormMain::OnCommand(id, code);
    }
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kRunHere) {
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            return TRUE;
        }
        return FormMain::OnMessage(message, wParam, lParam);
    }
};

HWND Focus(HWND dialog) {
    GUITHREADINFO info = {sizeof info};
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info);
    return info.hwndFocus;
}

int Count(HWND list) {
    return static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
}
int Selection(HWND list) {
    return static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0));
}
DWORD Caret(HWND edit) {
    DWORD start = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    return start;
}
void SetCaret(HWND edit, int position) {
    ::SendMessageW(edit, EM_SETSEL, position, position);
}

// A left click at a screen point, as the mouse gives it.
void ClickAt(POINT point) {
    const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT input[3] = {};
    input[0].type = input[1].type = input[2].type = INPUT_MOUSE;
    input[0].mi.dx = point.x * 65535 / (width - 1);
    input[0].mi.dy = point.y * 65535 / (height - 1);
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(3, input, sizeof(INPUT));
}

class TagControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
        ASSERT_HRESULT_SUCCEEDED(::OleInitialize(nullptr));
        ASSERT_TRUE(settings_.Saved());
        standin::Reset();
        tag_tests::SetTags({L"Dog", L"Dove", L"Cat", L"Cow", L"Deer"});
    }
    void TearDown() override { ::OleUninitialize(); }
    // Runs the dialog; `script` gets the dialog, the tags edit and the pop-up list.
    void Run(const std::function<void(HWND, HWND, HWND)>& script) {
        std::thread user([&] {
            HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, ::GetCurrentProcessId(), kWait);
            // The first paint checks the version and asks for a login; declined, the
            // dialog works anonymously.
            if (!dialog || !SkipLoginPrompt(::GetCurrentProcessId(), kWait)) return;
            HWND list = uidriver::WaitForWindow(L"MainLB", ::GetCurrentProcessId(), kWait);
            HWND edit = ::GetDlgItem(dialog, IDC_TAGS);
            // The user starts in the tags edit.
            ::PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
            if (!list || !uidriver::WaitUntil([&] { return Focus(dialog) == edit; }, kWait))
                ADD_FAILURE() << "no pop-up list, or the tags edit did not take the focus";
            else
                script(dialog, edit, list);
            if (::IsWindow(dialog)) uidriver::Close(dialog);
        });
        form_.Run(nullptr);
        user.join();
    }
    // Types into the empty edit and waits for the list to show `entries` suggestions.
    static bool TypeAndWait(HWND edit, HWND list, const std::wstring& text, int entries) {
        uidriver::TypeText(edit, text);
        return uidriver::WaitUntil(
            [&] { return ::IsWindowVisible(list) && Count(list) == entries; }, kWait);
    }
    static bool Hidden(HWND list) {
        return uidriver::WaitUntil([&] { return !::IsWindowVisible(list); }, kWait);
    }

    StandInProxySettings settings_;
    JobList jobs_;
    DrivenMain form_{&jobs_};
};

TEST_F(TagControl, CompletionReplacesTheTagAroundTheCaret) {
    std::wstring afterSecond, afterFirst;
    DWORD caretSecond = 0, caretFirst = 0;
    RECT belowEdit{}, listRect{}, editRect{}, aboveRect{};
    Run([&](HWND, HWND edit, HWND list) {
        uidriver::SetControlText(::GetParent(edit), IDC_TAGS, L"cat, ");
        SetCaret(edit, 5);
        ASSERT_TRUE(TypeAndWait(edit, list, L"do", 2)); // Dog, Dove
        ::GetWindowRect(edit, &belowEdit);
        ::GetWindowRect(list, &listRect);
        uidriver::PressKey(edit, VK_DOWN);
        uidriver::PressKey(edit, VK_RETURN);
        ASSERT_TRUE(Hidden(list));
        afterSecond = uidriver::Text(edit);
        caretSecond = Caret(edit);

        // The first tag of a list, completed with the caret inside it: no space before it,
        // the rest after the comma kept.
        uidriver::SetControlText(::GetParent(edit), IDC_TAGS, L"");
        ASSERT_TRUE(TypeAndWait(edit, list, L"c", 2)); // Cat, Cow
        uidriver::SetControlText(::GetParent(edit), IDC_TAGS, L"cat,dog");
        SetCaret(edit, 1);
        uidriver::PressKey(edit, VK_DOWN);
        uidriver::PressKey(edit, VK_DOWN);
        uidriver::PressKey(edit, VK_RETURN);
        ASSERT_TRUE(Hidden(list));
        afterFirst = uidriver::Text(edit);
        caretFirst = Caret(edit);

        // With less than 200 pixels below the edit the list opens above it.
        RECT desktop, dialogRect;
        ::GetWindowRect(::GetDesktopWindow(), &desktop);
        ::GetWindowRect(::GetParent(edit), &dialogRect);
        ::GetWindowRect(edit, &editRect);
        ::SetWindowPos(::GetParent(edit), nullptr, dialogRect.left,
                       dialogRect.top + desktop.bottom - 100 - editRect.bottom, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::GetWindowRect(edit, &editRect);
        uidriver::PressKey(edit, VK_DOWN);
        ASSERT_TRUE(uidriver::WaitUntil([&] { return ::IsWindowVisible(list); }, kWait));
        ::GetWindowRect(list, &aboveRect);
    });
    EXPECT_EQ(afterSecond, L"cat, Dog");
    EXPECT_EQ(caretSecond, 8u);
    EXPECT_EQ(afterFirst, L"Cow,dog");
    EXPECT_EQ(caretFirst, 3u);
    EXPECT_EQ(tag_tests::AskedTokens(), (std::vector<std::wstring>{L"do", L"c"}));
    // Under the edit and as wide as it.
    EXPECT_EQ(listRect.top, belowEdit.bottom);
    EXPECT_EQ(listRect.left, belowEdit.left);
    EXPECT_EQ(listRect.right - listRect.left, belowEdit.right - belowEdit.left);
    // 200 pixels asked for; the list box trims itself to whole entries.
    const int height = listRect.bottom - listRect.top;
    EXPECT_LE(height, CAutoComplete2::kListHeight);
    EXPECT_GT(height, CAutoComplete2::kListHeight - 20);
    EXPECT_EQ(aboveRect.top, editRect.top - CAutoComplete2::kAboveOffset); // 2 pixels overlap
}

TEST_F(TagControl, KeysWhileTheListIsOpenBelongToIt) {
    bool tabKeptFocus = false, escKeptDialog = false, tabMovedFocus = false;
    int afterDown = -2, afterTab = -2;
    Run([&](HWND dialog, HWND edit, HWND list) {
        ASSERT_TRUE(TypeAndWait(edit, list, L"d", 3)); // Deer, Dog, Dove
        uidriver::PressKey(edit, VK_ESCAPE);
        ASSERT_TRUE(Hidden(list));
        escKeptDialog = ::IsWindowVisible(dialog) && !form_.cancelSeen;

        // Up with the list hidden does nothing, so Down shows it at its first entry (had Up
        // shown it, Down would select the second).
        uidriver::PressKey(edit, VK_UP);
        uidriver::PressKey(edit, VK_DOWN);
        ASSERT_TRUE(uidriver::WaitUntil([&] { return ::IsWindowVisible(list); }, kWait));
        afterDown = Selection(list);
        // Up at the first entry stays there; two Tabs then select the third.
        uidriver::PressKey(edit, VK_UP);
        uidriver::PressKey(edit, VK_TAB);
        uidriver::PressKey(edit, VK_TAB);
        uidriver::WaitUntil([&] { return Selection(list) == 2; }, kWait);
        afterTab = Selection(list);
        tabKeptFocus = Focus(dialog) == edit;

        uidriver::PressKey(edit, VK_ESCAPE);
        ASSERT_TRUE(Hidden(list));
        uidriver::PressKey(edit, VK_TAB);
        tabMovedFocus = uidriver::WaitUntil(
            [&] { return Focus(dialog) == ::GetDlgItem(dialog, IDC_PUBLIC); }, kWait);
    });
    EXPECT_TRUE(escKeptDialog);
    EXPECT_EQ(afterDown, 0);
    EXPECT_EQ(afterTab, 2);
    EXPECT_TRUE(tabKeptFocus);
    EXPECT_TRUE(tabMovedFocus);
}

TEST_F(TagControl, ClickElsewhereHidesTheListAndAClickInItCompletes) {
    bool hiddenByClick = false, focusStayed = false;
    std::wstring completed;
    Run([&](HWND dialog, HWND edit, HWND list) {
        ASSERT_TRUE(TypeAndWait(edit, list, L"d", 3)); // Deer, Dog, Dove
        // An empty spot of the dialog right of the edit: it takes no focus, so only the
        // mouse hook can close the list.
        RECT spot = {230, 156, 231, 157};
        ::MapDialogRect(dialog, &spot);
        POINT point = {spot.left, spot.top};
        ::ClientToScreen(dialog, &point);
        ASSERT_EQ(::WindowFromPoint(point), dialog);
        ClickAt(point);
        hiddenByClick = Hidden(list);
        focusStayed = Focus(dialog) == edit;

        uidriver::PressKey(edit, VK_DOWN); // shows the list again
        ASSERT_TRUE(uidriver::WaitUntil([&] { return ::IsWindowVisible(list); }, kWait));
        RECT item{};
        ::SendMessageW(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
        const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        ::SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageW(list, WM_LBUTTONUP, 0, at);
        ASSERT_TRUE(Hidden(list));
        completed = uidriver::Text(edit);
    });
    EXPECT_TRUE(hiddenByClick);
    EXPECT_TRUE(focusStayed);
    EXPECT_EQ(completed, L"Dog");
}

// Each answer below is held back 2 s, so the user acts before it comes.
TEST_F(TagControl, ALateAnswerOpensTheListOnlyWhileItsTagIsBeingTyped) {
    tag_tests::SetTags({L"Dog", L"Dove", L"Cat", L"Cow", L"Deer", L"Elk", L"Emu"});
    bool afterEsc = true, overBox = true, afterComma = true, boxDisabledDialog = false;
    int refilled = 0;
    std::vector<std::wstring> asked;
    Run([&](HWND dialog, HWND edit, HWND list) {
        auto typeStalled = [&](const std::wstring& text, size_t queries) {
            uidriver::SetControlText(dialog, IDC_TAGS, L"");
            tag_tests::StallNextAnswer(2);
            uidriver::TypeText(edit, text);
            return uidriver::WaitUntil([&] { return ::IsWindowVisible(list) != FALSE; }, kWait) &&
                   uidriver::WaitUntil([&] { return tag_tests::AskedTokens().size() == queries; },
                                       kWait);
        };
        // Esc: the answer fills the hidden list (a later Down shows it) but does not open it.
        ASSERT_TRUE(typeStalled(L"d", 1));
        uidriver::PressKey(edit, VK_ESCAPE);
        ASSERT_TRUE(Hidden(list));
        ASSERT_TRUE(uidriver::WaitUntil([&] { return Count(list) == 3; }, kWait));
        afterEsc = ::IsWindowVisible(list) != FALSE;

        // A message box of the client over the dialog.
        ASSERT_TRUE(typeStalled(L"c", 2));
        std::thread box([&] {
            const std::function<void()> ask = [&] { ::MessageBoxW(dialog, L"", L"Busy", MB_OK); };
            ::SendMessageW(dialog, DrivenMain::kRunHere, 0, reinterpret_cast<LPARAM>(&ask));
        });
        HWND shown = uidriver::WaitForCaption(L"Busy", kWait);
        boxDisabledDialog = shown && !::IsWindowEnabled(dialog);
        if (uidriver::WaitUntil([&] { return Count(list) == 2; }, kWait)) {
            // On a slow machine the answer may beat the box, open the list, and the box's
            // taking the focus then hides it a moment later. Once the answer's handling
            // has ended (a message sent after it), the list must be hidden or go soon;
            // one opened over the box would stay.
            const std::function<void()> nothing = [] {};
            ::SendMessageW(dialog, DrivenMain::kRunHere, 0, reinterpret_cast<LPARAM>(&nothing));
            overBox = !uidriver::WaitUntil([&] { return !::IsWindowVisible(list); }, kWait);
        }
        uidriver::AnswerMessageBox(L"Busy", IDOK, kWait);
        box.join();
        ::PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
        ASSERT_TRUE(uidriver::WaitUntil([&] { return Focus(dialog) == edit; }, kWait));

        // A comma ends the tag. Nothing here tells when the answer came, so the list is
        // watched for longer than it is held back; back in the tag, the list then shows it
        // without a second query.
        ASSERT_TRUE(typeStalled(L"e", 3));
        uidriver::TypeText(edit, L",");
        ASSERT_TRUE(Hidden(list));
        afterComma = uidriver::WaitUntil([&] { return ::IsWindowVisible(list) != FALSE; }, 5000);
        uidriver::PressKey(edit, VK_LEFT);
        uidriver::WaitUntil([&] { return ::IsWindowVisible(list) && Count(list) == 2; }, kWait);
        refilled = Count(list);
        asked = tag_tests::AskedTokens();
    });
    EXPECT_FALSE(afterEsc);
    EXPECT_TRUE(boxDisabledDialog);
    EXPECT_FALSE(overBox);
    EXPECT_FALSE(afterComma);
    EXPECT_EQ(refilled, 2);
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"d", L"c", L"e"}));
}

} // namespace
