#include "ui/TagQueryWorker.h"

#include "common/Text.h"
#include "common/Threads.h"
#include "service/TagQuery.h"
#include "ui/TagCache.h"

#include <algorithm>
#include <map>

namespace lumexia {

std::wstring TagKey(const std::wstring& tag) {
    return LowerText(TrimText(tag));
}

bool TagItemLess(const TagItem& a, const TagItem& b) {
    return a.key != b.key ? a.key < b.key : a.text < b.text;
}

namespace {

// Waits for `handle` while handling messages other threads send to this one.
bool WaitHandlingSentMessages(HANDLE handle, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD spent = ::GetTickCount() - start;
        if (spent >= timeoutMs) return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        const DWORD woke =
            ::MsgWaitForMultipleObjects(1, &handle, FALSE, timeoutMs - spent, QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke != WAIT_OBJECT_0 + 1) return false;
        MSG message;
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

} // namespace

// Everything the worker thread uses. The thread holds its own reference, so the critical
// section, the timer and the owner stay valid for it even after its TagQueryWorker is gone.
struct TagQueryWorker::Shared {
    explicit Shared(std::shared_ptr<CallbackGetItems> o) : owner(std::move(o)) {}

    const std::shared_ptr<CallbackGetItems> owner;
    CriticalSection lock;                // guards `pending` and its running flag
    std::shared_ptr<TagRequest> pending; // waiting, or taken by the worker
    UniqueHandle timer;                  // auto-reset
    std::atomic<bool> stop{false};

    // Worker thread only.
    std::map<std::wstring, int> asked; // token -> tags the service returned for it
    std::vector<char> answer;          // kTagAnswerCapacity bytes
    const std::wstring pageSizeText = L"50";

    void Run();
    bool ShouldQuery(const std::wstring& token) const;
    void Query(TagRequest& request);
};

TagQueryWorker::TagQueryWorker(std::shared_ptr<CallbackGetItems> owner)
    : shared_(std::make_shared<Shared>(std::move(owner))) {
    try {
        shared_->answer.assign(kTagAnswerCapacity, '\0');
    } catch (const std::bad_alloc&) {
        return; // stays inactive: no query is ever made
    }
    shared_->timer.Reset(::CreateWaitableTimerW(nullptr, FALSE, nullptr));
    if (!shared_->timer) return;
    thread_ = StartSharedThread(shared_, &TagQueryWorker::ThreadMain);
    active_ = thread_.Valid();
}

TagQueryWorker::~TagQueryWorker() {
    Stop();
}

void TagQueryWorker::Request(const std::wstring& token, const std::optional<std::wstring>& proxy) {
    if (!active_) return;
    auto request = std::make_shared<TagRequest>();
    request->token = token;
    request->proxy = proxy;
    CriticalSectionLock lock(shared_->lock);
    // A request the worker already runs stays alive through the worker's reference and
    // ends at its next cancellation check; a waiting one simply goes.
    if (shared_->pending) shared_->pending->cancelled = true;
    shared_->pending = std::move(request);
    LARGE_INTEGER due;
    due.QuadPart = kDebounce100ns;
    ::SetWaitableTimer(shared_->timer.Get(), &due, 0, nullptr, nullptr, FALSE);
}

bool TagQueryWorker::Idle() const {
    if (!active_) return true;
    CriticalSectionLock lock(shared_->lock);
    return !shared_->pending;
}

bool TagQueryWorker::Stop() {
    if (!active_) return true;
    active_ = false;
    shared_->stop = true;
    {
        CriticalSectionLock lock(shared_->lock);
        if (shared_->pending) shared_->pending->cancelled = true;
    }
    LARGE_INTEGER due;
    due.QuadPart = -100; // 10 µs: wake the thread now
    ::SetWaitableTimer(shared_->timer.Get(), &due, 0, nullptr, nullptr, FALSE);
    const bool ended = WaitHandlingSentMessages(thread_.Get(), kStopWaitMs);
    // Not forced: a thread killed inside the transport or the heap would leave their locks
    // taken. An abandoned worker finishes its exchange against its own Shared, finds the
    // stop flag and ends; its owner has detached itself, so nothing reaches a freed edit.
    thread_.Reset();
    shared_.reset();
    return ended;
}

DWORD TagQueryWorker::ThreadMain(Shared& shared) {
    // Nothing may leave a thread routine; the handler does not allocate.
    try {
        ScopedCoInit com;
        shared.Run();
    } catch (...) {
    }
    return 0;
}

void TagQueryWorker::Shared::Run() {
    for (;;) {
        if (::WaitForSingleObject(timer.Get(), INFINITE) != WAIT_OBJECT_0) return;
        if (stop) return;
        std::shared_ptr<TagRequest> request;
        {
            CriticalSectionLock hold(lock);
            request = pending;
            if (request) request->running = true;
        }
        if (request && !request->token.empty()) {
            try {
                if (ShouldQuery(request->token)) Query(*request);
            } catch (...) {
                // Out of memory, or the owner failed to take the tags: this request counts
                // as a failed query (nothing recorded, the next change asks again), and
                // the thread lives on for the rest of the dialog. No allocation here.
            }
        }
        CriticalSectionLock hold(lock);
        if (pending == request) pending.reset();
    }
}

// The service returns at most a page of tags per token. A token answered before needs no
// query; neither does one whose shorter prefix was answered with less than a full page,
// because every tag beginning with the token came with that answer.
bool TagQueryWorker::Shared::ShouldQuery(const std::wstring& token) const {
    for (std::wstring prefix = token; !prefix.empty(); prefix.pop_back()) {
        auto found = asked.find(prefix);
        if (found == asked.end()) continue;
        if (prefix.size() == token.size()) return false;
        if (found->second < kPageSize) return false;
    }
    return true;
}

void TagQueryWorker::Shared::Query(TagRequest& request) {
    std::vector<std::wstring> tags;
    TagQuery query{request.token, request.proxy, pageSizeText, &request.cancelled, &answer};
    if (!QueryTagSuggestions(query, tags)) return; // nothing recorded: asked again later

    const TagItems& cache = owner->CurrentItems();
    TagItems fresh;
    for (const std::wstring& tag : tags) {
        TagItem item{TagKey(tag), tag};
        // The first text of a key wins, within this answer as against the cache.
        if (HasKey(cache, item.key)) continue;
        if (std::any_of(fresh.begin(), fresh.end(),
                        [&](const TagItem& f) { return f.key == item.key; }))
            continue;
        fresh.push_back(std::move(item));
    }
    if (!fresh.empty()) {
        std::sort(fresh.begin(), fresh.end(), TagItemLess);
        owner->DeliverItems(request.token, fresh);
    }
    // Every returned tag counts, duplicates included: a full page means there may be more.
    asked[request.token] = static_cast<int>(tags.size());
}

} // namespace lumexia
