// A small driver for the client's windows, used by the end-to-end tests (linked in) and
// by the demo (through the uidriver command). It finds windows and controls, reads and
// sets texts, clicks, answers message boxes and reads the clipboard, from another
// process, the way a user's input would reach them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace uidriver {

// A started program; the handles are closed by the destructor.
class Process {
public:
    Process() = default;
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&&) = delete;
    Process(const Process&) = delete;

    // CreateProcessW(app, commandLine); false when it could not start.
    bool Start(const std::wstring& app, const std::wstring& commandLine);
    // Waits up to timeoutMs for the end; true with the exit code when it ended.
    bool Wait(DWORD timeoutMs, DWORD* exitCode = nullptr);
    void Kill();
    DWORD Id() const { return pid_; }
    HANDLE Handle() const { return process_; }

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// Folder of the running program, with a trailing backslash.
std::wstring ProgramFolder();

// Which processes' windows the searches below consider when not given a process: by
// default the calling process and the processes it started (directly or further down),
// so test programs running side by side never find, read or answer each other's windows.
// The command (for scripts driving a client they did not start) widens it to all.
void SearchAllProcesses(bool all);

// Top-level visible dialog (#32770) that holds a control with `controlId`, optionally
// owned by process `pid` (0: any in the search scope); waits up to timeoutMs. Null when
// none appeared.
HWND WaitForDialog(int controlId, DWORD pid, DWORD timeoutMs);
// Top-level visible dialog in the search scope with this exact caption (message boxes);
// null on time-out.
HWND WaitForCaption(const std::wstring& caption, DWORD timeoutMs);
// True when `hwnd` was destroyed within timeoutMs.
bool WaitForGone(HWND hwnd, DWORD timeoutMs);
// Polls `condition` every 20 ms until it holds or timeoutMs passes.
template <typename F> bool WaitUntil(F condition, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount() - start >= timeoutMs) return false;
        ::Sleep(20);
    }
}

std::wstring Text(HWND hwnd);
std::wstring ControlText(HWND dialog, int controlId);
void SetControlText(HWND dialog, int controlId, const std::wstring& text);
bool IsChecked(HWND dialog, int controlId);
// Sets a check box's state (BM_SETCHECK), as a click on an auto check box leaves it.
void SetChecked(HWND dialog, int controlId, bool checked);
// Text of the selected entry of a drop-down list; empty when none is selected.
std::wstring ComboText(HWND dialog, int controlId);
// Texts of every entry of a drop-down list, in list order.
std::vector<std::wstring> ComboItems(HWND dialog, int controlId);
// Selects the entry with exactly this text and notifies the dialog; false when absent.
bool ComboSelect(HWND dialog, int controlId, const std::wstring& text);
// Clicks a button as a user would: the dialog gets BN_CLICKED (posted, so a modal
// loop the click opens does not block the driver).
void Click(HWND dialog, int controlId);
// Clicks the first link of a SysLink control with the mouse messages a user's click
// gives it (posted), so the control itself sends NM_CLICK to the dialog. A WM_NOTIFY
// cannot be sent from another process: its NMHDR would not be marshalled.
void ClickLink(HWND dialog, int controlId);
// A key press (posted key down and up) on a control, as if it had the focus: the
// dialog's own loop sees it, so Enter and Esc do what they do for a user.
void PressKey(HWND dialog, int controlId, WORD virtualKey);
void Close(HWND window);
// Types `text` into a control the way keyboard input reaches it: one posted WM_CHAR per
// character, `pauseMs` apart, so the owner's message loop and dialog manager see them.
void TypeText(HWND control, const std::wstring& text, DWORD pauseMs = 0);
// A press of virtual key `key` on a control: posted WM_KEYDOWN and WM_KEYUP.
void PressKey(HWND control, UINT key);
// Top-level window with exactly this title of process `pid` (0: any), visible or not
// (pop-up lists are made hidden); waits up to timeoutMs. Null when none appeared.
HWND WaitForWindow(const std::wstring& title, DWORD pid, DWORD timeoutMs);
// Texts of the static controls of a message box, joined by "\n".
std::wstring MessageBoxText(HWND box);
// Waits for a dialog with `caption` and presses its button `buttonId` (IDOK, IDCANCEL,
// ...). Returns the message text, or an empty string when no such box appeared.
std::wstring AnswerMessageBox(const std::wstring& caption, int buttonId, DWORD timeoutMs);

// Unicode text on the clipboard; false when there is none.
bool ReadClipboard(std::wstring& text);
// Puts text on the clipboard (for tests that check it stays unchanged).
bool WriteClipboard(const std::wstring& text);

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

} // namespace uidriver
