// The shared state of one long operation run by a Form4Server (see Form4Server.h).
//
// The creator fills the inputs through Form4Server::Context() before the run; the
// worker thread then owns the context alone, apart from the two flags the UI thread
// writes (cancel, abandoned). The context is reference-counted: the dialog and the worker
// each hold a reference, so when the dialog gives up on a blocked worker (second Cancel)
// and the creator moves on, the worker keeps writing only into its own context, which
// dies with the worker's last reference.
//
// An operation is one function over this context. It runs on the worker with COM
// initialised, must set `success` and `outcome` before it returns, may set `cancel`,
// should poll `cancel` between steps and passes `&cancel` to the HTTP transport.
// It reaches the dialog only through ReportProgress and Ask.
#pragma once

#include "imaging/PreparedImage.h"
#include "settings/SettingsRecords.h"
#include "common/TaskFile.h"
#include "service/AlbumListCall.h"
#include "service/UploadedImage.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lumexia {

enum OperationKind : int {
    kOperationAlbumList = 0,
    kOperationLoginCheck = 1,
    kOperationSending = 2,
    kOperationProcessing = 3,
    kOperationUpdateCheck = 4,
};

constexpr size_t kAnswerBufferBytes = 2000000;

extern const wchar_t kOutcomeUnknownOperation[]; // "Неизвестная операция"
extern const wchar_t kOutcomeCancelled[];        // "Прерванно пользователем"
extern const wchar_t kOutcomeInternalError[];    // an operation threw

struct OperationContext;
using OperationFn = std::function<void(OperationContext&)>;

struct OperationContext {
    explicit OperationContext(OperationKind operationKind);
    OperationContext(const OperationContext&) = delete;
    OperationContext& operator=(const OperationContext&) = delete;

    // Which operation runs; fixed at construction.
    const OperationKind kind;

    // Inputs, set by the creator before the run.
    std::wstring clientId;  // sending: UID
    std::wstring sessionId; // sending: SID
    bool useProxy = false;  // false: the transport is given no proxy settings
    ProxySettings proxy;
    UploadSettings upload; // processing, sending
    JobList jobs;          // processing
    // processing: how many pictures may be prepared at once; 0 (the client's choice) is
    // one per core within MachinePictureWorkers. Benchmarks and tests set 1 to compare.
    size_t pictureWorkers = 0;
    std::wstring userName; // login check
    std::wstring password; // login check

    // Inputs and outputs.
    std::wstring userTicket; // login check writes; album list and sending read
    std::wstring userId;

    // Outputs, read by the creator only when Form4Server::Finished().
    std::vector<PreparedImage> prepared; // processing fills, sending reads
    std::vector<UploadedImage> uploaded; // sending fills, through KeepUploaded
    AlbumList albums;                    // album list
    int updateMajor = 0;                 // update check
    int updateMinor = 0;
    std::wstring updatePath;

    bool success = false;
    std::wstring outcome; // initially "Неизвестная операция"

    // Set by the UI thread when the user presses Cancel (or closes the dialog), and by
    // an operation that stops on the user's answer. Polled by operations and by the
    // transport before each body write and answer chunk.
    std::atomic<bool> cancel{false};

    // Receive buffer handed to the transport; operations zero it before use.
    std::vector<char> answer;

    // The named proxy the transport is given: the user's, when the creator asked for the
    // proxy settings and the user turned the proxy on; none otherwise.
    std::optional<std::wstring> RequestProxy() const;

    // Appends one picture the service accepted to `uploaded`. Atomic with respect to the
    // dialog giving up on the worker: a picture kept before that moment reaches the
    // creator, whether or not its progress report got through.
    void KeepUploaded(UploadedImage image);
    // The pictures kept so far, and from now on the worker counts as abandoned (UI thread).
    UploadedList TakeUploadedAndAbandon();

    // Sends WM_SERVER_PROGRESS with the count done; nothing once the dialog gave up.
    void ReportProgress(size_t done);
    // MessageBoxW owned by the progress dialog, shown from the worker. Once the dialog
    // gave up on the worker, no box is shown and the answer is IDCANCEL.
    int Ask(const std::wstring& text, const std::wstring& caption, UINT type);
    // True once the dialog has ended without waiting for this worker.
    bool Abandoned() const { return abandoned.load(); }

    // Runner plumbing (Form4Server only).
    HWND dialog = nullptr;
    std::atomic<bool> abandoned{false};
    // Held only for an append to `uploaded` or the copy made when the worker is abandoned;
    // nothing else is done under it, so an abandoned worker never keeps the UI thread
    // waiting for longer than one append.
    std::mutex uploadedLock;
    std::atomic<bool> finished{false};
    // Set by the worker when the operation threw; the dialog shows kOutcomeInternalError.
    std::atomic<bool> internalError{false};
    OperationFn operation;
};

// The operation of a kind; empty for kinds that have none.
OperationFn FindOperation(OperationKind kind);

} // namespace lumexia
