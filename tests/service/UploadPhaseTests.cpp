// The sending phase (operation kind 2) in a real progress dialog against the stand-in,
// reached through the proxy setting. Questions are answered through the dialog-owned
// message box; progress is watched with a message hook on the dialog's thread.
#include "operations/Form4Server.h"
#include "service/ServiceAddress.h"
#include "service/UploadCall.h"
#include "resources/resource.h"

#include "ServiceStandIn.h"
#include "StandIn.h"
#include "TestSupport.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace lumexia;

namespace {

const wchar_t kQuestionCaption[] = L"Ошибка при отправке изображения.";

std::vector<size_t>* g_progress = nullptr;

LRESULT CALLBACK WatchProgress(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && g_progress && m->message == WM_SERVER_PROGRESS)
        g_progress->push_back(m->wParam);
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// A few hundred bytes that the service takes for a JPEG.
std::string JpegBytes(size_t size, char fill) {
    std::string bytes = "\xFF\xD8\xFF\xE0";
    bytes += std::string(size, fill);
    return bytes + "\xFF\xD9";
}

class Sending : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(svc::Port(), 0) << "no stand-in (LUMEXIA_STANDIN_DIR)";
        ASSERT_TRUE(svc::Reset());
        folder_ = testing_support::NewScratchFolder();
    }
    PreparedImage Picture(const wchar_t* name, size_t size = 300) {
        PreparedImage image;
        image.sourcePath = L"C:\\Фото\\" + std::wstring(name) + L".jpg";
        image.preparedPath = folder_ + name;
        EXPECT_TRUE(testing_support::WriteBytes(image.preparedPath, JpegBytes(size, name[0])));
        image.isResize = 1;
        image.maxSize = 640;
        image.jpegQuality = 85;
        image.origLength = -1;
        image.origWidth = 4000;
        image.origHeight = 3000;
        image.resizeCoeff = 1.0;
        return image;
    }
    // Runs kind 2 with `prepared`, answering each question with the next of `answers`.
    void Run(std::vector<PreparedImage> prepared, std::vector<int> answers = {}) {
        Form4Server server(kOperationSending);
        OperationContext& c = server.Context();
        c.prepared = std::move(prepared);
        c.clientId = L"0123456789abcdef0123456789abcdef";
        c.sessionId = L"fedcba9876543210fedcba9876543210";
        c.userId = userId_;
        c.userTicket = userTicket_;
        c.useProxy = true;
        c.proxy.isUse = true;
        c.proxy.full = proxy_.empty() ? svc::ProxyName() : proxy_;
        std::thread answerer([&] {
            for (int answer : answers)
                questions_.push_back(uidriver::AnswerMessageBox(kQuestionCaption, answer, 20000));
        });
        progress_.clear();
        g_progress = &progress_;
        HHOOK hook =
            ::SetWindowsHookExW(WH_CALLWNDPROC, WatchProgress, nullptr, ::GetCurrentThreadId());
        const bool ran = server.Run(nullptr);
        ::UnhookWindowsHookEx(hook);
        g_progress = nullptr;
        answerer.join();
        ASSERT_TRUE(ran);
        ASSERT_TRUE(server.Finished());
        success_ = server.Success();
        cancelled_ = server.Cancelled();
        outcome_ = server.Outcome();
        uploaded_ = server.Context().uploaded;
    }
    std::vector<std::string> Names(int request) {
        std::vector<std::string> names;
        for (const auto& field : svc::JournalFields(request))
            names.push_back(field.first);
        return names;
    }

    std::wstring folder_, userId_, userTicket_, proxy_;
    std::vector<std::wstring> questions_;
    std::vector<size_t> progress_;
    bool success_ = false, cancelled_ = false;
    std::wstring outcome_;
    std::vector<UploadedImage> uploaded_;
};

const std::vector<std::string> kAnonymousNames = [] {
    std::vector<std::string> names = {"image"}; // the picture part comes first
    const auto& fields = standin::AnonymousUploadFields();
    names.insert(names.end(), fields.begin(), fields.end());
    return names;
}();

} // namespace

