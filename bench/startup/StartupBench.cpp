// Start-up: how long the client takes to show its main dialog, against the least any
// dialog program of that size takes.
//
// The client is started as the Explorer extension starts it (a task file naming one
// picture) and timed from CreateProcess until its main dialog is visible and painted: the
// dialog and every visible control have an empty update region. The yardstick is
// bare_dialog.exe (the same template, manifest and toolchain, a procedure that does
// nothing), timed the same way. The two are started alternately, the same number of
// times, the order swapped every round, and each is closed and has ended before the next
// start; one unmeasured start of each comes first.
//
// Goal: the median of the per-round ratios client / bare at most 1.10 (reported with its
// interquartile range).
//
// Also reported, without a goal: the time from process start until the first paint's
// update check and automatic login have finished against the stand-in (the caption names
// the stored user and no progress dialog is open). The settings name a user the stand-in
// knows; "n/a" when the client does not log in by itself within 15 s of its first start.
//
// Run alone: make bench BENCH=startup (which starts the stand-in, enters the account and
// the current version there), or inside tools/winenv:
//     startup_bench.exe PORT USER PASSWORD [ROUNDS]   (default 20)
#include "BenchSupport.h"
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "common/ScopedWin.h"
#include "settings/SettingsGroups.h"
#include "common/TaskFile.h"
#include "resources/resource.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const double kStartLimitMs = 30000;
const double kLoginLimitMs = 15000;

bool IsDialog(HWND hwnd) {
    wchar_t cls[16] = {};
    ::GetClassNameW(hwnd, cls, 16);
    return wcscmp(cls, L"#32770") == 0;
}

struct Windows {
    DWORD pid;
    HWND main = nullptr; // the visible dialog with the file count
    int others = 0;      // other visible dialogs of the process (progress, questions)
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM param) {
    auto* w = reinterpret_cast<Windows*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != w->pid || !::IsWindowVisible(hwnd) || !IsDialog(hwnd)) return TRUE;
    if (::GetDlgItem(hwnd, IDC_FILE_COUNT))
        w->main = hwnd;
    else
        ++w->others;
    return TRUE;
}

Windows Look(DWORD pid) {
    Windows w{pid};
    ::EnumWindows(&Collect, reinterpret_cast<LPARAM>(&w));
    return w;
}

BOOL CALLBACK ChildPainted(HWND child, LPARAM param) {
    if (::IsWindowVisible(child) && ::GetUpdateRect(child, nullptr, FALSE)) {
        *reinterpret_cast<bool*>(param) = false;
        return FALSE;
    }
    return TRUE;
}

// Nothing of the dialog waits for a paint: no update region on it or any visible control.
bool Painted(HWND dialog) {
    if (::GetUpdateRect(dialog, nullptr, FALSE)) return false;
    bool painted = true;
    ::EnumChildWindows(dialog, &ChildPainted, reinterpret_cast<LPARAM>(&painted));
    return painted;
}

struct StartTimes {
    double visible = -1;  // ms from CreateProcess to the visible dialog
    double painted = -1;  // ms from CreateProcess to the painted dialog
    double loggedIn = -1; // ms to the end of the automatic login; -1: not seen
};

// Starts `app`, times its dialog and, when `user` is given, its automatic login (waiting
// at most `loginLimit`); then closes it and waits for its end. False on failure.
bool TimeStart(const std::wstring& app, const std::wstring& commandLine, const std::wstring& user,
               double loginLimit, StartTimes& times) {
    uidriver::Process process;
    const double start = bench::NowMs();
    if (!process.Start(app, commandLine)) {
        std::fprintf(stderr, "cannot start %ls\n", app.c_str());
        return false;
    }
    HWND dialog = nullptr;
    while (times.painted < 0) {
        const double now = bench::NowMs();
        if (!dialog) {
            dialog = Look(process.Id()).main;
            if (dialog) times.visible = now - start;
        }
        if (dialog && Painted(dialog)) times.painted = now - start;
        if (now - start > kStartLimitMs || process.Wait(0)) {
            std::fprintf(stderr, "%ls showed no painted dialog\n", app.c_str());
            process.Kill();
            return false;
        }
        // Every look is a few round trips to the Wine server, which the starting program
        // needs too: a 10 ms poll keeps the measurement from slowing what it measures.
        if (times.painted < 0) ::Sleep(10);
    }
    if (!user.empty()) {
        const std::wstring ending = L"[" + user + L"]";
        for (;;) {
            const double now = bench::NowMs();
            wchar_t caption[256] = {};
            // Read from the window manager's copy: no message to a possibly busy thread.
            ::GetWindowTextW(dialog, caption, 256);
            const std::wstring text = caption;
            if (text.size() >= ending.size() &&
                text.compare(text.size() - ending.size(), ending.size(), ending) == 0 &&
                Look(process.Id()).others == 0) {
                times.loggedIn = now - start;
                break;
            }
            if (now - start > loginLimit) break;
            ::Sleep(5);
        }
    }
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    if (!process.Wait(30000)) {
        std::fprintf(stderr, "%ls did not end when closed\n", app.c_str());
        process.Kill();
        return false;
    }
    return true;
}

