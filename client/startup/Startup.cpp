#include "startup/Startup.h"

#include "common/DataFolder.h"
#include "jobs/JobIntake.h"
#include "startup/RunSequence.h"
#include "common/ScopedWin.h"

#include <commctrl.h>

namespace lumexia {

int RunClient() {
    HandOverMessage();

    // The mutex is owned by this thread until the process ends; a second start only
    // broadcasts and leaves its task file for the running instance to collect.
    UniqueHandle mutex(::CreateMutexW(nullptr, TRUE, kInstanceMutexName));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::PostMessageW(HWND_BROADCAST, HandOverMessage(), 1, 0);
    } else {
        // The link class is named too: the main dialog's SysLink controls need it where
        // the common controls do not register every class on their own.
        INITCOMMONCONTROLSEX icc = {8, ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
        ::InitCommonControlsEx(&icc);
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
