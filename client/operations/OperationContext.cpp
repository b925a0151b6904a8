#include "operations/OperationContext.h"

#include "operations/Form4Server.h"

namespace lumexia {

const wchar_t kOutcomeUnknownOperation[] = L"Неизвестная операция";
const wchar_t kOutcomeCancelled[] = L"Прерванно пользователем";
const wchar_t kOutcomeInternalError[] = L"Внутренняя ошибка при выполнении операции.";

OperationContext::OperationContext(OperationKind operationKind)
    : kind(operationKind), outcome(kOutcomeUnknownOperation), answer(kAnswerBufferBytes, 0) {}

void OperationContext::ReportProgress(size_t done) {
    if (abandoned.load()) return;
    // The context's address tells the dialog the report comes from its worker, which is
    // blocked in this send while the dialog copies what it needs.
    ::SendMessageW(dialog, WM_SERVER_PROGRESS, static_cast<WPARAM>(done),
                   reinterpret_cast<LPARAM>(this));
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
