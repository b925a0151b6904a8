// How pictures join the job list while the main dialog is open: the hand-over message of
// a second client start, and files dropped onto the dialog.
#pragma once

#include "common/TaskFile.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace lumexia {

// Number of the registered hand-over message (registered on first use).
UINT HandOverMessage();

// Names shared between client instances of one logon.
extern const wchar_t kHandOverMessageName[];
extern const wchar_t kInstanceMutexName[];

// Command-line intake: element 0 of the split command line read as a task file. Returns
// the list, empty when the file is unusable.
JobList ReadCommandLineJobs(const wchar_t* commandLine);

// Hand-over: reads every waiting task file into `jobs`, then cleans the data folder.
void TakeHandOver(JobList& jobs);

// Drop: appends the dropped names to `jobs`, leaving out any a task-file record cannot
// carry (DroppedNames).
void TakeDroppedFiles(HDROP drop, JobList& jobs);

// "Количество изображений " + count.
std::wstring FileCountText(size_t count);

// Brings `dialog` to the foreground from a thread that may not own the foreground.
void BringToFront(HWND dialog);

} // namespace lumexia
