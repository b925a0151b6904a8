#include "service/ProxyFailure.h"

namespace lumexia {

std::wstring ProxyFailureLine(const ProxyFailure& failure) {
    const std::wstring proxy = L"Прокси-сервер " + failure.address;
    switch (failure.fault) {
    case ProxyFault::kNone:
        break;
    case ProxyFault::kUnreachable:
        return L"Нет соединения с прокси-сервером " + failure.address +
               L": проверьте его адрес и порт в настройках прокси.";
    case ProxyFault::kCredentials:
        return proxy + L" требует имя пользователя и пароль или не принял указанные "
                       L"(имя:пароль@адрес:порт в настройках прокси).";
    case ProxyFault::kGateway:
        return proxy + L" не смог связаться с сервером.";
    }
    return std::wstring();
}

void AppendProxyFailureLine(std::wstring& text, const ProxyFailure& failure) {
    const std::wstring line = ProxyFailureLine(failure);
    if (line.empty()) return;
    if (!text.empty()) text += L"\r\n";
    text += line;
}

} // namespace lumexia
