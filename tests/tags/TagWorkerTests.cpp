// The tag query worker against the stand-in: debounce, the asked-for table, cancellation
// by a newer request, duplicate keys, and stopping while an answer is slow or stalled.
// The stand-in's record of tag queries is the witness; the owner records deliveries.
#include "StandIn.h"
#include "TagTestSupport.h"

#include "ui/TagQueryWorker.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <mutex>
#include <new>

using namespace lumexia;

namespace {

const DWORD kWait = 15000;

template <typename F> bool WaitUntil(F condition, DWORD timeoutMs = kWait) {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start >= timeoutMs) return false;
        ::Sleep(10);
    }
    return true;
}

// The worker's owner: a cache the test fills and a record of what was delivered.
class RecordingOwner : public CallbackGetItems {
public:
    void DeliverItems(const std::wstring& token, const TagItems& items) override {
        std::lock_guard<std::mutex> hold(mutex_);
        deliveries_.emplace_back(token, items);
    }
    const TagItems& CurrentItems() const override { return cache; }
    std::vector<std::pair<std::wstring, TagItems>> Deliveries() {
        std::lock_guard<std::mutex> hold(mutex_);
        return deliveries_;
    }

    TagItems cache;

private:
    std::mutex mutex_;
    std::vector<std::pair<std::wstring, TagItems>> deliveries_;
};

std::vector<std::wstring> Texts(const TagItems& items) {
    std::vector<std::wstring> texts;
    for (const TagItem& item : items)
        texts.push_back(item.text);
    return texts;
}

class Worker : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
        standin::Reset();
        ASSERT_TRUE(worker_->Active());
    }
    // One request step, then the wait until the worker has dealt with it.
    void Ask(const std::wstring& token) {
        worker_->Request(token, standin::ProxyText());
        ASSERT_TRUE(WaitUntil([&] { return worker_->Idle(); })) << "worker still busy";
    }

    std::shared_ptr<RecordingOwner> owner_ = std::make_shared<RecordingOwner>();
    std::unique_ptr<TagQueryWorker> worker_ = std::make_unique<TagQueryWorker>(owner_);
};

TEST_F(Worker, StepsWithinTheDelayMakeOneQueryForTheNewest) {
    tag_tests::SetTags({L"abcd", L"ABC", L"abx"});
    owner_->cache = {{L"abcd", L"abcd"}}; // known already: not delivered again
    worker_->Request(L"a", standin::ProxyText());
    worker_->Request(L"ab", standin::ProxyText());
    Ask(L"abc");
    EXPECT_EQ(tag_tests::AskedTokens(), std::vector<std::wstring>{L"abc"});
    const auto deliveries = owner_->Deliveries();
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].first, L"abc");
    EXPECT_EQ(Texts(deliveries[0].second), std::vector<std::wstring>{L"ABC"});
    EXPECT_EQ(deliveries[0].second[0].key, L"abc");
}

TEST_F(Worker, AskedForTableDecidesWhetherTheServiceIsAskedAgain) {
    tag_tests::SetTags({}, 12, "ab");
    Ask(L"ab");
    Ask(L"ab0"); // a prefix answered with 12 tags holds every tag that begins with it
    tag_tests::SetTags({}, 60, "cd");
    Ask(L"cd");
    Ask(L"cd0"); // 50: a full page, there may be more
    Ask(L"zz");
    Ask(L"zz"); // answered before, even empty
    EXPECT_EQ(tag_tests::AskedTokens(), (std::vector<std::wstring>{L"ab", L"cd", L"cd0", L"zz"}));
}

TEST_F(Worker, DuplicateKeysAreCountedButDeliveredOnce) {
    tag_tests::SetTags({L"Foo", L"foo "}, 48, "fo");
    Ask(L"fo");
    const auto deliveries = owner_->Deliveries();
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].second.size(), 49u);
    EXPECT_EQ(deliveries[0].second[48].text, L"Foo"); // the first text of key «foo»
    Ask(L"fo0"); // 50 returned, duplicates included: asked again
    EXPECT_EQ(tag_tests::AskedTokens(), (std::vector<std::wstring>{L"fo", L"fo0"}));
}

