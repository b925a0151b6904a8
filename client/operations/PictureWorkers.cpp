#include "operations/PictureWorkers.h"

#include "common/DataFolder.h"
#include "imaging/GdiPlus.h"
#include "imaging/ImagePipeline.h"

#include <algorithm>
#include <new>

namespace lumexia {
namespace {

constexpr size_t kMostWorkers = sizeof(void*) == 4 ? 2 : 4;
class Exclusive {
public:
    explicit Exclusive(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~Exclusive() { ::ReleaseSRWLockExclusive(&lock_); }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;

private:
    SRWLOCK& lock_;
};

} // namespace

size_t MachinePictureWorkers() {
    DWORD cores = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    if (cores == 0) {
        SYSTEM_INFO info = {};
        ::GetSystemInfo(&info);
        cores = info.dwNumberOfProcessors;
    }
    return std::min<size_t>(std::max<DWORD>(cores, 1), kMostWorkers);
}

void PreparePicture(const UploadSettings& settings, const std::wstring& source,
                    PictureOutcome& out) noexcept {
    out.ok = false;
    out.outOfMemory = false;
    out.threw = false;
    try {
        out.image.sourcePath = source;
        // The name is all a prepared file has in common with its picture; made here so
        // that each picture gets a fresh one whichever thread prepares it.
        if (out.image.preparedPath.empty()) out.image.preparedPath = DataFolder() + NewHexId();
        // Keeps GDI+ alive for this picture even if the run sequence shuts it down
        // meanwhile (the phase abandoned); without GDI+ the picture fails.
        GdiplusUse gdiplus;
        if (gdiplus.Active())
            out.ok = PrepareImage(out.image.sourcePath, out.image.preparedPath, settings, out.image,
                                  out.error, &out.outOfMemory);
    } catch (const std::bad_alloc&) {
        out.ok = false;
        out.outOfMemory = true;
    } catch (...) {
        out.ok = false;
        out.threw = true;
    }
}

PictureWorkers::PictureWorkers(const JobList& jobs, const UploadSettings& settings, size_t workers,
                               const std::atomic<bool>& cancel)
    : jobs_(jobs), settings_(settings), cancel_(cancel), window_(2 * std::max<size_t>(workers, 1)),
      slots_(jobs.size()) {
    workers = std::min(std::max<size_t>(workers, 1), std::max<size_t>(jobs.size(), 1));
    // Reserved first: once a thread runs, nothing here may throw and leave it behind.
    threads_.reserve(workers);
    for (size_t i = 0; i < workers && !jobs.empty(); ++i) {
        UniqueHandle thread(::CreateThread(nullptr, 0, &PictureWorkers::Routine, this, 0, nullptr));
        // Fewer threads only cost speed; with none, Take prepares on the caller's thread.
        if (!thread) break;
        threads_.push_back(std::move(thread));
    }
}

PictureWorkers::~PictureWorkers() {
    Stop();
    for (const UniqueHandle& thread : threads_)
        ::WaitForSingleObject(thread.Get(), INFINITE);
}

void PictureWorkers::Stop() {
    {
        Exclusive guard(lock_);
        stop_ = true;
    }
    ::WakeAllConditionVariable(&changed_);
}

DWORD WINAPI PictureWorkers::Routine(void* parameter) {
    // GDI+ decoders may use COM on this thread, as on the operation's own worker.
    ScopedCoInit com;
    static_cast<PictureWorkers*>(parameter)->Work();
    return 0;
}

void PictureWorkers::Work() {
    size_t index = 0, startsBefore = 0;
    while (StartNext(index, startsBefore)) {
        // Only the worker that took the slot touches its outcome until it is done.
        PictureOutcome& outcome = slots_[index].outcome;
        PreparePicture(settings_, jobs_[index], outcome);
        Finish(index, startsBefore, outcome);
    }
}

bool PictureWorkers::StartNext(size_t& index, size_t& startsBefore) {
    Exclusive guard(lock_);
    for (;;) {
        if (stop_ || next_ >= slots_.size()) return false;
        // After a Cancel only the picture the phase waits for may start (as the one
        // thread it replaces would still have prepared it); the phase then stops.
        const bool wanted = !cancel_.load() || next_ == reported_;
        if (wanted && !alone_ && next_ < reported_ + window_) break;
        ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }
    index = next_++;
    Slot& slot = slots_[index];
    slot.state = State::kRunning;
    slot.outcome.overlapped = running_ > 0;
    ++running_;
    startsBefore = ++starts_;
    return true;
}

void PictureWorkers::Finish(size_t index, size_t startsBefore, PictureOutcome& outcome) {
    {
        Exclusive guard(lock_);
        --running_;
        outcome.overlapped = outcome.overlapped || running_ > 0 || starts_ != startsBefore;
        slots_[index].state = State::kDone;
    }
    ::WakeAllConditionVariable(&changed_);
}

void PictureWorkers::Take(size_t index, PictureOutcome& out) {
    {
        Exclusive guard(lock_);
        reported_ = index;
    }
    ::WakeAllConditionVariable(&changed_); // the window moved on
    if (threads_.empty()) {
        // No worker could be started: prepare here, in turn.
        out = PictureOutcome();
        PreparePicture(settings_, jobs_[index], out);
        return;
    }
    Exclusive guard(lock_);
    Slot& slot = slots_[index];
    // A worker is always free to start this one (see StartNext), so this ends.
    while (slot.state != State::kDone)
        ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    out = std::move(slot.outcome);
    slot.outcome = PictureOutcome(); // the record now lives in the phase's list
}

void PictureWorkers::RetryAlone(size_t index, PictureOutcome& out) {
    {
        Exclusive guard(lock_);
        alone_ = true;
        while (running_ > 0)
            ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }
    // The same file name, a fresh record: the outcome must be the one a lone attempt
    // gives, whatever the failed one left behind.
    PictureOutcome again;
    again.image.preparedPath = std::move(out.image.preparedPath);
    PreparePicture(settings_, jobs_[index], again);
    out = std::move(again);
    {
        Exclusive guard(lock_);
        alone_ = false;
    }
    ::WakeAllConditionVariable(&changed_);
}

} // namespace lumexia
