// Form4Server with stand-in operations: titles, bar modes, captions, Cancel once and
// twice, unknown kinds, centring. The dialog runs modally on the test thread; a driver
// thread acts on it the way a user would.
#include "operations/Form4Server.h"
#include "resources/resource.h"
#include "startup/RunSequence.h"

#include "UiDriver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace lumexia;

namespace {

std::wstring Caption(HWND hwnd) {
    return WindowText(hwnd);
}

HWND WaitForServerDialog() {
    return uidriver::WaitForDialog(IDC_SERVER_PROGRESS, ::GetCurrentProcessId(), 5000);
}

struct Seen {
    std::wstring caption, label;
    LONG style = 0, barStyle = 0;
};

Seen Look(HWND dialog) {
    Seen s;
    s.caption = Caption(dialog);
    s.label = Caption(::GetDlgItem(dialog, IDC_SERVER_LABEL));
    s.style = ::GetWindowLongW(dialog, GWL_STYLE);
    s.barStyle = ::GetWindowLongW(::GetDlgItem(dialog, IDC_SERVER_PROGRESS), GWL_STYLE);
    return s;
}

} // namespace

TEST(Form4Server, MarqueeKindsShowTheirTitleWithoutMinimizeBox) {
    const struct {
        OperationKind kind;
        const wchar_t* title;
    } cases[] = {{kOperationAlbumList, L"Загрузка альбомов пользователя"},
                 {kOperationLoginCheck, L"Проверка имени пользователя и пароля"},
                 {kOperationUpdateCheck, L"Проверка обновлений"}};
    for (const auto& c : cases) {
        Form4Server server(c.kind);
        Seen seen;
        server.SetOperation([&](OperationContext& ctx) {
            seen = Look(ctx.dialog);
            ctx.success = true;
            ctx.outcome.clear();
        });
        ASSERT_TRUE(server.Run(nullptr));
        EXPECT_EQ(seen.caption, c.title);
        EXPECT_EQ(seen.label, c.title);
        EXPECT_FALSE(seen.style & WS_MINIMIZEBOX) << c.kind;
        EXPECT_TRUE(seen.barStyle & PBS_MARQUEE) << c.kind;
        EXPECT_TRUE(server.Success());
        EXPECT_TRUE(server.Finished());
        EXPECT_EQ(server.Outcome(), L"");
    }
}

TEST(Form4Server, PhasesCountTheirItemsFromZeroToAll) {
    Form4Server processing(kOperationProcessing);
    processing.Context().jobs.assign(5, L"x");
    Seen before, after, atStart;
    processing.SetOperation([&](OperationContext& ctx) {
        atStart = Look(ctx.dialog);
        ctx.ReportProgress(0);
        before = Look(ctx.dialog);
        for (size_t i = 1; i <= 5; ++i)
            ctx.ReportProgress(i);
        after = Look(ctx.dialog);
        ctx.success = true;
    });
    ASSERT_TRUE(processing.Run(nullptr));
    EXPECT_EQ(atStart.caption, L"Обработка изображений");
    EXPECT_TRUE(atStart.style & WS_MINIMIZEBOX);
    EXPECT_FALSE(atStart.barStyle & PBS_MARQUEE);
    EXPECT_EQ(before.caption, L"Обработка изображений 0 из 5");
    EXPECT_EQ(after.caption, L"Обработка изображений 5 из 5");
    EXPECT_EQ(after.label, L"Обработка изображений");

    Form4Server sending(kOperationSending);
    sending.Context().prepared.resize(3);
    sending.SetOperation([&](OperationContext& ctx) {
        ctx.ReportProgress(0);
        before = Look(ctx.dialog);
        ctx.ReportProgress(2);
        after = Look(ctx.dialog);
        ctx.success = true;
    });
    ASSERT_TRUE(sending.Run(nullptr));
    EXPECT_EQ(before.caption, L"Отправка изображений 0 из 3");
    EXPECT_EQ(after.caption, L"Отправка изображений 2 из 3");
    EXPECT_EQ(after.label, L"Отправка изображений");
}

