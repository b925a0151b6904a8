// uidriver: the UI driver as a command, for scripts (the demo). One action per call;
// results go to standard output as UTF-8, one line each. Exit code 0 on success, 1 when
// the window, control or data was not found, 2 on bad usage.
#include "ShellSelection.h"
#include "UiDriver.h"

#include "common/TaskFile.h"

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

void Print(const std::wstring& text) {
    std::string bytes = uidriver::ToUtf8(text) + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
                &written, nullptr);
}

HWND ParseHwnd(const wchar_t* text) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(wcstoull(text, nullptr, 16)));
}

std::wstring HwndText(HWND hwnd) {
    wchar_t buf[32];
    swprintf(buf, 32, L"%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
    return buf;
}

// Plays another program that keeps the clipboard open (a clipboard viewer, a remote
// desktop): opened with a window of its own, which Wine, like Windows, refuses to every
// other window meanwhile. `heldEvent`, when named, is set once the clipboard is held.
int HoldClipboard(DWORD holdMs, const wchar_t* heldEvent) {
    HWND window =
        ::CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!window || !uidriver::WaitUntil([&] { return ::OpenClipboard(window) != FALSE; }, 5000))
        return 1;
    if (heldEvent) {
        HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, heldEvent);
        if (event) {
            ::SetEvent(event);
            ::CloseHandle(event);
        }
    }
    ::Sleep(holdMs); // the hold itself is what this verb is for
    ::CloseClipboard();
    ::DestroyWindow(window);
    return 0;
}

const wchar_t kUsage[] =
    L"usage: uidriver write-task PATH...          write a task file, print its path\n"
    L"       uidriver start APP COMMANDLINE       start APP with exactly COMMANDLINE\n"
    L"       uidriver explorer-invoke CLSID PATH...  pick a handler's menu item as Explorer\n"
    L"       uidriver find-dialog CONTROL [MS]    print the dialog holding CONTROL\n"
    L"       uidriver find-caption TEXT [MS]      print the dialog with caption TEXT\n"
    L"       uidriver text HWND [CONTROL]         print a window's or control's text\n"
    L"       uidriver program HWND                print the program file that owns HWND\n"
    L"       uidriver set-text HWND CONTROL TEXT\n"
    L"       uidriver combo HWND CONTROL [TEXT]   print or select a drop-down entry\n"
    L"       uidriver click HWND CONTROL\n"
    L"       uidriver click-link HWND CONTROL     click a SysLink's first link\n"
    L"       uidriver checked HWND CONTROL        print 1 or 0 for a check box\n"
    L"       uidriver close HWND\n"
    L"       uidriver type HWND CONTROL TEXT [MS]  type TEXT, MS between characters\n"
    L"       uidriver key HWND CONTROL VK         press virtual key VK (decimal)\n"
    L"       uidriver find-window TITLE [MS]      print a top-level window titled TITLE\n"
    L"       uidriver wait-gone HWND [MS]\n"
    L"       uidriver answer CAPTION BUTTON [MS]  press BUTTON of a message box, print it\n"
    L"       uidriver clipboard                   print the clipboard text\n"
    L"       uidriver hold-clipboard MS [EVENT]   keep the clipboard open MS, then let go\n";

