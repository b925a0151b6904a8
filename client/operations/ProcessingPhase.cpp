#include "operations/ProcessingPhase.h"

#include "operations/PictureWorkers.h"

#include <stdexcept>

namespace lumexia {
namespace {

const wchar_t kOutOfMemory[] = L"Недостаточно памяти для обработки изображения.";

void Stopped(OperationContext& c) {
    c.outcome = kOutcomeCancelled;
    c.success = false;
}

} // namespace

void RunProcessing(OperationContext& c) {
    c.ReportProgress(0);
    c.prepared.clear();
    const size_t workers = c.pictureWorkers != 0 ? c.pictureWorkers : MachinePictureWorkers();
    // Stops and waits for its workers on every way out of here, so the context they
    // read outlives them.
    PictureWorkers pool(c.jobs, c.upload, workers, c.cancel);
    size_t done = 0;
    for (size_t i = 0; i < c.jobs.size(); ++i) {
        PictureOutcome picture;
        pool.Take(i, picture);
        // Several decoded camera pictures at once can exhaust memory (a 32-bit address
        // space above all); one that failed so gets a second chance with nothing beside it.
        if (!picture.ok && picture.outOfMemory && picture.overlapped) pool.RetryAlone(i, picture);
        if (picture.threw) throw std::runtime_error("picture preparation failed");
        if (!picture.ok) {
            if (picture.outOfMemory && picture.error.empty()) picture.error = kOutOfMemory;
            const std::wstring text = L"Файл [" + c.jobs[i] + L"]\r\n" + picture.error + L"\r\n" +
                                      L"OK - Пропустить файл и продолжить обработку.\r\n"
                                      L"Отмена - прекратить обработку.";
            if (c.Ask(text, L"Ошибка при обработке изображения.", MB_OKCANCEL) != IDOK) {
                Stopped(c);
                c.cancel = true;
                return;
            }
        } else {
            c.prepared.push_back(std::move(picture.image));
        }
        if (c.cancel.load()) return Stopped(c);
        ++done;
        c.ReportProgress(done);
    }
    c.outcome.clear();
    c.success = true;
}

} // namespace lumexia
