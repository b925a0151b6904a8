#include "operations/ProcessingPhase.h"

#include "common/DataFolder.h"
#include "imaging/GdiPlus.h"
#include "imaging/ImagePipeline.h"

namespace lumexia {

void RunProcessing(OperationContext& c) {
    c.ReportProgress(0);
    c.prepared.clear();
    size_t done = 0;
    for (const std::wstring& path : c.jobs) {
        PreparedImage image;
        image.sourcePath = path;
        image.preparedPath = DataFolder() + NewHexId();
        std::wstring error;
        bool ok = false;
        {
            // Keeps GDI+ alive for this picture even if the run sequence shuts it down
            // meanwhile (this worker abandoned); without GDI+ the picture fails.
            GdiplusUse gdiplus;
            if (gdiplus.Active())
                ok = PrepareImage(path, image.preparedPath, c.upload, image, error);
        }
        if (!ok) {
            const std::wstring text = L"Файл [" + path + L"]\r\n" + error + L"\r\n" +
                                      L"OK - Пропустить файл и продолжить обработку.\r\n"
                                      L"Отмена - прекратить обработку.";
            if (c.Ask(text, L"Ошибка при обработке изображения.", MB_OKCANCEL) != IDOK) {
                c.outcome = kOutcomeCancelled;
                c.success = false;
                c.cancel = true;
                return;
            }
        } else {
            c.prepared.push_back(std::move(image));
        }
        if (c.cancel.load()) {
            c.outcome = kOutcomeCancelled;
            c.success = false;
            return;
        }
        ++done;
        c.ReportProgress(done);
    }
    c.outcome.clear();
    c.success = true;
}

} // namespace lumexia
