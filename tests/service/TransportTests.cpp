// HttpPost against the stand-in with scripted faults: the exact-"200" rule, the capacity
// rule, cancellation, broken and silent connections. The answer length must stay
// untouched on every failure.
#include "service/HttpTransport.h"
#include "service/MultipartBody.h"
#include "service/ServiceHosts.h"

#include "ServiceStandIn.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace lumexia;

namespace {

const wchar_t kPath[] = L"/api3/rest/login/step1";

class Transport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(svc::Port(), 0) << "no stand-in (LUMEXIA_STANDIN_DIR)";
        ASSERT_TRUE(svc::Reset());
        ASSERT_TRUE(form_.AddField(L"RESPTYPE", L"xml"));
        ASSERT_TRUE(form_.Close());
    }
    bool Post(int capacity, int* length, const std::atomic<bool>* cancel = nullptr) {
        buffer_.assign(static_cast<size_t>(capacity) + 16, 0);
        PostRequest r = svc::Request(ApiHost, kPath, buffer_, length);
        r.answerCapacity = capacity;
        r.cancel = cancel;
        return form_.Send(r);
    }
    MultipartBody form_;
    std::vector<char> buffer_;
};

} // namespace

TEST_F(Transport, StatusOtherThan200FailsAndLeavesTheLengthUntouched) {
    for (const char* status : {"404", "500", "204", "201"}) {
        ASSERT_TRUE(svc::Script(std::string("status=") + status));
        int length = -7;
        EXPECT_FALSE(Post(1999999, &length)) << status;
        EXPECT_EQ(length, -7) << status;
    }
    int length = -7;
    EXPECT_TRUE(Post(1999999, &length));
    EXPECT_GT(length, 0);
    EXPECT_EQ(std::string(buffer_.data(), 5), "<?xml");
}

TEST_F(Transport, AnswerOfExactlyTheCapacityFitsOneByteMoreDoesNot) {
    ASSERT_TRUE(svc::Script("size=200000"));
    int length = -1;
    ASSERT_TRUE(Post(200000, &length));
    EXPECT_EQ(length, 200000);
    EXPECT_EQ(buffer_[200000], 0); // nothing written past the capacity

    ASSERT_TRUE(svc::Script("size=200001"));
    length = -1;
    EXPECT_FALSE(Post(200000, &length));
    EXPECT_EQ(length, -1);
    EXPECT_EQ(buffer_[200000], 0);

    // The runner's full buffer against an answer one byte larger.
    ASSERT_TRUE(svc::Script("size=2000001"));
    EXPECT_FALSE(Post(2000000, &length));
    EXPECT_EQ(length, -1);
}

TEST_F(Transport, NoCapacityMeansNoAnswer) {
    int length = -1;
    EXPECT_FALSE(Post(0, &length));
    EXPECT_EQ(length, -1);
}

TEST_F(Transport, DroppedConnectionFails) {
    for (const char* fault : {"drop=before-head", "drop=mid-body"}) {
        ASSERT_TRUE(svc::Script(fault));
        int length = -1;
        // Mid-body the platform reports the cut answer as a normal end of data; the
        // announced length tells it apart.
        EXPECT_FALSE(Post(1999999, &length)) << fault;
        EXPECT_EQ(length, -1) << fault;
    }
}

TEST_F(Transport, UnreachableHostFailsAtOnce) {
    int length = -1;
    buffer_.assign(1000, 0);
    PostRequest r = svc::Request(L"127.0.0.1", kPath, buffer_, &length);
    r.proxy.reset();
    r.port = 1; // nothing listens there
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(form_.Send(r));
    EXPECT_LT(::GetTickCount() - start, 10000u);
    EXPECT_EQ(length, -1);
}

TEST_F(Transport, SilentServerIsBoundedByTheReceiveTimeout) {
    // The server takes the request and says nothing for 8 s; a 1 s receive limit must
    // also bound the wait for the answer's head.
    ASSERT_TRUE(svc::Script("delay=8"));
    buffer_.assign(1000, 0);
    int length = -1;
    const PostRequest r = svc::Request(ApiHost, kPath, buffer_, &length);
    HttpTimeouts limits;
    limits.receive = 1000;
    const std::wstring header = L"Content-Type: multipart/form-data; boundary=" + form_.Boundary();
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(HttpPostWithTimeouts(r, header.c_str(), form_.Data(),
                                      static_cast<DWORD>(form_.Size()), limits));
    EXPECT_LT(::GetTickCount() - start, 6000u);
    EXPECT_EQ(length, -1);
}

TEST_F(Transport, CancelDuringALargeBodyFailsAfterTheCurrentWrite) {
    // 8 MB read by the stand-in at 2 MB/s: the write blocks while the flag is set.
    MultipartBody big;
    ASSERT_TRUE(big.AddField(L"A", std::wstring(500, L'x')));
    for (int i = 0; i < 8000; ++i)
        ASSERT_TRUE(big.AddField(L"F", std::wstring(450, L'ы')));
    ASSERT_TRUE(big.Close());
    ASSERT_GT(big.Size(), 7000000u);
    ASSERT_TRUE(svc::Script("slowread=2000000"));

    std::atomic<bool> cancel{false};
    buffer_.assign(1000, 0);
    int length = -1;
    PostRequest r = svc::Request(ApiHost, kPath, buffer_, &length);
    r.cancel = &cancel;
    std::thread canceller([&] {
        ::Sleep(500);
        cancel = true;
    });
    EXPECT_FALSE(big.Send(r));
    canceller.join();
    EXPECT_EQ(length, -1);

    // A flag already set sends nothing at all.
    int before = svc::JournalCount();
    EXPECT_FALSE(Post(1999999, &length, &cancel));
    ::Sleep(300);
    EXPECT_EQ(svc::JournalCount(), before);
}
