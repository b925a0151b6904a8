// The two thread pieces the client writes more than once: a critical section with its
// scoped lock, and the start of a thread that shares an object with its creator.
#pragma once

#include "common/ScopedWin.h"

#include <windows.h>

#include <memory>
#include <new>

namespace lumexia {

class CriticalSection {
public:
    CriticalSection() { ::InitializeCriticalSection(&section_); }
    ~CriticalSection() { ::DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    CRITICAL_SECTION* Get() { return &section_; }

private:
    CRITICAL_SECTION section_;
};

// Holds the section from construction to the end of the scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) : section_(section.Get()) {
        ::EnterCriticalSection(section_);
    }
    ~CriticalSectionLock() { ::LeaveCriticalSection(section_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION* section_;
};

namespace detail {

template <typename T> struct SharedThreadStart {
    std::shared_ptr<T> shared;
    DWORD (*routine)(T&);
};

template <typename T> DWORD WINAPI SharedThreadMain(void* parameter) {
    // The start record was made for this thread alone; it goes when the routine returns,
    // and with it the thread's reference to the shared object.
    std::unique_ptr<SharedThreadStart<T>> start(static_cast<SharedThreadStart<T>*>(parameter));
    return start->routine(*start->shared);
}

} // namespace detail

// Starts a thread running `routine(*shared)` with a reference of its own to `shared`, so
// the object outlives a creator that gives up on the thread. `routine` must not throw:
// nothing may leave a thread routine. An invalid handle when the thread could not start
// (the reference is then dropped at once).
template <typename T>
UniqueHandle StartSharedThread(const std::shared_ptr<T>& shared, DWORD (*routine)(T&)) {
    auto* start = new (std::nothrow) detail::SharedThreadStart<T>{shared, routine};
    if (!start) return UniqueHandle();
    UniqueHandle thread(
        ::CreateThread(nullptr, 0, &detail::SharedThreadMain<T>, start, 0, nullptr));
    if (!thread) delete start;
    return thread;
}

} // namespace lumexia
