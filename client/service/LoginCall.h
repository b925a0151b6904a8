// The service's challenge-and-response login: step 1 fetches a random block and its id,
// step 2 sends the user name, that id and a SHA-1 over the block and the password's
// digest (the password itself never travels), and gets the user id and ticket back.
#pragma once

#include "service/ServiceExchange.h"

#include <string>

namespace lumexia {

constexpr wchar_t kLoginStep1Path[] = L"/api3/rest/login/step1";
constexpr wchar_t kLoginStep2Path[] = L"/api3/rest/login/step2";
extern const wchar_t kLoginFailed[]; // "Ошибка запроса авторизации"

struct LoginResult {
    std::wstring userId;
    std::wstring userTicket;
};

// Both steps. True with `result` filled from step 2's answer; false with `outcome` set to
// the service's Msg or, when it gave none, kLoginFailed (also after a Cancel: the caller
// knows whether Cancel was pressed). Step 2 is not sent when step 1 fails.
bool SignIn(const ServiceChannel& channel, const std::wstring& userName,
            const std::wstring& password, LoginResult& result, std::wstring& outcome);

} // namespace lumexia
