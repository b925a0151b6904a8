// The hand-over of accepted pictures between the sending worker and its progress dialog,
// with a stand-in operation: what the worker kept reaches the creator even when the user
// gives up on the worker before its report.
#include "operations/Form4Server.h"
#include "resources/resource.h"

#include "UiDriver.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace lumexia;

namespace {

HWND WaitForServerDialog() {
    return uidriver::WaitForDialog(IDC_SERVER_PROGRESS, ::GetCurrentProcessId(), 5000);
}

UploadedImage Accepted(const std::wstring& id) {
    UploadedImage image;
    image.id = id;
    image.imgUrl = L"http://i.lumexia.ru/" + id + L".jpg";
    return image;
}

} // namespace

TEST(Form4Server, SecondCancelKeepsAPictureKeptButNotYetReported) {
    // The worker has kept its picture and is held before its progress report: the second
    // Cancel falls between the two.
    struct Shared {
        HANDLE kept = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ~Shared() {
            ::CloseHandle(kept);
            ::CloseHandle(release);
            ::CloseHandle(done);
        }
    };
    auto shared = std::make_shared<Shared>();
    {
        Form4Server sending(kOperationSending);
        sending.Context().prepared.resize(2);
        sending.SetOperation([shared](OperationContext& ctx) {
            ctx.KeepUploaded(Accepted(L"a1"));
            ::SetEvent(shared->kept);
            ::WaitForSingleObject(shared->release, INFINITE);
            ctx.ReportProgress(1);
            ::SetEvent(shared->done);
        });
        std::thread driver([&] {
            HWND dialog = WaitForServerDialog();
            if (!dialog || ::WaitForSingleObject(shared->kept, 5000) != WAIT_OBJECT_0) return;
            uidriver::Click(dialog, IDC_SERVER_CANCEL);
            uidriver::Click(dialog, IDC_SERVER_CANCEL);
        });
        ASSERT_TRUE(sending.Run(nullptr));
        driver.join();
        EXPECT_FALSE(sending.Finished());
        const UploadedList& kept = sending.Context().uploaded;
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept[0].imgUrl, L"http://i.lumexia.ru/a1.jpg");
    }
    ::SetEvent(shared->release);
    ASSERT_EQ(::WaitForSingleObject(shared->done, 5000), WAIT_OBJECT_0);
}
