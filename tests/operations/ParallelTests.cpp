// The processing phase on several picture workers, in a real progress dialog: whatever
// order the pictures are finished in, the list, the progress and the questions follow
// the job list, Cancel stops the workers, and the files match those of one worker.
#include "common/DataFolder.h"
#include "operations/Form4Server.h"
#include "operations/ProcessingPhase.h"
#include "resources/resource.h"

#include "TestPictures.h"
#include "TestSupport.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace lumexia;
namespace ts = testing_support;

namespace {

const wchar_t kQuestionCaption[] = L"Ошибка при обработке изображения.";

// Every progress count the dialog is sent, seen on the UI thread before the dialog
// handles it (a WH_CALLWNDPROC hook of this thread sees the worker's sends too).
class ProgressLog {
public:
    ProgressLog() {
        current_ = this;
        hook_ = ::SetWindowsHookExW(WH_CALLWNDPROC, &Hook, nullptr, ::GetCurrentThreadId());
    }
    ~ProgressLog() {
        ::UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    std::vector<size_t> counts; // UI thread only
    std::atomic<long> last{-1}; // for other threads

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && current_ && m->message == WM_SERVER_PROGRESS) {
            current_->counts.push_back(m->wParam);
            current_->last = static_cast<long>(m->wParam);
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static ProgressLog* current_;
    HHOOK hook_;
};
ProgressLog* ProgressLog::current_ = nullptr;

// Prepared files in the data folder: the names without a dot that the clean-up removes.
size_t PreparedFiles() {
    size_t count = 0;
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((DataFolder() + L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            IsDisposableName(entry.cFileName))
            ++count;
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return count;
}

ULONGLONG WriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return (ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

class ProcessingInParallel : public ::testing::Test {
protected:
    void SetUp() override {
        ts::EmptyDataFolder();
        folder_ = ts::NewScratchFolder();
        ASSERT_TRUE(gdiplus_.Ok());
    }
    std::wstring Solid(const std::wstring& name, int w, int h, const wchar_t* mime) {
        const std::wstring path = folder_ + name;
        EXPECT_TRUE(test_pictures::SaveSolid(path, w, h, 0xFF336699, mime));
        return path;
    }
    // Slow to prepare next to the small ones: a camera-sized decode.
    std::wstring Big() { return Solid(L"big.jpg", 4000, 3000, L"image/jpeg"); }
    // Re-encoded (PNG to JPEG), so each prepared file is written when it is prepared.
    std::wstring Small(int i) {
        return Solid(L"s" + std::to_wstring(i) + L".png", 40 + i, 30, L"image/png");
    }
    std::wstring NotAPicture() {
        const std::wstring path = folder_ + L"bad.jpg";
        EXPECT_TRUE(ts::WriteBytes(path, "just some text"));
        return path;
    }
    static void Run(Form4Server& server, size_t workers) {
        server.Context().pictureWorkers = workers;
        server.SetOperation(RunProcessing);
        ASSERT_TRUE(server.Run(nullptr));
    }
    static std::vector<std::wstring> Sources(const Form4Server& server) {
        std::vector<std::wstring> sources;
        for (const auto& p : const_cast<Form4Server&>(server).Context().prepared)
            sources.push_back(p.sourcePath);
        return sources;
    }

    GdiplusSession gdiplus_;
    std::wstring folder_;
};

} // namespace

TEST_F(ProcessingInParallel, ListAndProgressFollowTheJobListBehindASlowFirstPicture) {
    const JobList jobs = {Big(), Small(1), Small(2), Small(3), Small(4)};
    ProgressLog log;
    Form4Server server(kOperationProcessing);
    server.Context().jobs = jobs;
    Run(server, 2);
    ASSERT_TRUE(server.Success());
    EXPECT_EQ(log.counts, (std::vector<size_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(Sources(server), std::vector<std::wstring>(jobs.begin(), jobs.end()));
    // The later pictures were ready before the first: the order was kept, not met.
    const auto& prepared = server.Context().prepared;
    ASSERT_EQ(prepared.size(), 5u);
    EXPECT_LT(WriteTime(prepared[2].preparedPath), WriteTime(prepared[0].preparedPath));
}

TEST_F(ProcessingInParallel, QuestionComesInTurnWhileLaterPicturesAreReady) {
    const std::wstring big = Big(), bad = NotAPicture(), s1 = Small(1), s2 = Small(2);
    for (int answer : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(answer == IDOK ? "OK" : "Cancel");
        ts::EmptyDataFolder();
        ProgressLog log;
        long progressAtQuestion = -2;
        size_t readyWhileAsked = 0;
        std::thread user([&] {
            if (!uidriver::WaitForCaption(kQuestionCaption, 30000)) return;
            progressAtQuestion = log.last.load();
            uidriver::WaitUntil([] { return PreparedFiles() == 3; }, 10000);
            readyWhileAsked = PreparedFiles();
            uidriver::AnswerMessageBox(kQuestionCaption, answer, 5000);
        });
        Form4Server server(kOperationProcessing);
        server.Context().jobs = {big, bad, s1, s2};
        Run(server, 2);
        user.join();

        EXPECT_EQ(progressAtQuestion, 1); // after the first picture's outcome, before any later
        EXPECT_EQ(readyWhileAsked, 3u);   // the big one and both later ones
        ASSERT_TRUE(server.Finished());
        if (answer == IDOK) {
            EXPECT_TRUE(server.Success());
            EXPECT_EQ(Sources(server), (std::vector<std::wstring>{big, s1, s2}));
            EXPECT_EQ(log.counts, (std::vector<size_t>{0, 1, 2, 3, 4}));
        } else {
            EXPECT_FALSE(server.Success());
            EXPECT_TRUE(server.Cancelled());
            EXPECT_EQ(server.Outcome(), L"Прерванно пользователем");
            // Prepared ahead of the stop: left for the clean-up, never listed.
            EXPECT_EQ(Sources(server), std::vector<std::wstring>{big});
            EXPECT_EQ(log.counts, (std::vector<size_t>{0, 1}));
            EXPECT_EQ(PreparedFiles(), 3u);
        }
    }
}

TEST_F(ProcessingInParallel, CancelStopsEveryWorkerAtItsNextPicture) {
    // The first picture is four times the others: while it is prepared, the second worker
    // would go on through the look-ahead (up to picture 3) unless the Cancel stops it.
    const std::wstring huge = Solid(L"huge.jpg", 8000, 6000, L"image/jpeg"), big = Big();
    ProgressLog log;
    Form4Server server(kOperationProcessing);
    server.Context().jobs.assign(10, big);
    server.Context().jobs[0] = huge;
    std::thread user([] {
        HWND dialog = uidriver::WaitForDialog(IDC_SERVER_PROGRESS, ::GetCurrentProcessId(), 10000);
        if (dialog) uidriver::Click(dialog, IDC_SERVER_CANCEL);
    });
    Run(server, 2);
    user.join();
    ASSERT_TRUE(server.Finished());
    EXPECT_TRUE(server.Cancelled());
    EXPECT_FALSE(server.Success());
    const size_t kept = server.Context().prepared.size();
    ASSERT_GE(kept, 1u);
    EXPECT_EQ(log.counts.back(), kept - 1);
    // The phase waits for its workers, so every file there is complete: the kept ones and
    // at most the one picture each worker had in hand at the Cancel.
    EXPECT_LE(PreparedFiles(), kept + 2);
}

TEST_F(ProcessingInParallel, SecondCancelLeavesTheWorkersNothingToReach) {
    struct Shared {
        HANDLE ended = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atomic<size_t> listed{0};
        std::atomic<bool> abandoned{false};
        ~Shared() { ::CloseHandle(ended); }
    };
    auto shared = std::make_shared<Shared>();
    const std::wstring big = Big(), bad = NotAPicture();
    {
        Form4Server server(kOperationProcessing);
        server.Context().jobs.assign(8, big);
        server.Context().jobs.push_back(bad); // would be asked about if the phase went on
        server.Context().pictureWorkers = 2;
        server.SetOperation([shared](OperationContext& ctx) {
            RunProcessing(ctx);
            shared->listed = ctx.prepared.size();
            shared->abandoned = ctx.Abandoned();
            ::SetEvent(shared->ended);
        });
        const std::atomic<bool>& cancelTaken = server.Context().cancel;
        std::thread user([&] {
            HWND dialog =
                uidriver::WaitForDialog(IDC_SERVER_PROGRESS, ::GetCurrentProcessId(), 10000);
            if (!dialog) return;
            uidriver::Click(dialog, IDC_SERVER_CANCEL);
            if (uidriver::WaitUntil([&] { return cancelTaken.load(); }, 5000))
                uidriver::Click(dialog, IDC_SERVER_CANCEL);
        });
        ASSERT_TRUE(server.Run(nullptr));
        user.join();
        EXPECT_FALSE(server.Finished());
        EXPECT_TRUE(server.Cancelled());
        // The abandoned phase ends by itself once its workers stop at their next picture.
        ASSERT_EQ(::WaitForSingleObject(shared->ended, 60000), WAIT_OBJECT_0);
        EXPECT_TRUE(shared->abandoned.load());
        EXPECT_LT(shared->listed.load(), 8u);
        EXPECT_TRUE(server.Context().prepared.empty());
    }
    EXPECT_EQ(::FindWindowW(L"#32770", kQuestionCaption), nullptr);
}

TEST_F(ProcessingInParallel, BatchOfOneAndEmptyBatch) {
    const std::wstring one = Small(1);
    for (size_t count : {size_t(1), size_t(0)}) {
        ProgressLog log;
        Form4Server server(kOperationProcessing);
        if (count) server.Context().jobs = {one};
        Run(server, 2);
        EXPECT_TRUE(server.Success());
        EXPECT_EQ(server.Context().prepared.size(), count);
        std::vector<size_t> expected = {0};
        if (count) expected.push_back(1);
        EXPECT_EQ(log.counts, expected);
    }
}

namespace {

struct Batch {
    std::vector<PreparedImage> prepared;
    std::vector<std::string> bytes;
};

// One processing phase over `jobs`, every question answered OK.
Batch Prepare(const JobList& jobs, const UploadSettings& settings, size_t workers) {
    Batch batch;
    Form4Server server(kOperationProcessing);
    server.Context().jobs = jobs;
    server.Context().upload = settings;
    server.Context().pictureWorkers = workers;
    server.SetOperation(RunProcessing);
    std::thread user([] { uidriver::AnswerMessageBox(kQuestionCaption, IDOK, 30000); });
    EXPECT_TRUE(server.Run(nullptr));
    user.join();
    EXPECT_TRUE(server.Success());
    batch.prepared = server.Context().prepared;
    for (const auto& p : batch.prepared)
        batch.bytes.push_back(ts::ReadBytes(p.preparedPath));
    return batch;
}

} // namespace

TEST_F(ProcessingInParallel, PreparedFilesAndFieldsAreThoseOfOneWorker) {
    using namespace test_pictures;
    GpBitmapPtr sideways = test_pictures::Solid(800, 600, 0xFF2060A0);
    Fill(sideways.Get(), 0, 0, 200, 150, 0xFFFF0000);
    ASSERT_TRUE(Save(sideways.Get(), folder_ + L"plain.jpg", L"image/jpeg"));
    const std::wstring exif = folder_ + L"exif.jpg";
    ASSERT_TRUE(
        ts::WriteBytes(exif, WithExifOrientation(ts::ReadBytes(folder_ + L"plain.jpg"), 6, false)));
    GpBitmapPtr clear = test_pictures::Solid(300, 200, 0x00000000);
    Fill(clear.Get(), 0, 0, 150, 200, 0x8000FF00);
    const std::wstring alpha = folder_ + L"alpha.png";
    ASSERT_TRUE(Save(clear.Get(), alpha, L"image/png"));
    const std::wstring copied = ProcessingInParallel::Solid(L"small.jpg", 200, 100, L"image/jpeg");
    const JobList jobs = {Big(), exif, alpha, NotAPicture(), copied, exif};

    UploadSettings plain;
    UploadSettings caption;
    caption.isSubscr = true;
    caption.subscrText = L"  Лумексия 2026\t";
    for (const UploadSettings& settings : {plain, caption}) {
        SCOPED_TRACE(settings.isSubscr ? "caption" : "plain");
        ts::EmptyDataFolder();
        const Batch one = Prepare(jobs, settings, 1);
        const Batch two = Prepare(jobs, settings, 2);
        ASSERT_EQ(one.prepared.size(), 5u); // the unreadable one skipped
        ASSERT_EQ(two.prepared.size(), one.prepared.size());
        EXPECT_EQ(two.prepared[3].isOptimizeFormat, settings.isSubscr ? 1 : 0); // copied
        for (size_t i = 0; i < one.prepared.size(); ++i) {
            SCOPED_TRACE(i);
            const PreparedImage& a = one.prepared[i];
            const PreparedImage& b = two.prepared[i];
            EXPECT_EQ(b.sourcePath, a.sourcePath);
            EXPECT_EQ(b.preparedPath.size(), DataFolder().size() + 32);
            EXPECT_EQ(b.preparedPath.rfind(DataFolder(), 0), 0u);
            EXPECT_EQ(b.preparedPath.find_first_not_of(L"0123456789ABCDEF", DataFolder().size()),
                      std::wstring::npos);
            EXPECT_NE(b.preparedPath, a.preparedPath);
            EXPECT_EQ(b.isResize, a.isResize);
            EXPECT_EQ(b.maxSize, a.maxSize);
            EXPECT_EQ(b.isRotation, a.isRotation);
            EXPECT_EQ(b.rotation, a.rotation);
            EXPECT_EQ(b.isOptimizeFormat, a.isOptimizeFormat);
            EXPECT_EQ(b.isOptimizedFormat, a.isOptimizedFormat);
            EXPECT_EQ(b.isInscription, a.isInscription);
            EXPECT_EQ(b.inscription, a.inscription);
            EXPECT_EQ(b.jpegQuality, a.jpegQuality);
            EXPECT_EQ(b.origLength, a.origLength);
            EXPECT_EQ(b.origWidth, a.origWidth);
            EXPECT_EQ(b.origHeight, a.origHeight);
            EXPECT_EQ(b.resizeCoeff, a.resizeCoeff);
            EXPECT_FALSE(a.preparedPath.empty() || one.bytes[i].empty());
            EXPECT_TRUE(two.bytes[i] == one.bytes[i]) << "the prepared bytes differ";
        }
    }
}
