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
    // broadcasts and leaves its task file for the running instance to collect.
    UniqueHandle mutex(::CreateMutexW(nullptr, TRUE, kInstanceMutexName));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
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
