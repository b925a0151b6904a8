#include "operations/Form4Server.h"

#include "framework/CenterOnOwner.h"
#include "common/ScopedWin.h"
#include "common/Threads.h"
#include "resources/resource.h"

#include <commctrl.h>

namespace lumexia {
namespace {

const wchar_t* Title(OperationKind kind) {
    switch (kind) {
    case kOperationAlbumList:
        return L"Загрузка альбомов пользователя";
    case kOperationLoginCheck:
        return L"Проверка имени пользователя и пароля";
    case kOperationSending:
        return L"Отправка изображений";
    case kOperationProcessing:
        return L"Обработка изображений";
    case kOperationUpdateCheck:
        return L"Проверка обновлений";
    default:
        return nullptr;
    }
}

bool IsMarqueeKind(OperationKind kind) {
    return kind == kOperationAlbumList || kind == kOperationLoginCheck ||
           kind == kOperationUpdateCheck;
}

// How long the creator waits, after the modal loop, for a worker that has already sent
// its end message to leave its thread routine.
constexpr DWORD kFinishedWorkerWaitMs = 10000;

} // namespace

Form4Server::Form4Server(OperationKind kind)
    : context_(std::make_shared<OperationContext>(kind)), outcome_(kOutcomeUnknownOperation) {
    context_->operation = FindOperation(kind);
}

Form4Server::Ending Form4Server::Run(HWND owner) {
    if (started_) return kNotShown;
    const INT_PTR ended = RunModal(IDD_SERVER, owner);
    if (ended == -1)
        ending_ = kNotShown;
    else if (ended == kFinished || ended == kNotStarted)
        ending_ = static_cast<Ending>(ended);
    else
        ending_ = kStopped;
    if (worker_ && ending_ != kFinished) {
        // The dialog ended some other way (its owner was destroyed, say) while the worker
        // still runs: treat it like the second Cancel, so the creator never reads a
        // context the worker may still be writing.
        Abandon();
        success_ = false;
    }
    if (worker_) {
        // The worker sent WM_SERVER_DONE and only has to return; an abandoned worker's
        // handle was let go when the dialog gave up on it.
        ::WaitForSingleObject(worker_.Get(), kFinishedWorkerWaitMs);
        worker_.Reset();
    }
    return ending_;
}

INT_PTR Form4Server::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_SHOWWINDOW:
        OnShow(static_cast<BOOL>(wParam));
        return FALSE;
    case WM_SERVER_PROGRESS:
        OnProgress(wParam);
        SetResult(0);
        return TRUE;
    case WM_SERVER_DONE:
        OnDone();
        SetResult(0);
        return TRUE;
    default:
        return FALSE;
    }
}

bool Form4Server::OnButton(int id) {
    // Esc (IDCANCEL) is the Cancel button.
    if (id != IDC_SERVER_CANCEL && id != IDCANCEL) return false;
    OnCancel();
    return true;
}

bool Form4Server::OnClose() {
    OnCancel();
    return true;
}

BOOL Form4Server::OnInit() {
    progress_ = Item(IDC_SERVER_PROGRESS);
    label_ = Item(IDC_SERVER_LABEL);
    CenterOnOwner(Handle());
    success_ = false;
    cancel_ = false;
    outcome_ = kOutcomeUnknownOperation;
    context_->dialog = Handle();

    const OperationKind kind = context_->kind;
    const wchar_t* title = Title(kind);
    if (kind == kOperationSending || kind == kOperationProcessing) {
        const size_t items =
            kind == kOperationSending ? context_->prepared.size() : context_->jobs.size();
        ::SendMessageW(progress_, PBM_SETSTEP, 1, 0);
        ::SendMessageW(progress_, PBM_SETRANGE32, 0, static_cast<LPARAM>(items));
        ::SendMessageW(progress_, PBM_SETPOS, 0, 0);
        ::SetWindowTextW(label_, title);
        SetCaption(title);
    } else if (IsMarqueeKind(kind)) {
        const LONG style = ::GetWindowLongW(Handle(), GWL_STYLE);
        if (style & WS_MINIMIZEBOX) ::SetWindowLongW(Handle(), GWL_STYLE, style & ~WS_MINIMIZEBOX);
        ::SetWindowTextW(label_, title);
        SetCaption(title);
        // The style first: the bar ignores the marquee message without it.
        const LONG barStyle = ::GetWindowLongW(progress_, GWL_STYLE);
        if (!(barStyle & PBS_MARQUEE))
            ::SetWindowLongW(progress_, GWL_STYLE, barStyle | PBS_MARQUEE);
        ::SendMessageW(progress_, PBM_SETMARQUEE, TRUE, 100);
    }
    return TRUE;
}