TEST(Form4Server, CloseBoxAsksTheOperationToStop) {
    Form4Server server(kOperationSending);
    server.SetOperation([](OperationContext& ctx) {
        // A transfer that notices the flag, as the transport does, and reports its error.
        uidriver::WaitUntil([&] { return ctx.cancel.load(); }, 5000);
        ctx.success = false;
        ctx.outcome = L"transfer aborted";
    });
    std::thread driver([] {
        HWND dialog = WaitForServerDialog();
        if (dialog) uidriver::Close(dialog);
    });
    ASSERT_TRUE(server.Run(nullptr));
    driver.join();
    EXPECT_TRUE(server.Finished());
    EXPECT_TRUE(server.Cancelled());
    EXPECT_FALSE(server.Success());
    EXPECT_EQ(server.Outcome(), L"Прерванно пользователем");
}

TEST(Form4Server, SecondCancelEndsAtOnceAndTheAbandonedWorkerStaysHarmless) {
    // Shared with the worker, which outlives the dialog and the test's server object.
    struct Shared {
        HANDLE started = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atomic<int> answer{0};
        std::atomic<bool> sawAbandoned{false};
        ~Shared() {
            ::CloseHandle(started);
            ::CloseHandle(release);
            ::CloseHandle(done);
        }
    };
    auto shared = std::make_shared<Shared>();
    DWORD elapsed = 0;
    {
        Form4Server server(kOperationProcessing);
        server.Context().jobs.assign(2, L"x");
        server.SetOperation([shared](OperationContext& ctx) {
            ::SetEvent(shared->started);
            ::WaitForSingleObject(shared->release, INFINITE); // deaf to Cancel
            ctx.prepared.resize(7);
            ctx.outcome = L"late";
            ctx.success = true;
            ctx.ReportProgress(1);
            shared->answer = ctx.Ask(L"question", L"Form4Server abandoned question", MB_OKCANCEL);
            shared->sawAbandoned = ctx.Abandoned();
            ::SetEvent(shared->done);
        });
        bool hidden = false;
        // The context the first Cancel flags; the worker keeps it alive past the second.
        const std::atomic<bool>& firstCancelTaken = server.Context().cancel;
        std::thread driver([&] {
            HWND dialog = WaitForServerDialog();
            if (!dialog || ::WaitForSingleObject(shared->started, 5000) != WAIT_OBJECT_0) return;
            uidriver::Click(dialog, IDC_SERVER_CANCEL);
            if (!uidriver::WaitUntil([&] { return firstCancelTaken.load(); }, 5000)) return;
            const DWORD secondClick = ::GetTickCount();
            uidriver::Click(dialog, IDC_SERVER_CANCEL);
            // EndDialog hides the window first. (Wine then waits up to 2 s for the X
            // server to withdraw it before the modal loop returns; not ours to time.)
            hidden = uidriver::WaitUntil([&] { return !::IsWindowVisible(dialog); }, 5000);
            elapsed = ::GetTickCount() - secondClick;
        });
        ASSERT_TRUE(server.Run(nullptr));
        driver.join();
        EXPECT_TRUE(hidden);
        EXPECT_LT(elapsed, 500u);
        EXPECT_FALSE(server.Finished());
        EXPECT_TRUE(server.Cancelled());
        EXPECT_FALSE(server.Success());
        EXPECT_EQ(server.Outcome(), L"Прерванно пользователем");
        EXPECT_TRUE(server.Context().prepared.empty());
        EXPECT_EQ(server.Context().kind, kOperationProcessing);
    }
    // The server and its window are gone; the worker now writes, reports and asks.
    ::SetEvent(shared->release);
    ASSERT_EQ(::WaitForSingleObject(shared->done, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(shared->answer.load(), IDCANCEL);
    EXPECT_TRUE(shared->sawAbandoned.load());
    EXPECT_EQ(::FindWindowW(L"#32770", L"Form4Server abandoned question"), nullptr);
}

TEST(Form4Server, UnknownKindEndsAtOnce) {
    Form4Server server(static_cast<OperationKind>(9));
    const DWORD start = ::GetTickCount();
    ASSERT_TRUE(server.Run(nullptr));
    // No user action needed; the bound leaves room for Wine's window withdrawal wait.
    EXPECT_LT(::GetTickCount() - start, 5000u);
    EXPECT_FALSE(server.Success());
    EXPECT_FALSE(server.Cancelled());
    EXPECT_EQ(server.Outcome(), L"Неизвестная операция");

    // A stand-in operation under an unknown kind sees the template's texts untouched.
    Form4Server looked(static_cast<OperationKind>(7));
    Seen seen;
    looked.SetOperation([&](OperationContext& ctx) { seen = Look(ctx.dialog); });
    ASSERT_TRUE(looked.Run(nullptr));
    EXPECT_EQ(seen.caption, L"");
    EXPECT_EQ(seen.label, L"Получение данных с сервера");
    EXPECT_TRUE(seen.style & WS_MINIMIZEBOX);
    EXPECT_EQ(looked.Outcome(), L"Неизвестная операция");
}

TEST(Form4Server, OperationThatThrowsEndsAsFailure) {
    Form4Server server(kOperationLoginCheck);
    server.SetOperation([](OperationContext&) { throw 1; });
    ASSERT_TRUE(server.Run(nullptr));
    EXPECT_TRUE(server.Finished());
    EXPECT_FALSE(server.Success());
    EXPECT_FALSE(server.Outcome().empty());
}

namespace {

// A plain visible top-level window to own the dialog.
HWND MakeOwner(int x, int y, int w, int h) {
    return ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE | WS_CAPTION, x, y, w, h,
                             nullptr, nullptr, nullptr, nullptr);
}

RECT DialogRectWith(HWND owner) {
    Form4Server server(kOperationLoginCheck);
    RECT rect = {};
    server.SetOperation([&](OperationContext& ctx) {
        ::GetWindowRect(ctx.dialog, &rect);
        ctx.success = true;
    });
    server.Run(owner);
    return rect;
}

} // namespace

TEST(Form4Server, CentresOnOwnerWithinTheWorkArea) {
    RECT work;
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));

    HWND owner = MakeOwner(100, 100, 600, 400);
    ASSERT_NE(owner, nullptr);
    RECT r = DialogRectWith(owner);
    const int w = r.right - r.left, h = r.bottom - r.top;
    EXPECT_EQ(r.left, (100 + 700) / 2 - w / 2);
    EXPECT_EQ(r.top, (100 + 500) / 2 - h / 2);
    ::DestroyWindow(owner);

    // An owner hanging over the bottom right corner: the dialog is pulled back inside.
    owner = MakeOwner(work.right - 50, work.bottom - 20, 400, 300);
    ASSERT_NE(owner, nullptr);
    r = DialogRectWith(owner);
    EXPECT_EQ(r.right, work.right);
    EXPECT_EQ(r.bottom, work.bottom);
    ::DestroyWindow(owner);

    // An invisible owner counts as none: centred on the work area.
    owner = MakeOwner(0, 0, 300, 200);
    ::ShowWindow(owner, SW_HIDE);
    r = DialogRectWith(owner);
    EXPECT_EQ(r.left, (work.left + work.right) / 2 - (r.right - r.left) / 2);
    EXPECT_EQ(r.top, (work.top + work.bottom) / 2 - (r.bottom - r.top) / 2);
    ::DestroyWindow(owner);
}

