// Tag auto-completion in the real main dialog (run in this process) against the stand-in,
// reached through the proxy setting as in the client.
//
//     tag_bench PORT [KEYSTROKES]
//
// 1. Queries per pause: scripted words typed one character every 50 ms, each followed by
//    a 400 ms pause; prints the tag queries the stand-in received for each word, against
//    the expectation (1 where the cache cannot answer, 0 where it can).
// 2. Keystroke to refreshed list: KEYSTROKES characters (typing "tag0" and erasing it
//    again), each sent to the edit and timed until the refresh it posted has run; first
//    with an empty cache, then with 5,000 tags in the cache. Prints median and 95th
//    percentile in milliseconds.
//
// The bench writes the proxy setting into the prefix's settings file and restores the
// file afterwards.
#include "common/DataFolder.h"
#include "common/Utf8.h"
#include "resources/resource.h"
#include "settings/SettingsGroups.h"
#include "ui/AutoComplete.h"
#include "ui/FormMain.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace lumexia;

namespace {

int g_port = 0;

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / frequency;
}

// One plain exchange with the stand-in's control paths (no proxy).
std::string Control(const wchar_t* verb, const std::wstring& path, const std::string& form) {
    std::string answer;
    HINTERNET session = ::WinHttpOpen(L"tag-bench", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection =
        session ? ::WinHttpConnect(session, L"127.0.0.1", static_cast<INTERNET_PORT>(g_port), 0)
                : nullptr;
    HINTERNET request =
        connection ? ::WinHttpOpenRequest(connection, verb, path.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                   : nullptr;
    const wchar_t* type = L"Content-Type: application/x-www-form-urlencoded";
    if (request &&
        ::WinHttpSendRequest(request, type, static_cast<DWORD>(-1), const_cast<char*>(form.data()),
                             static_cast<DWORD>(form.size()), static_cast<DWORD>(form.size()), 0) &&
        ::WinHttpReceiveResponse(request, nullptr)) {
        char chunk[4096];
        DWORD got = 0;
        while (::WinHttpReadData(request, chunk, sizeof chunk, &got) && got > 0)
            answer.append(chunk, got);
    }
    if (request) ::WinHttpCloseHandle(request);
    if (connection) ::WinHttpCloseHandle(connection);
    if (session) ::WinHttpCloseHandle(session);
    return answer;
}

int TagQueries() {
    return std::atoi(Control(L"GET", L"/__journal/count/api3/rest/getimgtag/substr", "").c_str());
}

// The dialog, plus a marker message: handled after everything posted before it.
class BenchMain : public FormMain {
public:
    using FormMain::FormMain;
    static constexpr UINT kMarker = WM_APP + 78;
    HANDLE marked = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);

protected:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kMarker) {
            ::SetEvent(marked);
            return TRUE;
        }
        return FormMain::OnMessage(message, wParam, lParam);
    }
};

void TypeWord(HWND edit, const std::wstring& word) {
    for (wchar_t c : word) {
        ::PostMessageW(edit, WM_CHAR, c, 1);
        ::Sleep(50);
    }
}

struct Pause {
    const wchar_t* word;
    int expected;
    const char* why;
};

void QueriesPerPause(HWND edit) {
    // The service knows 10 tags beginning with «мор» and 80 with «лес».
    const Pause script[] = {
        {L"мор", 1, "new prefix"},   {L"море", 0, "prefix answered with fewer than 50"},
        {L"лес", 1, "new prefix"},   {L"лесо", 1, "prefix answered with a full page of 50"},
        {L"мор", 0, "asked before"}, {L"лес", 0, "the cache lists 50 or more"},
    };
    std::printf("queries per pause (50 ms between characters, 400 ms pause after a word)\n");
    bool first = true;
    for (const Pause& p : script) {
        if (!first) TypeWord(edit, L", ");
        first = false;
        const int before = TagQueries();
        TypeWord(edit, p.word);
        ::Sleep(400);
        const int queries = TagQueries() - before;
        // Padded by characters: the console takes UTF-8, whose bytes are no width.
        const std::string pad(10 - std::min<size_t>(10, std::wcslen(p.word)), ' ');
        std::printf("  %s%s queries %d, goal %d (%s)%s\n", ToUtf8(p.word).c_str(), pad.c_str(),
                    queries, p.expected, p.why, queries == p.expected ? "" : "  <-- differs");
    }
}

