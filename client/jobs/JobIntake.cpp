#include "jobs/JobIntake.h"

#include "common/DataFolder.h"
#include "common/DropFiles.h"
#include "common/ScopedWin.h"

#include <shellapi.h>

namespace lumexia {

const wchar_t kHandOverMessageName[] = L"{3706F75F56A94a1291C4398A64F88A66}";
const wchar_t kInstanceMutexName[] = L"{533C913CEA2C46a2A98CA9090AB259BA}";

UINT HandOverMessage() {
    static const UINT message = ::RegisterWindowMessageW(kHandOverMessageName);
    return message;
}

JobList ReadCommandLineJobs(const wchar_t* commandLine) {
    JobList jobs;
    int count = 0;
    UniqueLocal args(reinterpret_cast<HLOCAL>(::CommandLineToArgvW(commandLine, &count)));
    if (!args || count < 1) return jobs;
    const wchar_t* const* argv = reinterpret_cast<const wchar_t* const*>(args.Get());
    if (!ReadTaskFile(argv[0], jobs)) jobs.clear();
    return jobs;
}

void TakeHandOver(JobList& jobs) {
    CollectTaskFiles(jobs);
    CleanDataFolder();
}

void TakeDroppedFiles(HDROP drop, JobList& jobs) {
    // An HDROP is the global block of the DROPFILES list; read in one pass.
    const JobList names = DroppedNames(reinterpret_cast<HGLOBAL>(drop));
    jobs.insert(jobs.end(), names.begin(), names.end());
}

std::wstring FileCountText(size_t count) {
    return L"Количество изображений " + std::to_wstring(count);
}

void BringToFront(HWND dialog) {
    const DWORD own = ::GetCurrentThreadId();
    const DWORD foreground = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    const bool attach = foreground != 0 && foreground != own;
    if (attach) ::AttachThreadInput(own, foreground, TRUE);
    ::SetForegroundWindow(dialog);
    if (attach) ::AttachThreadInput(own, foreground, FALSE);
}

} // namespace lumexia
