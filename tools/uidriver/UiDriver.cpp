#include "UiDriver.h"

#include "common/Utf8.h"

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace uidriver {

Process::~Process() {
    if (process_) ::CloseHandle(process_);
}

Process::Process(Process&& other) noexcept : process_(other.process_), pid_(other.pid_) {
    other.process_ = nullptr;
    other.pid_ = 0;
}

bool Process::Start(const std::wstring& app, const std::wstring& commandLine) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring line = commandLine; // CreateProcessW may write into the command line
    if (!::CreateProcessW(app.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi))
        return false;
    ::CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

bool Process::Wait(DWORD timeoutMs, DWORD* exitCode) {
    if (!process_ || ::WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
    if (exitCode) ::GetExitCodeProcess(process_, exitCode);
    return true;
}

void Process::Kill() {
    if (process_) {
        ::TerminateProcess(process_, 99);
        ::WaitForSingleObject(process_, 5000);
    }
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

namespace {

std::atomic<bool> g_allProcesses{false};

struct Search {
    int controlId;
    DWORD pid;
    const std::wstring* caption;
    HWND found;
    std::vector<DWORD> scope; // processes searched when pid is 0; empty: all
};

// The calling process and its descendants, from one snapshot of the process list.
std::vector<DWORD> OwnProcessTree() {
    std::vector<DWORD> tree{::GetCurrentProcessId()};
    std::vector<PROCESSENTRY32W> all;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
             more = ::Process32NextW(snapshot, &entry))
            all.push_back(entry);
        ::CloseHandle(snapshot);
    }
    // Breadth-first over parent links; a reused id of a parent that ended may add a
    // stranger's child, which only widens the search back towards the old behaviour.
    for (size_t i = 0; i < tree.size(); ++i)
        for (const PROCESSENTRY32W& p : all)
            if (p.th32ParentProcessID == tree[i] &&
                std::find(tree.begin(), tree.end(), p.th32ProcessID) == tree.end())
                tree.push_back(p.th32ProcessID);
    return tree;
}

bool IsDialog(HWND hwnd) {
    wchar_t cls[16] = {};
    ::GetClassNameW(hwnd, cls, 16);
    return wcscmp(cls, L"#32770") == 0;
}

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param) {
    Search* s = reinterpret_cast<Search*>(param);
    if (!::IsWindowVisible(hwnd) || !IsDialog(hwnd)) return TRUE;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (s->pid ? pid != s->pid
               : !s->scope.empty() &&
                     std::find(s->scope.begin(), s->scope.end(), pid) == s->scope.end())
        return TRUE;
    if (s->caption && Text(hwnd) != *s->caption) return TRUE;
    if (s->controlId && !::GetDlgItem(hwnd, s->controlId)) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND Find(int controlId, DWORD pid, const std::wstring* caption, DWORD timeoutMs) {
    Search s = {controlId, pid, caption, nullptr, {}};
    WaitUntil(
        [&] {
            // Read afresh each round: the process that shows the window may have just
            // been started.
            if (!pid && !g_allProcesses.load()) s.scope = OwnProcessTree();
            ::EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&s));
            return s.found != nullptr;
        },
        timeoutMs);
    return s.found;
}

} // namespace

void SearchAllProcesses(bool all) {
    g_allProcesses = all;
}

HWND WaitForDialog(int controlId, DWORD pid, DWORD timeoutMs) {
    return Find(controlId, pid, nullptr, timeoutMs);
}

HWND WaitForCaption(const std::wstring& caption, DWORD timeoutMs) {
    return Find(0, 0, &caption, timeoutMs);
}

bool WaitForGone(HWND hwnd, DWORD timeoutMs) {
    return WaitUntil([&] { return !::IsWindow(hwnd); }, timeoutMs);
}

std::wstring Text(HWND hwnd) {
    // WM_GETTEXT is marshalled across processes; GetWindowTextW is not for controls.
    LRESULT length = ::SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    LRESULT got =
        ::SendMessageW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return std::wstring(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

std::wstring ControlText(HWND dialog, int controlId) {
    return Text(::GetDlgItem(dialog, controlId));
}

void SetControlText(HWND dialog, int controlId, const std::wstring& text) {
    ::SendMessageW(::GetDlgItem(dialog, controlId), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsChecked(HWND dialog, int controlId) {
    return ::SendMessageW(::GetDlgItem(dialog, controlId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND dialog, int controlId, bool checked) {
    ::SendMessageW(::GetDlgItem(dialog, controlId), BM_SETCHECK,
                   checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::wstring ComboText(HWND dialog, int controlId) {
    HWND combo = ::GetDlgItem(dialog, controlId);
    LRESULT sel = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (sel < 0) return std::wstring();
    LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, sel, 0);
    if (length < 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    ::SendMessageW(combo, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(buffer.data()));
    return std::wstring(buffer.data());
}

std::vector<std::wstring> ComboItems(HWND dialog, int controlId) {
    HWND combo = ::GetDlgItem(dialog, controlId);
    std::vector<std::wstring> items;
    const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
        std::vector<wchar_t> buffer(static_cast<size_t>(length > 0 ? length : 0) + 1);
        ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer.data()));
        items.emplace_back(buffer.data());
    }
    return items;
}

bool ComboSelect(HWND dialog, int controlId, const std::wstring& text) {
    HWND combo = ::GetDlgItem(dialog, controlId);
    LRESULT at = ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                reinterpret_cast<LPARAM>(text.c_str()));
    if (at < 0) return false;
    ::SendMessageW(combo, CB_SETCURSEL, at, 0);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
    return true;
}

void Click(HWND dialog, int controlId) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, controlId)));
}