TEST_F(Worker, NewerRequestCancelsASlowAnswer) {
    tag_tests::SetTags({L"slowpoke", L"next"});
    tag_tests::SlowNextAnswer(20);
    worker_->Request(L"slow", standin::ProxyText());
    ASSERT_TRUE(WaitUntil([] { return tag_tests::AskedTokens().size() == 1; }));
    Ask(L"ne");
    EXPECT_EQ(tag_tests::AskedTokens(), (std::vector<std::wstring>{L"slow", L"ne"}));
    const auto deliveries = owner_->Deliveries();
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].first, L"ne");
    Ask(L"slow"); // the cancelled token was not recorded as answered
    EXPECT_EQ(tag_tests::AskedTokens().size(), 3u);
}

// An owner that fails to take its first delivery, the way an allocation can fail.
class FailingOnceOwner : public RecordingOwner {
public:
    void DeliverItems(const std::wstring& token, const TagItems& items) override {
        if (!failed_.exchange(true)) throw std::bad_alloc();
        RecordingOwner::DeliverItems(token, items);
    }

private:
    std::atomic<bool> failed_{false};
};

TEST(WorkerFault, AQueryEndedByAnExceptionLeavesTheWorkerServing) {
    ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
    standin::Reset();
    tag_tests::SetTags({L"apple", L"banana"});
    auto owner = std::make_shared<FailingOnceOwner>();
    TagQueryWorker worker(owner);
    worker.Request(L"ap", standin::ProxyText());
    ASSERT_TRUE(WaitUntil([&] { return worker.Idle(); })) << "the failed request stayed pending";
    worker.Request(L"ba", standin::ProxyText());
    ASSERT_TRUE(WaitUntil([&] { return worker.Idle(); }));
    const auto deliveries = owner->Deliveries();
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].first, L"ba");
    worker.Request(L"ap", standin::ProxyText()); // the failed token was not recorded
    ASSERT_TRUE(WaitUntil([&] { return worker.Idle(); }));
    EXPECT_EQ(tag_tests::AskedTokens(), (std::vector<std::wstring>{L"ap", L"ba", L"ap"}));
}

TEST_F(Worker, StopDuringASlowAnswerEndsAtOnceAndAStalledWorkerIsLeftSafely) {
    tag_tests::SetTags({L"slowpoke"});
    tag_tests::SlowNextAnswer(20);
    worker_->Request(L"slow", standin::ProxyText());
    ASSERT_TRUE(WaitUntil([] { return tag_tests::AskedTokens().size() == 1; }));
    DWORD start = ::GetTickCount();
    EXPECT_TRUE(worker_->Stop()); // ended, not abandoned
    EXPECT_LT(::GetTickCount() - start, TagQueryWorker::kStopWaitMs);
    EXPECT_TRUE(owner_->Deliveries().empty());

    // A head that does not come: the worker cannot see its flag and is abandoned; it keeps
    // what it uses alive by itself and lets go of it when its exchange ends.
    worker_ = std::make_unique<TagQueryWorker>(owner_);
    std::weak_ptr<RecordingOwner> watched = owner_;
    tag_tests::StallNextAnswer(7);
    worker_->Request(L"slow", standin::ProxyText());
    ASSERT_TRUE(WaitUntil([] { return tag_tests::AskedTokens().size() == 2; }));
    EXPECT_FALSE(worker_->Stop());
    worker_.reset();
    owner_.reset();
    EXPECT_FALSE(watched.expired()); // still held by the abandoned thread
    EXPECT_TRUE(WaitUntil([&] { return watched.expired(); }));
}

} // namespace
