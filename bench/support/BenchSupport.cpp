#include "BenchSupport.h"

#include "common/DataFolder.h"
#include "imaging/GdiPlus.h"
#include "imaging/ImagePipeline.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

using namespace Gdiplus;
using namespace lumexia;

namespace bench {

double NowMs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool MakeCameraPicture(const std::wstring& path, int seed) {
    const int w = 4000, h = 3000;
    GpBitmapPtr bitmap;
    if (gp::GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, bitmap.Put()) != Ok)
        return false;
    Rect all(0, 0, w, h);
    BitmapData data;
    if (gp::GdipBitmapLockBits(bitmap.Get(), &all, ImageLockModeWrite, PixelFormat32bppARGB,
                               &data) != Ok)
        return false;
    UINT32 noise = static_cast<UINT32>(seed) * 2654435761u + 1;
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<UINT32*>(static_cast<BYTE*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < w; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const UINT32 n = noise >> 27; // 0..31
            const UINT32 r = ((x * 200 / w + seed * 37) & 0xFF) * 7 / 8 + n;
            const UINT32 g = ((y * 200 / h + seed * 11) & 0xFF) * 7 / 8 + (n ^ 9);
            const UINT32 b = (((x ^ y) + seed) & 0x3F) + 96 + (n ^ 21);
            row[x] = 0xFF000000u | (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
        }
    }
    gp::GdipBitmapUnlockBits(bitmap.Get(), &data);
    CLSID jpeg;
    return FindEncoder(L"image/jpeg", jpeg) &&
           gp::GdipSaveImageToFile(bitmap.Get(), path.c_str(), &jpeg, nullptr) == Ok;
}

namespace {

bool NonEmptyFile(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    return ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a) &&
           !(a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (a.nFileSizeLow || a.nFileSizeHigh);
}

} // namespace

bool CameraPictures(const std::wstring& folder, int count, int distinct,
                    std::vector<std::wstring>& paths) {
    ::CreateDirectoryW(folder.c_str(), nullptr);
    paths.clear();
    for (int i = 0; i < count; ++i) {
        const int seed = i % std::max(1, distinct);
        const std::wstring original = folder + L"\\camera" + std::to_wstring(seed) + L".jpg";
        if (i < distinct) {
            // A picture cut short by an interrupted run would fail to decode: it is made
            // again unless it is whole (a temporary name, renamed once saved).
            if (!NonEmptyFile(original)) {
                const std::wstring partial = original + L".part";
                if (!MakeCameraPicture(partial, seed) ||
                    !::MoveFileExW(partial.c_str(), original.c_str(), MOVEFILE_REPLACE_EXISTING)) {
                    std::fprintf(stderr, "cannot make picture %d\n", seed);
                    return false;
                }
            }
            paths.push_back(original);
            continue;
        }
        const std::wstring link = folder + L"\\batch" + std::to_wstring(i) + L".jpg";
        if (!NonEmptyFile(link) && !::CreateHardLinkW(link.c_str(), original.c_str(), nullptr) &&
            !::CopyFileW(original.c_str(), link.c_str(), FALSE)) {
            std::fprintf(stderr, "cannot place picture %d\n", i);
            return false;
        }
        paths.push_back(link);
    }
    return true;
}

double Quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const size_t low = static_cast<size_t>(at);
    const size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

void Figure(const std::string& name, const std::string& value, const std::string& goal,
            const char* within) {
    std::printf("figure\t%s\t%s\t%s\t%s\n", name.c_str(), value.c_str(), goal.c_str(), within);
    std::fflush(stdout);
}

std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

void SampleMemory(HANDLE process, MemoryPeaks& peaks) {
    PROCESS_MEMORY_COUNTERS_EX c = {};
    c.cb = sizeof c;
    if (!::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof c))
        return;
    const double mb = 1024.0 * 1024.0;
    const SIZE_T commit = std::max({c.PeakPagefileUsage, c.PagefileUsage, c.PrivateUsage});
    const SIZE_T workingSet = std::max(c.PeakWorkingSetSize, c.WorkingSetSize);
    if (commit == 0 && workingSet == 0) return; // the process has just ended
    peaks.commitMb = std::max(peaks.commitMb, static_cast<double>(commit) / mb);
    peaks.workingSetMb = std::max(peaks.workingSetMb, static_cast<double>(workingSet) / mb);
    ++peaks.samples;
}

SettingsBackup::SettingsBackup()
    : path_(lumexia::DataFolder() + L"config2.txt"), copy_(path_ + L".bench") {
    had_ = ::CopyFileW(path_.c_str(), copy_.c_str(), FALSE) != FALSE;
}

SettingsBackup::~SettingsBackup() {
    if (had_)
        ::MoveFileExW(copy_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
    else
        ::DeleteFileW(path_.c_str());
}

} // namespace bench
