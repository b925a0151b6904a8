#include "startup/Startup.h"

#include "common/DataFolder.h"
#include "framework/Dialog.h"
#include "jobs/JobIntake.h"
#include "startup/RunSequence.h"
#include "common/ScopedWin.h"

namespace lumexia {

int RunClient() {
    HandOverMessage();

    // The mutex is owned by this thread until the process ends; a second start only
    // broadcasts and leaves its task file for the running instance to collect. A mutex
    // this process may not open (the first instance runs elevated) is just as much a
    // running instance: running as a first one would clean away its prepared files.
    UniqueHandle mutex(::CreateMutexW(nullptr, TRUE, kInstanceMutexName));
    const DWORD created = ::GetLastError();
    if (created == ERROR_ALREADY_EXISTS || (!mutex && created == ERROR_ACCESS_DENIED)) {
        ::PostMessageW(HWND_BROADCAST, HandOverMessage(), 1, 0);
    } else {
        InitDialogControls();
        ScopedOleInit ole;
        JobList jobs = ReadCommandLineJobs(::GetCommandLineW());
        CleanDataFolder();
        RunSequence(jobs);
        CleanDataFolder();
    }
    if (mutex) ::ReleaseMutex(mutex.Get());
    return 0;
}

} // namespace lumexia