int Run(int argc, wchar_t** argv) {
    if (argc < 2) {
        Print(kUsage);
        return 2;
    }
    const std::wstring verb = argv[1];
    auto ms = [&](int index, DWORD fallback) {
        return argc > index ? static_cast<DWORD>(_wtoi(argv[index])) : fallback;
    };
    if (verb == L"write-task") {
        lumexia::JobList paths(argv + 2, argv + argc);
        std::wstring path = lumexia::WriteNewTaskFile(paths);
        if (path.empty()) return 1;
        Print(path);
        return 0;
    }
    if (verb == L"start" && argc >= 4) {
        // Started on the driver's desktop, like a program the shell starts there.
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        wchar_t desktop[256] = {};
        if (::GetEnvironmentVariableW(L"UIDRIVER_DESKTOP", desktop, 256) && desktop[0])
            si.lpDesktop = desktop;
        PROCESS_INFORMATION pi = {};
        std::wstring line = argv[3];
        if (!::CreateProcessW(argv[2], &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                              &pi))
            return 1;
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        Print(std::to_wstring(pi.dwProcessId));
        return 0;
    }
    if (verb == L"explorer-invoke" && argc >= 4) {
        CLSID clsid;
        if (FAILED(::CLSIDFromString(argv[2], &clsid))) return 2;
        if (FAILED(::CoInitialize(nullptr))) return 1;
        HRESULT hr =
            uidriver::InvokeContextMenu(clsid, lumexia::JobList(argv + 3, argv + argc), nullptr);
        ::CoUninitialize();
        return SUCCEEDED(hr) ? 0 : 1;
    }
    if (verb == L"find-dialog" && argc >= 3) {
        HWND dialog = uidriver::WaitForDialog(_wtoi(argv[2]), 0, ms(3, 10000));
        if (!dialog) return 1;
        Print(HwndText(dialog));
        return 0;
    }
    if (verb == L"find-caption" && argc >= 3) {
        HWND dialog = uidriver::WaitForCaption(argv[2], ms(3, 10000));
        if (!dialog) return 1;
        Print(HwndText(dialog));
        return 0;
    }
    if (verb == L"text" && argc >= 3) {
        HWND hwnd = ParseHwnd(argv[2]);
        if (!::IsWindow(hwnd)) return 1;
        Print(argc >= 4 ? uidriver::ControlText(hwnd, _wtoi(argv[3])) : uidriver::Text(hwnd));
        return 0;
    }
    if (verb == L"program" && argc >= 3) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(ParseHwnd(argv[2]), &pid);
        HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (!process) return 1;
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        const BOOL found = ::QueryFullProcessImageNameW(process, 0, path, &size);
        ::CloseHandle(process);
        if (!found) return 1;
        Print(path);
        return 0;
    }
    if (verb == L"set-text" && argc >= 5) {
        uidriver::SetControlText(ParseHwnd(argv[2]), _wtoi(argv[3]), argv[4]);
        return 0;
    }
    if (verb == L"combo" && argc >= 4) {
        HWND hwnd = ParseHwnd(argv[2]);
        if (argc >= 5) return uidriver::ComboSelect(hwnd, _wtoi(argv[3]), argv[4]) ? 0 : 1;
        Print(uidriver::ComboText(hwnd, _wtoi(argv[3])));
        return 0;
    }
    if (verb == L"click" && argc >= 4) {
        uidriver::Click(ParseHwnd(argv[2]), _wtoi(argv[3]));
        return 0;
    }
    if (verb == L"click-link" && argc >= 4) {
        uidriver::ClickLink(ParseHwnd(argv[2]), _wtoi(argv[3]));
        return 0;
    }
    if (verb == L"checked" && argc >= 4) {
        Print(uidriver::IsChecked(ParseHwnd(argv[2]), _wtoi(argv[3])) ? L"1" : L"0");
        return 0;
    }
    if (verb == L"type" && argc >= 5) {
        uidriver::TypeText(::GetDlgItem(ParseHwnd(argv[2]), _wtoi(argv[3])), argv[4], ms(5, 0));
        return 0;
    }
    if (verb == L"key" && argc >= 5) {
        uidriver::PressKey(::GetDlgItem(ParseHwnd(argv[2]), _wtoi(argv[3])),
                           static_cast<UINT>(_wtoi(argv[4])));
        return 0;
    }
    if (verb == L"find-window" && argc >= 3) {
        HWND window = uidriver::WaitForWindow(argv[2], 0, ms(3, 10000));
        if (!window) return 1;
        Print(HwndText(window));
        return 0;
    }
    if (verb == L"close" && argc >= 3) {
        uidriver::Close(ParseHwnd(argv[2]));
        return 0;
    }
    if (verb == L"wait-gone" && argc >= 3) {
        return uidriver::WaitForGone(ParseHwnd(argv[2]), ms(3, 10000)) ? 0 : 1;
    }
    if (verb == L"answer" && argc >= 4) {
        std::wstring text = uidriver::AnswerMessageBox(argv[2], _wtoi(argv[3]), ms(4, 10000));
        if (text.empty()) return 1;
        Print(text);
        return 0;
    }
    if (verb == L"clipboard") {
        std::wstring text;
        if (!uidriver::ReadClipboard(text)) return 1;
        Print(text);
        return 0;
    }
    if (verb == L"hold-clipboard" && argc >= 3)
        return HoldClipboard(ms(2, 0), argc >= 4 ? argv[3] : nullptr);
    Print(kUsage);
    return 2;
}

} // namespace

// Windows of a Wine virtual desktop (explorer /desktop=NAME) are only seen from a thread
// attached to that desktop. The desktop may still be starting, so wait for it a while.
void JoinDesktop() {
    wchar_t name[256] = {};
    if (!::GetEnvironmentVariableW(L"UIDRIVER_DESKTOP", name, 256) || !name[0]) return;
    HDESK desk = nullptr;
    uidriver::WaitUntil([&] { return (desk = ::OpenDesktopW(name, 0, FALSE, GENERIC_ALL)); },
                        10000);
    if (desk) ::SetThreadDesktop(desk);
}

int wmain(int argc, wchar_t** argv) {
    try {
        JoinDesktop();
        // A script drives a client it did not start: its windows are not ours.
        uidriver::SearchAllProcesses(true);
        return Run(argc, argv);
    } catch (...) {
        return 2;
    }
}
