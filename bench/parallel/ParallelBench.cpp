// The processing phase on every core against one worker, side by side in one run.
//
// Each batch runs in a child process of this program (so each has its own memory peaks),
// which drives the client's own phases through its core library exactly as the run
// sequence does: GDI+ started, the processing phase in a Form4Server (real progress
// dialog, real GDI+), GDI+ shut down, then the sending phase in a second Form4Server to
// the stand-in service. The only difference between the two ways is the context's
// pictureWorkers: 1, or 0 (the client's own choice, one per core within its limits).
// The client program itself takes no options, so it cannot be limited from outside.
// The parent samples the child's memory every 20 ms (bench::SampleMemory).
//
// Batches: camera-sized (4000 x 3000) JPEGs from bench::CameraPictures, scaled to 640,
// first 10 pictures then 200 (default), each count one worker then all workers.
// Goals, on a 2-core machine: the parallel processing phase of the largest batch at most
// 0.60 of the one-worker time; peak commit and peak working set with all workers at most
// 1.8 times those with one; with all workers the largest batch's peaks within 5% of the
// smallest's. Reported to watch: the whole road (processing plus sending) both ways.
// The machine is shared: the load average before and after is printed with the figures.
//
// Run alone: make bench BENCH=parallel (which starts the stand-in and passes its port), or
// inside tools/winenv: parallel_bench.exe PORT PICTURE_FOLDER [COUNT...]
#include "BenchSupport.h"
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "framework/Dialog.h"
#include "imaging/GdiPlus.h"
#include "operations/Form4Server.h"
#include "operations/PictureWorkers.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

using namespace lumexia;

