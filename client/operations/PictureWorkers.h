// The pictures of one processing phase prepared on several threads, each with its own
// GDI+ objects, a few pictures ahead of the one the phase is reporting; their outcomes
// are handed back strictly in job-list order, so the phase reports, asks and lists as if
// one thread had prepared them in turn.
//
// Threads and lifetimes: the workers read the job list, the settings and the cancel flag
// they were given by reference and write only into this object. The destructor stops
// them at their next picture boundary and waits until each has ended, so whatever they
// were given (the operation's context, which the operation thread keeps alive even when
// its dialog gave up on it) outlives them, and nothing they do after the phase has
// returned reaches anything. A picture in flight when the phase stops is finished and
// dropped: its file stays in the data folder, named in no list, for the clean-up.
//
// Memory: a worker starts picture i only while i < (the picture being reported) +
// Window(), so at most one decoded picture per worker is alive however long the batch.
#pragma once

#include "imaging/PreparedImage.h"
#include "settings/SettingsRecords.h"
#include "common/ScopedWin.h"
#include "common/TaskFile.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace lumexia {

// One picture's result, as PrepareImage left it.
struct PictureOutcome {
    PreparedImage image; // both paths always set; reported values when ok
    std::wstring error;  // the message for the user when not ok (may be empty)
    bool ok = false;
    bool outOfMemory = false; // a GDI+ step ran out of memory, or an allocation failed
    bool overlapped = false;  // another picture was being prepared meanwhile
    bool threw = false;       // something other than an allocation threw
};

// As many workers as the machine has cores, at most 4; at most 2 in a 32-bit process,
// whose address space holds few decoded camera pictures at once.
size_t MachinePictureWorkers();

// Prepares `source` on the calling thread into `out.image.preparedPath` (a fresh name in
// the data folder when empty), holding a GdiplusUse; without GDI+ running the picture
// fails with an empty text. Never throws.
void PreparePicture(const UploadSettings& settings, const std::wstring& source,
                    PictureOutcome& out) noexcept;

class PictureWorkers {
public:
    // Starts `workers` threads (at least one is used; with none started, Take prepares
    // on the caller's thread). Once `cancel` is set, workers start no picture but the one
    // the phase waits for.
    PictureWorkers(const JobList& jobs, const UploadSettings& settings, size_t workers,
                   const std::atomic<bool>& cancel);
    ~PictureWorkers();
    PictureWorkers(const PictureWorkers&) = delete;
    PictureWorkers& operator=(const PictureWorkers&) = delete;

    // The outcome of picture `index`, which must be the next in order, waiting until it
    // is prepared; it is prepared even after a Cancel, like the picture in hand.
    void Take(size_t index, PictureOutcome& out);
    // Prepares the picture again on the caller's thread once no worker is busy, and
    // lets the workers go on afterwards.
    void RetryAlone(size_t index, PictureOutcome& out);

    size_t Workers() const { return threads_.size(); }
    size_t Window() const { return window_; }

private:
    enum class State { kWaiting, kRunning, kDone };
    struct Slot {
        State state = State::kWaiting;
        PictureOutcome outcome;
    };

    static DWORD WINAPI Routine(void* parameter);
    void Work();
    bool StartNext(size_t& index, size_t& startsBefore);
    void Finish(size_t index, size_t startsBefore, PictureOutcome& outcome);
    void Stop();

    const JobList& jobs_;
    const UploadSettings& settings_;
    const std::atomic<bool>& cancel_;
    const size_t window_;

    // Guarded by lock_; changed_ is signalled on every change a waiter may wait for.
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    std::vector<Slot> slots_;
    size_t next_ = 0;     // the next picture to hand out
    size_t reported_ = 0; // the picture the phase is waiting for or reporting
    size_t running_ = 0;  // pictures in progress on the workers
    size_t starts_ = 0;   // pictures started so far, to tell whether others overlapped
    bool stop_ = false;   // the phase has returned: take no more pictures
    bool alone_ = false;  // a picture is being retried alone: take no more for now

    std::vector<UniqueHandle> threads_;
};

} // namespace lumexia
