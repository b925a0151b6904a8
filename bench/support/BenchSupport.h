// Helpers shared by the benchmark programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// Milliseconds on the performance counter.
double NowMs();

// A photo-like 4000 x 3000 JPEG (gradients under sensor-like noise), so that it is about
// as large as a camera's and decodes at a photo's cost. Needs GDI+ started.
bool MakeCameraPicture(const std::wstring& path, int seed);

// `count` camera pictures in `folder` (created when missing): `distinct` of them made by
// MakeCameraPicture and kept between runs, the rest hard links to those (a copy where a
// link cannot be made). Needs GDI+ started. False with a message on stderr on failure.
bool CameraPictures(const std::wstring& folder, int count, int distinct,
                    std::vector<std::wstring>& paths);

// Peaks of a process's memory, sampled from outside. Under Wine, GetProcessMemoryInfo
// reads the Linux process's /proc status: the working-set peak is the real high-water
// mark (VmHWM), but "PeakPagefileUsage" is only the current anonymous resident size, so
// the commit peak is the largest of the samples.
struct MemoryPeaks {
    double commitMb = 0;
    double workingSetMb = 0;
    int samples = 0;
};
// Takes one sample of `process` (opened with query and read rights) into `peaks`.
void SampleMemory(HANDLE process, MemoryPeaks& peaks);

// The median and the quartiles of `values` (linear interpolation); 0 for an empty list.
double Quantile(std::vector<double> values, double q);

// One row of the benchmark table, on stdout as
// "figure<TAB>NAME<TAB>VALUE<TAB>GOAL<TAB>WITHIN" (WITHIN: yes, no or "-" when the figure
// has no goal).
void Figure(const std::string& name, const std::string& value, const std::string& goal,
            const char* within);
std::string Format(const char* format, ...);

// Keeps the user's settings file of this prefix and puts it back when the run ends, so a
// benchmark that drives the client leaves the options and login as it found them.
class SettingsBackup {
public:
    SettingsBackup();
    ~SettingsBackup();
    SettingsBackup(const SettingsBackup&) = delete;
    SettingsBackup& operator=(const SettingsBackup&) = delete;

private:
    std::wstring path_, copy_;
    bool had_ = false;
};

} // namespace bench