std::string Spread(const std::vector<double>& v, const char* unit) {
    return bench::Format("%.2f%s (IQR %.2f-%.2f)", bench::Quantile(v, 0.5), unit,
                         bench::Quantile(v, 0.25), bench::Quantile(v, 0.75));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: startup_bench PORT USER PASSWORD [ROUNDS]\n");
        return 2;
    }
    const std::wstring user = argv[2];
    const int rounds = argc > 4 ? std::max(1, _wtoi(argv[4])) : 20;
    // The settings file is read and written through MSXML, a COM server.
    lumexia::ScopedOleInit ole;
    bench::SettingsBackup backup;
    ::DeleteFileW((lumexia::DataFolder() + L"config2.txt").c_str());
    lumexia::ProxySettings proxy;
    proxy.full = L"127.0.0.1:" + std::wstring(argv[1]);
    proxy.isUse = true;
    lumexia::UserCredentials credentials;
    credentials.userName = user;
    credentials.password = argv[3];
    if (!lumexia::SaveProxySettings(proxy) || !lumexia::SaveCredentials(credentials)) {
        std::fprintf(stderr, "cannot write the settings file\n");
        return 1;
    }
    const std::wstring folder = uidriver::ProgramFolder();
    wchar_t other[MAX_PATH] = {};
    const std::wstring client =
        folder + (::GetEnvironmentVariableW(L"STARTUP_BENCH_PROGRAM", other, MAX_PATH)
                      ? other
                      : L"LumexiaClient.exe");
    const std::wstring bare = folder + L"bare_dialog.exe";
    // A task file naming one picture, as the extension writes it; the client deletes it
    // once read, so every start gets a new one.
    auto clientLine = [] {
        return L"\"" + lumexia::WriteNewTaskFile({L"C:\\pictures\\photo.jpg"}) + L"\"";
    };

    // Unmeasured starts: the first start of a program pays for the disk cache. The
    // client's first start also tells whether it logs in by itself.
    StartTimes warm;
    if (!TimeStart(bare, L"bare_dialog.exe", L"", 0, warm)) return 1;
    StartTimes first;
    if (!TimeStart(client, clientLine(), user, kLoginLimitMs, first)) return 1;
    const bool logsIn = first.loggedIn >= 0;
    if (!logsIn) std::printf("the client did not log in by itself: no login figure\n");

    std::vector<double> clientMs, bareMs, ratios, loginMs;
    for (int round = 0; round < rounds; ++round) {
        StartTimes c, b;
        for (int k = 0; k < 2; ++k) {
            const bool clientTurn = (k + round) % 2 == 0;
            const bool ok =
                clientTurn ? TimeStart(client, clientLine(), logsIn ? user : L"", kLoginLimitMs, c)
                           : TimeStart(bare, L"bare_dialog.exe", L"", 0, b);
            if (!ok) return 1;
        }
        clientMs.push_back(c.painted);
        bareMs.push_back(b.painted);
        ratios.push_back(c.painted / b.painted);
        if (logsIn && c.loggedIn >= 0) loginMs.push_back(c.loggedIn);
        std::printf("round %2d: client %7.1f ms (visible at %7.1f), bare %7.1f ms (%7.1f), "
                    "ratio %.2f",
                    round + 1, c.painted, c.visible, b.painted, b.visible, c.painted / b.painted);
        if (logsIn) std::printf(", logged in at %7.1f ms", c.loggedIn);
        std::printf("\n");
        std::fflush(stdout);
    }
    const double ratio = bench::Quantile(ratios, 0.5);
    std::printf("medians: client %.1f ms, bare %.1f ms\n", bench::Quantile(clientMs, 0.5),
                bench::Quantile(bareMs, 0.5));
    bench::Figure("start-up to painted dialog, client / bare",
                  Spread(ratios, "x") + bench::Format("; %.0f vs %.0f ms",
                                                      bench::Quantile(clientMs, 0.5),
                                                      bench::Quantile(bareMs, 0.5)),
                  "<= 1.10x", ratio <= 1.1 ? "yes" : "no");
    if (!logsIn)
        bench::Figure("start-up to update check + login done", "n/a (no automatic login)",
                      "(to watch)", "-");
    else if (loginMs.size() != ratios.size())
        bench::Figure("start-up to update check + login done",
                      bench::Format("login not seen in %d of %d starts",
                                    static_cast<int>(ratios.size() - loginMs.size()),
                                    static_cast<int>(ratios.size())),
                      "(to watch)", "-");
    else
        bench::Figure("start-up to update check + login done", Spread(loginMs, " ms"), "(to watch)",
                      "-");
    return 0;
}
