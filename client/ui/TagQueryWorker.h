// The tag query worker of the tag auto-completion: keeps the newest pending request,
// waits until typing has paused for 300 ms, decides from what it has already asked
// whether the service can tell anything new, runs the tag query on a thread of its own
// and hands the new tags to its owner.
//
// Threads: Request and Stop run on the user-interface thread; the decision, the query and
// the delivery on the worker thread. A critical section guards only the pending request;
// the running request's cancelled flag is read by the transport without it.
//
// Lifetime: everything the worker thread touches (the pending request, the timer, the
// asked-for table, the answer buffer and the owner's CallbackGetItems) is held through
// shared pointers, like an operation's context. A worker that does not end in time at
// Stop is abandoned with its own references, so it never reaches freed memory, and it
// holds the lock only for a few instructions, never across the query or the delivery.
#pragma once

#include "common/ScopedWin.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumexia {

// One known tag: the text as the service returned it, and its key (the text trimmed of
// white space at both ends and lower-cased), by which the cache is ordered and matched.
struct TagItem {
    std::wstring key;
    std::wstring text;
};
using TagItems = std::vector<TagItem>;

std::wstring TagKey(const std::wstring& tag);
// Order of the cache and of every delivery: by key, then by text.
bool TagItemLess(const TagItem& a, const TagItem& b);

// What the worker needs of its owner. Both calls come from the worker thread.
class CallbackGetItems {
public:
    // New tags for `token` (none of whose keys was in CurrentItems), sorted by key and
    // text; the owner carries them to the user-interface thread and waits there.
    virtual void DeliverItems(const std::wstring& token, const TagItems& items) = 0;
    // The owner's cache. It changes only while the worker waits inside DeliverItems.
    virtual const TagItems& CurrentItems() const = 0;

protected:
    ~CallbackGetItems() = default;
};

// One asked-for query. Replaced requests are cancelled; the worker keeps a running one
// alive through its own reference until the query has returned.
struct TagRequest {
    std::atomic<bool> cancelled{false}; // also the transport's cancel flag
    bool running = false;               // under the worker's critical section
    std::optional<std::wstring> proxy;  // proxyfull when a proxy is in use, else absent
    std::wstring token;                 // lower-cased tag text
};

class TagQueryWorker {
public:
    static constexpr int kPageSize = 50;
    static constexpr LONGLONG kDebounce100ns = -3000000; // 300 ms from the request
    static constexpr DWORD kStopWaitMs = 5000;

    // Makes the buffer, the timer and the thread; inactive when any of them failed.
    explicit TagQueryWorker(std::shared_ptr<CallbackGetItems> owner);
    ~TagQueryWorker();
    TagQueryWorker(const TagQueryWorker&) = delete;
    TagQueryWorker& operator=(const TagQueryWorker&) = delete;

    bool Active() const { return active_; }
    // User-interface thread: `token` becomes the only pending request (a running older
    // one is cancelled) and the timer is set to fire 300 ms from now.
    void Request(const std::wstring& token, const std::optional<std::wstring>& proxy);
    // True when no request waits or runs (tests and benchmarks wait on it).
    bool Idle() const;
    // Ends the worker: cancels the running request, wakes the thread and waits up to
    // kStopWaitMs for it; a thread still busy then is abandoned (false). Sent messages
    // are handled meanwhile, so a delivery in flight cannot hold the wait up.
    bool Stop();

private:
    struct Shared;
    static DWORD ThreadMain(Shared& shared);

    std::shared_ptr<Shared> shared_;
    UniqueHandle thread_;
    bool active_ = false;
};

} // namespace lumexia