namespace {

struct Run {
    bench::MemoryPeaks peaks;
    double processingMs = 0;
    double sendingMs = 0;
};

std::wstring Lower(std::wstring text) {
    if (!text.empty()) ::CharLowerW(&text[0]);
    return text;
}

// The child: one batch through both phases; writes "PROCESSING_MS SENDING_MS" to `result`.
int RunChild(const std::wstring& port, const std::wstring& folder, size_t workers, int count,
             const std::wstring& result) {
    std::vector<std::wstring> pictures;
    {
        GdiplusSession gdiplus; // the pictures exist already; this only lists them
        if (!gdiplus.Ok() || !bench::CameraPictures(folder, count, 10, pictures)) return 1;
    }
    if (!InitDialogControls()) return 1;
    StartGdiplus();
    Form4Server processing(kOperationProcessing);
    processing.Context().jobs = pictures;
    processing.Context().pictureWorkers = workers;
    double start = bench::NowMs();
    processing.Run(nullptr);
    const double processingMs = bench::NowMs() - start;
    ShutdownGdiplus();
    if (!processing.Success() || processing.Context().prepared.size() != pictures.size()) {
        std::fprintf(stderr, "the processing phase failed\n");
        return 1;
    }

    Form4Server sending(kOperationSending);
    OperationContext& in = sending.Context();
    in.clientId = Lower(NewHexId());
    in.sessionId = Lower(NewHexId());
    in.useProxy = true;
    in.proxy.isUse = true;
    in.proxy.full = L"127.0.0.1:" + port;
    in.prepared = std::move(processing.Context().prepared);
    start = bench::NowMs();
    sending.Run(nullptr);
    const double sendingMs = bench::NowMs() - start;
    for (const PreparedImage& p : in.prepared)
        ::DeleteFileW(p.preparedPath.c_str());
    if (!sending.Success() || in.uploaded.size() != pictures.size()) {
        std::fprintf(stderr, "the sending phase failed: %ls\n", sending.Outcome().c_str());
        return 1;
    }
    FILE* out = _wfopen(result.c_str(), L"w");
    if (!out) return 1;
    std::fprintf(out, "%.1f %.1f\n", processingMs, sendingMs);
    std::fclose(out);
    return 0;
}

// Runs one child and samples it until it ends. False with a message on failure.
bool RunBatch(const std::wstring& port, const std::wstring& folder, size_t workers, int count,
              Run& run) {
    const std::wstring result = DataFolder() + L"parallel-bench.txt";
    ::DeleteFileW(result.c_str());
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring line = L"\"" + std::wstring(self) + L"\" --child " + port + L" \"" + folder +
                              L"\" " + std::to_wstring(workers) + L" " + std::to_wstring(count) +
                              L" \"" + result + L"\"";
    uidriver::Process child;
    if (!child.Start(self, line)) {
        std::fprintf(stderr, "the child did not start\n");
        return false;
    }
    const double limit = 60000.0 + 10000.0 * count;
    const double start = bench::NowMs();
    DWORD code = 1;
    while (!child.Wait(0, &code)) {
        bench::SampleMemory(child.Handle(), run.peaks);
        if (bench::NowMs() - start > limit) {
            std::fprintf(stderr, "the batch did not end in time\n");
            child.Kill();
            return false;
        }
        ::Sleep(20);
    }
    FILE* in = _wfopen(result.c_str(), L"r");
    bool ok = code == 0 && in && std::fscanf(in, "%lf %lf", &run.processingMs, &run.sendingMs) == 2;
    if (in) std::fclose(in);
    ::DeleteFileW(result.c_str());
    if (!ok) std::fprintf(stderr, "the batch failed (exit %lu)\n", code);
    return ok;
}

std::string Load() {
    FILE* f = std::fopen("/proc/loadavg", "r"); // Wine maps the Unix root as Z:
    if (!f) f = std::fopen("Z:\\proc\\loadavg", "r");
    double a = 0, b = 0, c = 0;
    if (!f || std::fscanf(f, "%lf %lf %lf", &a, &b, &c) != 3) {
        if (f) std::fclose(f);
        return "unknown";
    }
    std::fclose(f);
    return bench::Format("%.2f %.2f %.2f", a, b, c);
}

void Figures(const Run& one, const Run& all, const Run& allSmall, int n0, int n1, size_t workers) {
    const double speed = all.processingMs / one.processingMs;
    bench::Figure(
        bench::Format("processing %d pictures, %u workers / 1", n1, static_cast<unsigned>(workers)),
        bench::Format("%.3f (%.1f vs %.1f s)", speed, all.processingMs / 1000,
                      one.processingMs / 1000),
        "<= 0.60", speed <= 0.60 ? "yes" : "no");
    const double commit = all.peaks.commitMb / one.peaks.commitMb;
    const double set = all.peaks.workingSetMb / one.peaks.workingSetMb;
    bench::Figure(
        bench::Format("peak commit, %u workers / 1", static_cast<unsigned>(workers)),
        bench::Format("%.2f (%.1f vs %.1f MB)", commit, all.peaks.commitMb, one.peaks.commitMb),
        "<= 1.8", commit <= 1.8 ? "yes" : "no");
    bench::Figure(bench::Format("peak working set, %u workers / 1", static_cast<unsigned>(workers)),
                  bench::Format("%.2f (%.1f vs %.1f MB)", set, all.peaks.workingSetMb,
                                one.peaks.workingSetMb),
                  "<= 1.8", set <= 1.8 ? "yes" : "no");
    const double commitGrowth = all.peaks.commitMb / allSmall.peaks.commitMb - 1.0;
    const double setGrowth = all.peaks.workingSetMb / allSmall.peaks.workingSetMb - 1.0;
    bench::Figure(bench::Format("peak commit with %u workers, %d vs %d pictures",
                                static_cast<unsigned>(workers), n1, n0),
                  bench::Format("%+.1f%%", commitGrowth * 100), "<= +5%",
                  commitGrowth <= 0.05 ? "yes" : "no");
    bench::Figure(bench::Format("peak working set with %u workers, %d vs %d pictures",
                                static_cast<unsigned>(workers), n1, n0),
                  bench::Format("%+.1f%%", setGrowth * 100), "<= +5%",
                  setGrowth <= 0.05 ? "yes" : "no");
    const double roadOne = one.processingMs + one.sendingMs;
    const double roadAll = all.processingMs + all.sendingMs;
    bench::Figure(bench::Format("whole road %d pictures (processing + sending)", n1),
                  bench::Format("%.1f s with %u workers, %.1f s with 1 (%.3f)", roadAll / 1000,
                                static_cast<unsigned>(workers), roadOne / 1000, roadAll / roadOne),
                  "(to watch)", "-");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 7 && std::wcscmp(argv[1], L"--child") == 0)
        return RunChild(argv[2], argv[3], static_cast<size_t>(_wtoi(argv[4])), _wtoi(argv[5]),
                        argv[6]);
    if (argc < 3) {
        std::fprintf(stderr, "usage: parallel_bench PORT PICTURE_FOLDER [COUNT...]\n");
        return 2;
    }
    std::vector<int> counts;
    for (int i = 3; i < argc; ++i)
        counts.push_back(std::max(1, _wtoi(argv[i])));
    if (counts.empty()) counts = {10, 200};
    const int most = *std::max_element(counts.begin(), counts.end());
    {
        GdiplusSession gdiplus;
        std::vector<std::wstring> pictures;
        const double start = bench::NowMs();
        if (!gdiplus.Ok() || !bench::CameraPictures(argv[2], most, 10, pictures)) return 1;
        std::printf("%d camera pictures ready in %.0f ms\n", most, bench::NowMs() - start);
        std::fflush(stdout);
    }
    const size_t workers = MachinePictureWorkers();
    std::printf("load before: %s; %u workers on this machine\n", Load().c_str(),
                static_cast<unsigned>(workers));
    std::fflush(stdout);
    std::vector<Run> ones, alls;
    for (int count : counts) {
        for (size_t limit : {size_t(1), size_t(0)}) {
            Run run;
            if (!RunBatch(argv[1], argv[2], limit, count, run)) return 1;
            std::printf("%4d pictures, %u worker(s): processing %7.0f ms, sending %7.0f ms, "
                        "peak commit %6.1f MB, peak working set %6.1f MB (%d samples)\n",
                        count, static_cast<unsigned>(limit ? limit : workers), run.processingMs,
                        run.sendingMs, run.peaks.commitMb, run.peaks.workingSetMb,
                        run.peaks.samples);
            std::fflush(stdout);
            (limit ? ones : alls).push_back(run);
        }
    }
    std::printf("load after: %s\n", Load().c_str());
    Figures(ones.back(), alls.back(), alls.front(), counts.front(), counts.back(), workers);
    return 0;
}
