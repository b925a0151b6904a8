// Memory over a batch: whether the client's peak memory grows with the number of pictures.
//
// The real LumexiaClient.exe is started as the Explorer extension starts it (a task file
// naming the pictures), its options dialog is filled in and its upload button pressed,
// and it processes and sends every picture to the stand-in service; its clipboard notice
// is acknowledged at the end. This is done for a batch of 10 and then of 200 camera-sized
// (4000 x 3000) JPEGs. Meanwhile the client process is sampled every 20 ms from outside:
// peak commit (private bytes) and peak working set.
//
// (bench::SampleMemory says how the peaks are read under Wine.)
//
// Goal: the 200-picture peaks within 5% of the 10-picture peaks (every picture is
// prepared, sent and released in turn, so nothing should grow with the batch). Also
// reported: the wall time of the 200-picture processing phase (from the upload click to
// the end of the processing progress dialog), a figure to watch.
//
// Run alone: make bench BENCH=memory   (which starts the stand-in and passes its port), or
// inside tools/winenv: memory_bench.exe PORT PICTURE_FOLDER [COUNT...]   (default 10 200)
#include "BenchSupport.h"
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "common/ScopedWin.h"
#include "imaging/GdiPlus.h"
#include "settings/SettingsGroups.h"
#include "common/TaskFile.h"
#include "resources/resource.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const DWORD kDialogWait = 60000;

struct Peaks : bench::MemoryPeaks {
    double processingMs = 0; // upload click to the end of the processing dialog
    double totalMs = 0;      // upload click to the clipboard notice
};

void Sample(HANDLE process, Peaks& peaks) {
    bench::SampleMemory(process, peaks);
}

// Lines of the clipboard text that hold an address: one code per accepted picture.
size_t CodeLines(const std::wstring& text) {
    size_t lines = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        if (text.find(L"http://", start) < end) ++lines;
        start = end + 1;
    }
    return lines;
}

