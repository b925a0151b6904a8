#include "operations/OperationContext.h"

#include "operations/Form4Server.h"

namespace lumexia {

const wchar_t kOutcomeUnknownOperation[] = L"Неизвестная операция";
const wchar_t kOutcomeCancelled[] = L"Прерванно пользователем";
const wchar_t kOutcomeInternalError[] = L"Внутренняя ошибка при выполнении операции.";

OperationContext::OperationContext(OperationKind operationKind)
    : kind(operationKind), outcome(kOutcomeUnknownOperation), answer(kAnswerBufferBytes, 0) {}

void OperationContext::KeepUploaded(UploadedImage image) {
    std::lock_guard<std::mutex> hold(uploadedLock);
    uploaded.push_back(std::move(image));
}

UploadedList OperationContext::TakeUploadedAndAbandon() {
    std::lock_guard<std::mutex> hold(uploadedLock);
    abandoned = true;
    return uploaded;
}

void OperationContext::ReportProgress(size_t done) {
    if (abandoned.load()) return;
    ::SendMessageW(dialog, WM_SERVER_PROGRESS, static_cast<WPARAM>(done), 0);
}

int OperationContext::Ask(const std::wstring& text, const std::wstring& caption, UINT type) {
    if (abandoned.load()) return IDCANCEL;
    return ::MessageBoxW(dialog, text.c_str(), caption.c_str(), type);
}

std::optional<std::wstring> OperationContext::RequestProxy() const {
    if (useProxy && proxy.isUse) return proxy.full;
    return std::nullopt;
}

} // namespace lumexia
