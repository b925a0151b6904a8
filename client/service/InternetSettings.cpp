#include "service/InternetSettings.h"

#include <windows.h>
#include <wininet.h>

namespace lumexia {
namespace {

std::wstring TakeGlobal(LPWSTR text) {
    std::wstring copy = text ? text : L"";
    if (text) ::GlobalFree(text);
    return copy;
}

} // namespace

bool ReadInternetSettingsProxy(std::wstring& scriptUrl, std::wstring& proxy, std::wstring& bypass) {
    INTERNET_PER_CONN_OPTIONW options[4] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    options[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
    INTERNET_PER_CONN_OPTION_LISTW list = {};
    list.dwSize = sizeof list;
    list.dwOptionCount = 4;
    list.pOptions = options;
    DWORD size = sizeof list;
    // No connection handle: the settings of the user's default connection.
    if (!::InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size))
        return false;
    const DWORD flags = options[0].Value.dwValue;
    std::wstring server = TakeGlobal(options[1].Value.pszValue);
    std::wstring direct = TakeGlobal(options[2].Value.pszValue);
    std::wstring script = TakeGlobal(options[3].Value.pszValue);
    if (flags & PROXY_TYPE_PROXY) {
        proxy = std::move(server);
        bypass = std::move(direct);
    }
    if (flags & PROXY_TYPE_AUTO_PROXY_URL) scriptUrl = std::move(script);
    return true;
}

} // namespace lumexia