TEST(Form4Server, OwnerClosedUnderTheDialogLeavesTheWorkerOnItsOwn) {
    struct Shared {
        HANDLE started = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ~Shared() {
            ::CloseHandle(started);
            ::CloseHandle(release);
            ::CloseHandle(done);
        }
    };
    auto shared = std::make_shared<Shared>();
    HWND owner = MakeOwner(100, 100, 400, 300);
    ASSERT_NE(owner, nullptr);
    {
        Form4Server server(kOperationProcessing);
        server.SetOperation([shared](OperationContext& ctx) {
            ::SetEvent(shared->started);
            ::WaitForSingleObject(shared->release, INFINITE);
            ctx.prepared.resize(3);
            ctx.success = true;
            ::SetEvent(shared->done);
        });
        std::thread driver([&] {
            if (::WaitForSingleObject(shared->started, 5000) != WAIT_OBJECT_0) return;
            // The owner's default close handling destroys it, and its owned dialog with it.
            ::PostMessageW(owner, WM_CLOSE, 0, 0);
        });
        const DWORD start = ::GetTickCount();
        server.Run(owner);
        driver.join();
        // Run returned without waiting out the blocked worker.
        EXPECT_LT(::GetTickCount() - start, 8000u);
        EXPECT_FALSE(::IsWindow(owner));
        EXPECT_FALSE(server.Finished());
        EXPECT_FALSE(server.Success());
        EXPECT_TRUE(server.Context().prepared.empty());
        ::SetEvent(shared->release);
        ASSERT_EQ(::WaitForSingleObject(shared->done, 5000), WAIT_OBJECT_0);
        // What the worker wrote stayed in its own context.
        EXPECT_TRUE(server.Context().prepared.empty());
    }
}