void Form4Server::OnShow(BOOL shown) {
    if (!shown || started_) return;
    started_ = true;
    worker_ = StartSharedThread(context_, &Form4Server::Worker);
    if (!worker_) {
        context_->outcome = L"Не удалось запустить операцию.";
        ended_ = true;
        success_ = false;
        outcome_ = context_->outcome;
        End(kNotStarted);
    }
}

void Form4Server::OnProgress(WPARAM done) {
    if (ended_) return;
    ::SendMessageW(progress_, PBM_SETPOS, done, 0);
    const OperationKind kind = context_->kind;
    if (kind != kOperationSending && kind != kOperationProcessing) return;
    const LRESULT position = ::SendMessageW(progress_, PBM_GETPOS, 0, 0);
    const LRESULT upper = ::SendMessageW(progress_, PBM_GETRANGE, FALSE, 0);
    SetCaption(std::wstring(Title(kind)) + L" " + std::to_wstring(position) + L" из " +
               std::to_wstring(upper));
}

void Form4Server::OnCancel() {
    if (ended_) return;
    if (!cancel_) {
        cancel_ = true;
        context_->cancel = true;
        outcome_ = kOutcomeCancelled;
        return;
    }
    // Second Cancel: give up on the worker without waiting.
    Abandon();
    success_ = false;
    outcome_ = kOutcomeCancelled;
    ended_ = true;
    End(kStopped);
}

void Form4Server::Abandon() {
    // The worker keeps its own context; the creator gets a fresh one, so nothing it reads
    // can change under it. The thread is let go, never killed.
    auto fresh = std::make_shared<OperationContext>(context_->kind);
    // The service holds the pictures it accepted; without their codes they stay there
    // unreachable, so every one the worker kept before this moment goes to the creator,
    // reported or not (the worker may be between its append and its report).
    fresh->uploaded = context_->TakeUploadedAndAbandon();
    context_ = std::move(fresh);
    worker_.Reset();
}

void Form4Server::OnDone() {
    if (ended_ || !context_->finished.load()) return;
    success_ = context_->success;
    cancel_ = cancel_ || context_->cancel.load();
    // A stop the user asked for reads as such, whatever error the interrupted transfer
    // left behind.
    if (context_->internalError) context_->outcome = kOutcomeInternalError;
    outcome_ = (cancel_ && !success_) ? std::wstring(kOutcomeCancelled) : context_->outcome;
    ended_ = true;
    End(kFinished);
}

DWORD Form4Server::Worker(OperationContext& c) {
    {
        ScopedCoInit com;
        try {
            if (c.operation) c.operation(c);
        } catch (...) {
            // Nothing here may allocate: a bad_alloc thrown out of this handler would end
            // the process. The dialog turns the flag into its text on its own thread.
            c.success = false;
            c.internalError = true;
        }
    }
    c.finished = true;
    // The dialog may end between this check and the send: the send then reaches an ended
    // dialog (ignored) or no window at all. Either way nothing of the dialog is touched.
    if (!c.abandoned.load()) ::SendMessageW(c.dialog, WM_SERVER_DONE, 0, 0);
    return 0;
}

} // namespace lumexia