TEST_F(Sending, AnonymousFormStartsAtUidAndTheServiceAcceptsIt) {
    PreparedImage half = Picture(L"b");
    half.resizeCoeff = 0.5;
    Run({Picture(L"a"), half});
    EXPECT_TRUE(success_);
    EXPECT_FALSE(cancelled_);
    EXPECT_EQ(outcome_, L"");
    ASSERT_EQ(svc::JournalCount(), 2);
    EXPECT_EQ(Names(0), kAnonymousNames);
    auto fields = svc::JournalFields(0);
    EXPECT_EQ(fields[0].second, "@" + testing_support::ToUtf8(L"C:\\Фото\\a.jpg") + ":306");
    EXPECT_EQ(fields[1].second, "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(fields[3].second, "21");
    EXPECT_EQ(fields[4].second, "true");
    EXPECT_EQ(fields[6].second, "false");
    EXPECT_EQ(fields[15].second, testing_support::ToUtf8(L"Увеличить"));
    EXPECT_EQ(fields[16].second, "noalb");
    EXPECT_EQ(fields[21].second, "-1");
    EXPECT_EQ(fields[24].second, "1.");
    EXPECT_EQ(svc::JournalFields(1)[24].second, "0.5");
    EXPECT_EQ(fields[25].second, "xml");
    // The records hold what the service answered, in order, codes still empty.
    ASSERT_EQ(uploaded_.size(), 2u);
    for (const UploadedImage& u : uploaded_) {
        EXPECT_FALSE(u.id.empty());
        EXPECT_EQ(u.imgUrl.find(L"http://127.0.0.1:"), 0u);
        EXPECT_NE(u.imgPreviewUrl.find(L"/p/" + u.id), std::wstring::npos);
        EXPECT_NE(u.imgPreviewXUrl.find(L"/px/" + u.id), std::wstring::npos);
        EXPECT_EQ(u.code, L"");
    }
    EXPECT_EQ(progress_, (std::vector<size_t>{0, 1, 2}));
    EXPECT_TRUE(questions_.empty());
}

TEST_F(Sending, UserIdWithoutTicketSendsNeitherWithBothSendsBoth) {
    userId_ = L"1000";
    Run({Picture(L"a")});
    EXPECT_TRUE(success_);
    EXPECT_EQ(Names(0), kAnonymousNames);

    ASSERT_TRUE(svc::Reset());
    svc::Control(L"POST", L"/__account", "login=u&password=p&id=1000&ticket=T1");
    userTicket_ = L"T1";
    Run({Picture(L"a")});
    EXPECT_TRUE(success_);
    std::vector<std::string> names = kAnonymousNames;
    names.insert(names.begin() + 1, {"USER_ID", "USER_TICKET"});
    EXPECT_EQ(Names(0), names);
}

TEST_F(Sending, ErrorCodeSevenAsksAndOkResends) {
    ASSERT_TRUE(svc::Script("code=7&msg=" + svc::Encode("занято")));
    Run({Picture(L"a")}, {IDOK});
    ASSERT_EQ(questions_.size(), 1u);
    EXPECT_NE(questions_[0].find(L"Файл [C:\\Фото\\a.jpg]"), std::wstring::npos) << questions_[0];
    EXPECT_NE(questions_[0].find(L"Ошибка при отправке на сервер."), std::wstring::npos);
    EXPECT_NE(questions_[0].find(L"OK - Повторить отправку."), std::wstring::npos);
    EXPECT_NE(questions_[0].find(L"Отмена - Прекратить отправку."), std::wstring::npos);
    // The service's own text is not shown.
    EXPECT_EQ(questions_[0].find(L"занято"), std::wstring::npos);
    EXPECT_TRUE(success_);
    EXPECT_EQ(svc::JournalCount(), 2);
    EXPECT_EQ(svc::JournalBody(0).size(), svc::JournalBody(1).size());
    EXPECT_EQ(uploaded_.size(), 1u);
    EXPECT_EQ(progress_, (std::vector<size_t>{0, 0, 1}));
}

TEST_F(Sending, MissingPreviewXUrlCountsAsNotSentAndCancelEndsTheBatch) {
    ASSERT_TRUE(svc::Script("omit=ImgPreviewXUrl"));
    Run({Picture(L"a"), Picture(L"b")}, {IDCANCEL});
    EXPECT_EQ(questions_.size(), 1u);
    EXPECT_FALSE(success_);
    EXPECT_TRUE(cancelled_);
    EXPECT_EQ(outcome_, L"Прерванно пользователем");
    EXPECT_TRUE(uploaded_.empty());
    EXPECT_EQ(svc::JournalCount(), 1);
}

TEST_F(Sending, AnswerWithAnUnsafeAddressAsksAndOkResends) {
    // Each bad answer is scripted once; the resend after it gets the service's own.
    const std::vector<std::pair<const char*, std::string>> bad = {
        {"ImgUrl", "http://h/a.jpg\" onerror=\"alert(1)"},
        {"ImgUrl", "http://h/a.jpg\r\nhttp://h/b.jpg"},
        {"ImgUrl", "javascript:alert(1)"},
        {"ImgUrl", "/i/a.jpg"},
        {"ImgUrl", ""},
        {"ImgUrl", "http://h/[url]x"},
        {"ImgPreviewUrl", "http://h/p.jpg'><script>"},
        {"ImgPreviewXUrl", "http://h/p x.jpg"},
    };
    for (const auto& [element, text] : bad)
        ASSERT_TRUE(svc::Script(std::string("element=") + element + "&text=" + svc::Encode(text)));
    Run({Picture(L"a")}, std::vector<int>(bad.size(), IDOK));
    EXPECT_EQ(questions_.size(), bad.size());
    EXPECT_TRUE(success_);
    EXPECT_EQ(svc::JournalCount(), static_cast<int>(bad.size()) + 1);
    ASSERT_EQ(uploaded_.size(), 1u);
    EXPECT_EQ(uploaded_[0].imgUrl.rfind(L"http://", 0), 0u) << uploaded_[0].imgUrl;
}

TEST(ServiceAddress, OnlyPlainAbsoluteWebAddresses) {
    for (const wchar_t* good : {L"http://h/i/a.jpg", L"https://h.example:8080/p?x=1&y=%22",
                                L"HTTP://H/A.JPG", L"http://127.0.0.1/"})
        EXPECT_TRUE(IsUsableServiceAddress(good)) << good;
    for (const wchar_t* bad :
         {L"", L"http://", L"http:///a", L"ftp://h/a", L"h/a.jpg", L"http://h/a\tb",
          L"http://h/\x7f", L"http://h/\x85", L"http://h/\u2028", L"http://h/a>", L"http://h/]"})
        EXPECT_FALSE(IsUsableServiceAddress(bad)) << bad;
}

TEST_F(Sending, SecondOfThreeRefusedTwiceKeepsOrderAndProgress) {
    ASSERT_TRUE(svc::Script("status=500&times=2&skip=1"));
    Run({Picture(L"a"), Picture(L"b"), Picture(L"c")}, {IDOK, IDOK});
    EXPECT_TRUE(success_);
    EXPECT_EQ(questions_.size(), 2u);
    ASSERT_EQ(svc::JournalCount(), 5);
    ASSERT_EQ(uploaded_.size(), 3u);
    EXPECT_NE(svc::JournalFields(0)[0].second.find("a.jpg"), std::string::npos);
    EXPECT_NE(svc::JournalFields(2)[0].second.find("b.jpg"), std::string::npos);
    EXPECT_NE(svc::JournalFields(1)[0].second.find("b.jpg"), std::string::npos);
    EXPECT_NE(svc::JournalFields(3)[0].second.find("b.jpg"), std::string::npos);
    EXPECT_NE(svc::JournalFields(4)[0].second.find("c.jpg"), std::string::npos);
    EXPECT_EQ(progress_, (std::vector<size_t>{0, 1, 1, 1, 2, 3}));
}

TEST_F(Sending, PicturesOfABatchShareOneConnectionUntilTheServiceBreaksIt) {
    // The second picture's connection is reset before its answer: the resend and the
    // third picture go over a new one, which they again share.
    ASSERT_TRUE(svc::Script("drop=before-head&skip=1"));
    Run({Picture(L"a"), Picture(L"b"), Picture(L"c")}, {IDOK});
    EXPECT_TRUE(success_);
    EXPECT_EQ(questions_.size(), 1u);
    ASSERT_EQ(svc::JournalCount(), 4);
    const int first = svc::JournalConnection(0);
    EXPECT_NE(first, 0);
    EXPECT_EQ(svc::JournalConnection(1), first);
    EXPECT_NE(svc::JournalConnection(2), first);
    EXPECT_EQ(svc::JournalConnection(3), svc::JournalConnection(2));
    EXPECT_EQ(uploaded_.size(), 3u);
}

TEST_F(Sending, BrokenAnswerOrMissingEnvelopeAsksAgain) {
    ASSERT_TRUE(svc::Script("malformed=1"));
    ASSERT_TRUE(svc::Script("noerr=1"));
    ASSERT_TRUE(svc::Script("size=2000001"));
    Run({Picture(L"a")}, {IDOK, IDOK, IDOK});
    EXPECT_EQ(questions_.size(), 3u);
    EXPECT_TRUE(success_);
    EXPECT_EQ(svc::JournalCount(), 4);
    EXPECT_EQ(uploaded_.size(), 1u);
}

TEST_F(Sending, EmptyListSendsNothing) {
    Run({});
    EXPECT_TRUE(success_);
    EXPECT_EQ(outcome_, L"");
    EXPECT_EQ(svc::JournalCount(), 0);
    EXPECT_TRUE(uploaded_.empty());
}

TEST_F(Sending, IncompletePictureIsNeverSent) {
    PreparedImage missing = Picture(L"a");
    missing.preparedPath = folder_ + L"gone";
    PreparedImage huge = Picture(L"h");
    ASSERT_TRUE(testing_support::WriteBytes(huge.preparedPath, JpegBytes(10000000, 'h')));
    Run({missing}, {IDOK, IDCANCEL});
    EXPECT_EQ(questions_.size(), 2u);
    EXPECT_EQ(svc::JournalCount(), 0);
    EXPECT_TRUE(cancelled_);

    Run({huge}, {IDCANCEL});
    EXPECT_EQ(svc::JournalCount(), 0);
    EXPECT_FALSE(success_);
}

TEST_F(Sending, UnreachableProxyAsksLikeAnyFailureAndNamesTheProxy) {
    proxy_ = L"anna:hunter2@127.0.0.1:1";
    Run({Picture(L"a")}, {IDCANCEL});
    ASSERT_EQ(questions_.size(), 1u);
    EXPECT_FALSE(success_);
    EXPECT_TRUE(cancelled_);
    // The usual question, with one line that names the proxy (and never its password).
    const std::wstring& q = questions_[0];
    EXPECT_NE(q.find(L"Ошибка при отправке на сервер.\r\nНет соединения с прокси-сервером "
                     L"127.0.0.1:1"),
              std::wstring::npos)
        << testing_support::ToUtf8(q);
    EXPECT_NE(q.find(L"OK - Повторить отправку."), std::wstring::npos);
    EXPECT_EQ(q.find(L"hunter2"), std::wstring::npos);
}

TEST_F(Sending, CancelInTheProgressDialogAbortsWithoutQuestion) {
    // A 6 MB picture read by the service at 1 MB/s: Cancel lands mid-transfer.
    ASSERT_TRUE(svc::Script("slowread=1000000"));
    std::thread driver([] {
        HWND dialog = uidriver::WaitForDialog(IDC_SERVER_PROGRESS, ::GetCurrentProcessId(), 5000);
        // Cancel once the first picture's transfer has begun.
        uidriver::WaitUntil([] { return svc::ArrivedCount() > 0; }, 10000);
        if (dialog) uidriver::Click(dialog, IDC_SERVER_CANCEL);
    });
    std::wstring question;
    std::atomic<bool> ended{false};
    std::thread watcher([&] {
        // Any question before the phase ends is a fault; once it ended none can come.
        while (!ended.load() && question.empty())
            question = uidriver::AnswerMessageBox(kQuestionCaption, IDOK, 200);
    });
    const DWORD start = ::GetTickCount();
    Run({Picture(L"a", 6000000), Picture(L"b")});
    const DWORD elapsed = ::GetTickCount() - start;
    ended = true;
    driver.join();
    watcher.join();
    EXPECT_EQ(question, L"");
    EXPECT_FALSE(success_);
    EXPECT_TRUE(cancelled_);
    EXPECT_EQ(outcome_, L"Прерванно пользователем");
    EXPECT_TRUE(uploaded_.empty());
    EXPECT_LT(elapsed, 8000u);
}

TEST_F(Sending, CancelAfterTheWholeBodyWentOutStillKeepsThatPicture) {
    // The service has read the whole first picture (journalled) and holds its answer.
    ASSERT_TRUE(svc::Script("delay=3"));
    std::thread driver([] {
        HWND dialog = uidriver::WaitForDialog(IDC_SERVER_PROGRESS, ::GetCurrentProcessId(), 5000);
        uidriver::WaitUntil([] { return svc::JournalCount() > 0; }, 10000);
        if (dialog) uidriver::Click(dialog, IDC_SERVER_CANCEL);
    });
    Run({Picture(L"a"), Picture(L"b")});
    driver.join();
    EXPECT_FALSE(success_);
    EXPECT_TRUE(cancelled_);
    EXPECT_EQ(svc::JournalCount(), 1); // the batch stops after that picture
    ASSERT_EQ(uploaded_.size(), 1u);
    EXPECT_TRUE(IsUsableServiceAddress(uploaded_[0].imgUrl));
}

TEST(ResizeCoefficient, FewestDigitsThatReadBackWithThePointAlwaysWritten) {
    EXPECT_EQ(FormatResizeCoeff(1.0), L"1.");
    EXPECT_EQ(FormatResizeCoeff(0.5), L"0.5");
    EXPECT_EQ(FormatResizeCoeff(0.16), L"0.16");
    EXPECT_EQ(FormatResizeCoeff(0.1), L"0.1");
    EXPECT_EQ(FormatResizeCoeff(2.0), L"2.");
    EXPECT_EQ(FormatResizeCoeff(100.0), L"100.");
    EXPECT_EQ(FormatResizeCoeff(123.25), L"123.25");
    EXPECT_EQ(FormatResizeCoeff(0.0), L"0.");
    EXPECT_EQ(FormatResizeCoeff(0.05), L"5.e-002");
    EXPECT_EQ(FormatResizeCoeff(0.0123), L"1.23e-002");
    EXPECT_EQ(FormatResizeCoeff(1e50), L"1.e+050");
    EXPECT_EQ(FormatResizeCoeff(-0.25), L"-0.25");
    // Non-terminating values read back as the same double.
    for (double v : {640.0 / 4000.0, 1.0 / 3.0, 2.0 / 3.0, 180.0 / 1234.0, 0.1 + 0.2}) {
        const std::wstring text = FormatResizeCoeff(v);
        EXPECT_EQ(std::wcstod(text.c_str(), nullptr), v) << v;
        EXPECT_LE(text.size(), 19u);
    }
    EXPECT_EQ(FormatResizeCoeff(640.0 / 4000.0), L"0.16");
    EXPECT_EQ(FormatResizeCoeff(1.0 / 3.0), L"0.3333333333333333");
}