namespace {

UploadedImage Accepted(const std::wstring& id) {
    UploadedImage image;
    image.id = id;
    image.imgUrl = L"http://i.lumexia.ru/" + id + L".jpg";
    return image;
}

} // namespace

TEST(Form4Server, SecondCancelKeepsThePicturesAcceptedSoFar) {
    struct Shared {
        HANDLE reported = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ~Shared() {
            ::CloseHandle(reported);
            ::CloseHandle(release);
            ::CloseHandle(done);
        }
    };
    auto shared = std::make_shared<Shared>();
    {
        Form4Server sending(kOperationSending);
        sending.Context().prepared.resize(3);
        sending.SetOperation([shared](OperationContext& ctx) {
            for (const wchar_t* id : {L"a1", L"a2"}) {
                ctx.KeepUploaded(Accepted(id));
                ctx.ReportProgress(ctx.uploaded.size());
            }
            ::SetEvent(shared->reported);
            ::WaitForSingleObject(shared->release, INFINITE); // the third transfer hangs
            ctx.uploaded.push_back(Accepted(L"late"));
            ::SetEvent(shared->done);
        });
        std::thread driver([&] {
            HWND dialog = WaitForServerDialog();
            if (!dialog || ::WaitForSingleObject(shared->reported, 5000) != WAIT_OBJECT_0) return;
            uidriver::Click(dialog, IDC_SERVER_CANCEL);
            uidriver::Click(dialog, IDC_SERVER_CANCEL);
        });
        ASSERT_TRUE(sending.Run(nullptr));
        driver.join();
        EXPECT_FALSE(sending.Finished());
        EXPECT_TRUE(sending.Cancelled());
        // The service holds these two pictures; their codes must not be lost with the worker.
        const UploadedList& kept = sending.Context().uploaded;
        ASSERT_EQ(kept.size(), 2u);
        EXPECT_EQ(kept[0].imgUrl, L"http://i.lumexia.ru/a1.jpg");
        EXPECT_EQ(kept[1].imgUrl, L"http://i.lumexia.ru/a2.jpg");
    }
    ::SetEvent(shared->release);
    ASSERT_EQ(::WaitForSingleObject(shared->done, 5000), WAIT_OBJECT_0);
}

TEST(Form4Server, AFailedSendShowsWhyAndStillOffersTheAcceptedCodes) {
    Form4Server sending(kOperationSending);
    sending.Context().prepared.resize(2);
    sending.SetOperation([](OperationContext& ctx) {
        ctx.KeepUploaded(Accepted(L"a1"));
        ctx.ReportProgress(1);
        throw 1; // an internal error after the first picture was accepted
    });
    ASSERT_TRUE(sending.Run(nullptr));
    ASSERT_FALSE(sending.Cancelled());
    std::wstring error, question;
    std::thread user([&] {
        error = uidriver::AnswerMessageBox(L"Error", IDOK, 5000);
        question = uidriver::AnswerMessageBox(L"Результат обработки", IDOK, 5000);
    });
    const bool handOut = ConfirmHandOut(sending, sending.Context().uploaded);
    user.join();
    EXPECT_EQ(error, L"Внутренняя ошибка при выполнении операции.");
    EXPECT_NE(question.find(L"Часть изображений была успешно загружена"), std::wstring::npos);
    EXPECT_TRUE(handOut);
}