void ClickLink(HWND dialog, int controlId) {
    HWND link = ::GetDlgItem(dialog, controlId);
    RECT client = {};
    ::GetClientRect(link, &client);
    // The link text starts at the control's top left corner; a point a few pixels in lies
    // on its first characters for every link of the client.
    const LPARAM at = MAKELPARAM(4, std::min<LONG>(6, client.bottom / 2));
    ::PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(link, WM_LBUTTONUP, 0, at);
}

void PressKey(HWND dialog, int controlId, WORD virtualKey) {
    HWND control = ::GetDlgItem(dialog, controlId);
    const UINT scan = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    ::PostMessageW(control, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    ::PostMessageW(control, WM_KEYUP, virtualKey, 1 | (scan << 16) | (3u << 30));
}

void Close(HWND window) {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
}

void TypeText(HWND control, const std::wstring& text, DWORD pauseMs) {
    for (wchar_t c : text) {
        ::PostMessageW(control, WM_CHAR, c, 1);
        if (pauseMs) ::Sleep(pauseMs);
    }
}

void PressKey(HWND control, UINT key) {
    const UINT scan = ::MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    ::PostMessageW(control, WM_KEYDOWN, key, 1 | (scan << 16));
    ::PostMessageW(control, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
}

namespace {

struct WantedWindow {
    const std::wstring* title;
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindTitled(HWND hwnd, LPARAM param) {
    WantedWindow* wanted = reinterpret_cast<WantedWindow*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if ((wanted->pid && owner != wanted->pid) || Text(hwnd) != *wanted->title) return TRUE;
    wanted->found = hwnd;
    return FALSE;
}

} // namespace

HWND WaitForWindow(const std::wstring& title, DWORD pid, DWORD timeoutMs) {
    WantedWindow wanted = {&title, pid, nullptr};
    WaitUntil(
        [&] {
            ::EnumWindows(&FindTitled, reinterpret_cast<LPARAM>(&wanted));
            return wanted.found != nullptr;
        },
        timeoutMs);
    return wanted.found;
}

namespace {

BOOL CALLBACK CollectStatic(HWND hwnd, LPARAM param) {
    wchar_t cls[16] = {};
    ::GetClassNameW(hwnd, cls, 16);
    if (_wcsicmp(cls, L"Static") == 0) {
        std::wstring text = Text(hwnd);
        if (!text.empty()) {
            std::wstring* all = reinterpret_cast<std::wstring*>(param);
            if (!all->empty()) *all += L"\n";
            *all += text;
        }
    }
    return TRUE;
}

} // namespace

std::wstring MessageBoxText(HWND box) {
    std::wstring all;
    ::EnumChildWindows(box, &CollectStatic, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::wstring AnswerMessageBox(const std::wstring& caption, int buttonId, DWORD timeoutMs) {
    HWND box = WaitForCaption(caption, timeoutMs);
    if (!box) return std::wstring();
    std::wstring text = MessageBoxText(box);
    if (text.empty()) text = L" "; // found, even when it carries no text
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, buttonId)));
    WaitForGone(box, 5000);
    return text;
}

bool ReadClipboard(std::wstring& text) {
    text.clear();
    bool opened = WaitUntil([] { return ::OpenClipboard(nullptr) != FALSE; }, 2000);
    if (!opened) return false;
    bool ok = false;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const wchar_t* p = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = p;
            ok = true;
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return ok;
}

bool WriteClipboard(const std::wstring& text) {
    if (!WaitUntil([] { return ::OpenClipboard(nullptr) != FALSE; }, 2000)) return false;
    ::EmptyClipboard();
    bool ok = false;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL mem = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        memcpy(::GlobalLock(mem), text.c_str(), bytes);
        ::GlobalUnlock(mem);
        ok = ::SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
        if (!ok) ::GlobalFree(mem);
    }
    ::CloseClipboard();
    return ok;
}

std::string ToUtf8(const std::wstring& text) {
    return lumexia::ToUtf8(text);
}

std::wstring FromUtf8(const std::string& text) {
    return lumexia::FromUtf8(text);
}

} // namespace uidriver
