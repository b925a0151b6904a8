// The progress dialog that runs one long operation on a worker thread (dialog 102).
//
// Use:
//     Form4Server server(kOperationProcessing);
//     OperationContext& in = server.Context();   // fill the inputs of the kind
//     in.jobs = jobs; in.upload = settings;
//     server.Run(::GetActiveWindow());
//     server.Success(), server.Cancelled(), server.Outcome();
//     if (server.Finished()) prepared = std::move(server.Context().prepared);
//
// The worker initialises COM, runs the kind's operation (FindOperation) and ends the
// dialog with WM_SERVER_DONE. Cancel (button or close box) the first time only asks the
// operation to stop; the second time the dialog ends at once without waiting. The
// worker is then abandoned, never killed: it keeps its own reference to its context,
// its progress and questions no longer reach any window, and Context() hands the
// creator a fresh context instead of the one the worker may still write. That context
// holds one output: the pictures the service accepted (`uploaded`), copied from the
// worker's list as the dialog gives up on it, so their codes outlive the worker.
#pragma once

#include "framework/Dialog.h"
#include "operations/OperationContext.h"
#include "common/ScopedWin.h"

#include <memory>
#include <string>

namespace lumexia {

constexpr UINT WM_SERVER_PROGRESS = WM_USER + 30; // wParam: count of items done
constexpr UINT WM_SERVER_DONE = WM_USER + 31;

class Form4Server : public Dialog {
public:
    // How the dialog ended: the worker ran to its end, the dialog gave up on it (second
    // Cancel, or the dialog went some other way while it ran), or it could not be started.
    enum Ending { kNotShown = 0, kFinished = 1, kStopped = 2, kNotStarted = 3 };

    explicit Form4Server(OperationKind kind);

    // Inputs before Run; outputs after Run, meaningful only when Finished(), except
    // `uploaded`, which also holds the pictures kept before the worker was abandoned.
    OperationContext& Context() { return *context_; }
    // Replaces the kind's operation (tools and tests); call before Run.
    void SetOperation(OperationFn operation) { context_->operation = std::move(operation); }

    // Runs the dialog modally; kNotShown (false) when it could not be shown. One run per
    // object: a second one returns kNotShown.
    Ending Run(HWND owner);

    bool Success() const { return success_; }
    bool Cancelled() const { return cancel_; }
    const std::wstring& Outcome() const { return outcome_; }
    // True when the worker ran to its end and the context holds its results.
    bool Finished() const { return ending_ == kFinished; }

protected:
    BOOL OnInit() override;
    bool OnButton(int id) override;
    bool OnClose() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnShow(BOOL shown);
    void OnProgress(WPARAM done);
    void OnCancel();
    void OnDone();
    void Abandon();

    // Runs on the worker thread, which holds its own reference to the context.
    static DWORD Worker(OperationContext& c);

    std::shared_ptr<OperationContext> context_;
    HWND progress_ = nullptr;
    HWND label_ = nullptr;
    UniqueHandle worker_;
    bool started_ = false;
    bool ended_ = false;
    bool success_ = false;
    bool cancel_ = false;
    Ending ending_ = kNotShown;
    std::wstring outcome_;
};

} // namespace lumexia