// One batch through the real client, as a user runs it. False with a message on failure.
bool RunBatch(const std::vector<std::wstring>& pictures, Peaks& peaks) {
    const std::wstring task = lumexia::WriteNewTaskFile(pictures);
    uidriver::Process client;
    if (task.empty() ||
        !client.Start(uidriver::ProgramFolder() + L"LumexiaClient.exe", L"\"" + task + L"\"")) {
        std::fprintf(stderr, "the client did not start\n");
        return false;
    }
    HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, client.Id(), kDialogWait);
    if (!dialog) {
        std::fprintf(stderr, "no options dialog\n");
        client.Kill();
        return false;
    }
    // A click posted before the first paint would be handled before it (painting waits for
    // an empty queue), which no user can do.
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const std::wstring count = uidriver::ControlText(dialog, IDC_FILE_COUNT);
    if (count != L"Количество изображений " + std::to_wstring(pictures.size())) {
        std::fprintf(stderr, "the dialog shows another count\n");
        client.Kill();
        return false;
    }
    uidriver::SetControlText(dialog, IDC_COMMENT, L"Пакет для замера памяти");
    Sample(client.Handle(), peaks);

    const double click = bench::NowMs();
    uidriver::Click(dialog, IDC_UPLOAD);
    // The per-picture budget is generous: a shared machine may run the pictures slowly.
    const double limit = 60000.0 + 10000.0 * static_cast<double>(pictures.size());
    HWND processing = nullptr, notice = nullptr;
    bool processingEnded = false;
    while (!notice) {
        Sample(client.Handle(), peaks);
        const double now = bench::NowMs();
        if (!processing) processing = uidriver::WaitForDialog(IDC_SERVER_PROGRESS, client.Id(), 0);
        if (processing && !processingEnded && !::IsWindow(processing)) {
            processingEnded = true;
            peaks.processingMs = now - click;
        }
        notice = uidriver::WaitForDialog(IDC_CLIP_OK, client.Id(), 0);
        if (now - click > limit || client.Wait(0)) {
            std::fprintf(stderr, "no clipboard notice (a question or an early end)\n");
            client.Kill();
            return false;
        }
        if (!notice) ::Sleep(20);
    }
    peaks.totalMs = bench::NowMs() - click;
    Sample(client.Handle(), peaks);
    uidriver::Click(notice, IDC_CLIP_OK);
    DWORD code = 1;
    if (!client.Wait(kDialogWait, &code) || code != 0) {
        std::fprintf(stderr, "the client did not end cleanly\n");
        client.Kill();
        return false;
    }
    std::wstring clipboard;
    uidriver::ReadClipboard(clipboard);
    if (CodeLines(clipboard) != pictures.size()) {
        std::fprintf(stderr, "%u codes on the clipboard for %u pictures\n",
                     static_cast<unsigned>(CodeLines(clipboard)),
                     static_cast<unsigned>(pictures.size()));
        return false;
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: memory_bench PORT PICTURE_FOLDER [COUNT...]\n");
        return 2;
    }
    std::vector<int> counts;
    for (int i = 3; i < argc; ++i)
        counts.push_back(std::max(1, _wtoi(argv[i])));
    if (counts.empty()) counts = {10, 200};
    const int most = *std::max_element(counts.begin(), counts.end());

    std::vector<std::wstring> pictures;
    {
        lumexia::GdiplusSession gdiplus;
        const double start = bench::NowMs();
        if (!gdiplus.Ok() || !bench::CameraPictures(argv[2], most, 10, pictures)) return 1;
        std::printf("%d camera pictures ready in %.0f ms\n", most, bench::NowMs() - start);
    }

    // The settings file is read and written through MSXML, a COM server.
    lumexia::ScopedOleInit ole;
    bench::SettingsBackup backup;
    ::DeleteFileW((lumexia::DataFolder() + L"config2.txt").c_str());
    lumexia::ProxySettings proxy;
    proxy.full = L"127.0.0.1:" + std::wstring(argv[1]);
    proxy.isUse = true;
    if (!lumexia::SaveProxySettings(proxy)) {
        std::fprintf(stderr, "cannot write the settings file\n");
        return 1;
    }

    std::vector<Peaks> results;
    for (int count : counts) {
        Peaks peaks;
        const std::vector<std::wstring> batch(pictures.begin(), pictures.begin() + count);
        if (!RunBatch(batch, peaks)) return 1;
        std::printf("%4d pictures: peak commit %7.1f MB, peak working set %7.1f MB, "
                    "processing %6.0f ms, whole batch %6.0f ms (%d samples)\n",
                    count, peaks.commitMb, peaks.workingSetMb, peaks.processingMs, peaks.totalMs,
                    peaks.samples);
        std::fflush(stdout);
        results.push_back(peaks);
    }
    if (results.size() >= 2) {
        const Peaks& small = results.front();
        const Peaks& large = results.back();
        const int n0 = counts.front(), n1 = counts.back();
        const double commitGrowth = large.commitMb / small.commitMb - 1.0;
        const double setGrowth = large.workingSetMb / small.workingSetMb - 1.0;
        bench::Figure(bench::Format("peak commit, %d vs %d pictures", n1, n0),
                      bench::Format("%.1f / %.1f MB (%+.1f%%)", large.commitMb, small.commitMb,
                                    commitGrowth * 100),
                      "<= +5%", commitGrowth <= 0.05 ? "yes" : "no");
        bench::Figure(bench::Format("peak working set, %d vs %d pictures", n1, n0),
                      bench::Format("%.1f / %.1f MB (%+.1f%%)", large.workingSetMb,
                                    small.workingSetMb, setGrowth * 100),
                      "<= +5%", setGrowth <= 0.05 ? "yes" : "no");
        bench::Figure(bench::Format("processing phase, %d pictures (wall)", n1),
                      bench::Format("%.1f s (%.0f ms a picture)", large.processingMs / 1000,
                                    large.processingMs / n1),
                      "(to watch)", "-");
    }
    return 0;
}