std::vector<double> TimeKeystrokes(BenchMain& form, HWND edit, int keystrokes) {
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    const std::wstring forward = L"tag0";
    std::vector<double> times;
    for (int i = 0; i < keystrokes; ++i) {
        const int step = i % 8;
        const wchar_t c = step < 4 ? forward[static_cast<size_t>(step)] : L'\b';
        const double start = Now();
        ::SendMessageW(edit, WM_CHAR, c, 1);
        ::PostMessageW(form.Handle(), BenchMain::kMarker, 0, 0);
        ::WaitForSingleObject(form.marked, 10000);
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    return times;
}

void PrintTimes(const char* label, const std::vector<double>& sorted) {
    if (sorted.empty()) return;
    std::printf("  %-26s median %.3f ms, p95 %.3f ms, max %.3f ms (%zu keystrokes)\n", label,
                sorted[sorted.size() / 2], sorted[sorted.size() * 95 / 100], sorted.back(),
                sorted.size());
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf("usage: tag_bench PORT [KEYSTROKES]\n");
        return 2;
    }
    g_port = _wtoi(argv[1]);
    const int keystrokes = argc > 2 ? _wtoi(argv[2]) : 400;
    if (FAILED(::OleInitialize(nullptr))) return 1;
    Control(L"POST", L"/__tags", "generate=10&stem=%D0%BC%D0%BE%D1%80");          // мор
    Control(L"POST", L"/__tags", "append=1&generate=80&stem=%D0%BB%D0%B5%D1%81"); // лес

    const std::wstring settings = DataFolder() + L"config2.txt";
    std::string saved;
    bool hadSettings = false;
    {
        std::ifstream in(settings.c_str(), std::ios::binary);
        if (in) {
            hadSettings = true;
            saved.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    ProxySettings proxy;
    proxy.full = L"127.0.0.1:" + std::to_wstring(g_port);
    proxy.isUse = true;
    SaveProxySettings(proxy);

    JobList jobs;
    BenchMain form(&jobs);
    std::thread driver([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 500 && !(dialog = form.Handle()); ++i)
            ::Sleep(20);
        while (dialog && !::IsWindowVisible(dialog))
            ::Sleep(20);
        ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        HWND edit = ::GetDlgItem(dialog, IDC_TAGS);
        QueriesPerPause(edit);

        std::string asked = Control(L"GET", L"/__tags/asked", "");
        std::replace(asked.begin(), asked.end(), '\n', ' ');
        std::printf("  tokens the service was asked for: %s\n", asked.c_str());
        std::printf("keystroke to refreshed list\n");
        PrintTimes("empty cache:", TimeKeystrokes(form, edit, keystrokes));
        // The worker may still be deciding on the last request; the cache changes only
        // while it waits in a delivery, so let it settle first.
        ::Sleep(1000);
        TagItems items;
        for (int i = 0; i < 5000; ++i) {
            wchar_t text[16];
            std::swprintf(text, 16, L"tag%05d", i);
            items.push_back({text, text});
        }
        const std::wstring token = L"tag";
        ::SendMessageW(edit, WM_AC_RESULTS, reinterpret_cast<WPARAM>(&token),
                       reinterpret_cast<LPARAM>(&items));
        PrintTimes("5,000 tags in the cache:", TimeKeystrokes(form, edit, keystrokes));
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    form.Run(nullptr);
    driver.join();

    if (hadSettings) {
        std::ofstream out(settings.c_str(), std::ios::binary | std::ios::trunc);
        out << saved;
    } else {
        ::DeleteFileW(settings.c_str());
    }
    ::OleUninitialize();
    return 0;
}
