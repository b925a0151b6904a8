#include "service/SystemProxy.h"

#include "service/InternetSettings.h"

#include <windows.h>
#include <winhttp.h>

namespace lumexia {
namespace {

// What the user set up in the Internet Settings of this account.
struct UserSettings {
    std::wstring scriptUrl;
    std::wstring proxy;
    std::wstring bypass;
};

// Takes a string the platform allocated with GlobalAlloc and frees it.
std::wstring TakeGlobal(LPWSTR text) {
    std::wstring copy = text ? text : L"";
    if (text) ::GlobalFree(text);
    return copy;
}

UserSettings ReadWinHttpView() {
    UserSettings settings;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) return settings;
    settings.scriptUrl = TakeGlobal(config.lpszAutoConfigUrl);
    settings.proxy = TakeGlobal(config.lpszProxy);
    settings.bypass = TakeGlobal(config.lpszProxyBypass);
    return settings;
}

UserSettings ReadWinInetView() {
    UserSettings settings;
    ReadInternetSettingsProxy(settings.scriptUrl, settings.proxy, settings.bypass);
    return settings;
}

// Runs the user's automatic-configuration script for `url`. False when it cannot be
// fetched or run: the fixed settings then decide, as a browser falls back.
bool RouteByScript(const std::wstring& scriptUrl, const std::wstring& url, SystemRoute& route) {
    HINTERNET session = ::WinHttpOpen(L"LUMEXIACLIENT", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) return false;
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = scriptUrl.c_str();
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info = {};
    const BOOL found = ::WinHttpGetProxyForUrl(session, url.c_str(), &options, &info);
    ::WinHttpCloseHandle(session);
    if (!found) return false;
    const std::wstring proxy = TakeGlobal(info.lpszProxy);
    const std::wstring bypass = TakeGlobal(info.lpszProxyBypass);
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !proxy.empty()) {
        route.kind = SystemRoute::kNamed;
        route.proxy = proxy;
        route.bypass = bypass;
    } else {
        route.kind = SystemRoute::kDirect;
    }
    return true;
}

} // namespace

SystemRoute ResolveSystemProxy(const std::wstring& url) {
    UserSettings settings = ReadWinHttpView();
    if (settings.scriptUrl.empty() && settings.proxy.empty()) settings = ReadWinInetView();
    SystemRoute route;
    if (!settings.scriptUrl.empty() && RouteByScript(settings.scriptUrl, url, route)) return route;
    if (!settings.proxy.empty()) {
        route.kind = SystemRoute::kNamed;
        route.proxy = settings.proxy;
        route.bypass = settings.bypass;
    }
    return route;
}

std::wstring HttpProxyOfList(const std::wstring& list) {
    // Entries are separated by ";" or white space; "scheme=host:port" names a scheme's
    // proxy, a bare "host:port" serves every scheme.
    std::wstring bare;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find_first_of(L"; \t", start);
        if (end == std::wstring::npos) end = list.size();
        const std::wstring entry = list.substr(start, end - start);
        start = end + 1;
        if (entry.empty()) continue;
        const size_t equals = entry.find(L'=');
        if (equals == std::wstring::npos) {
            if (bare.empty()) bare = entry;
        } else if (_wcsicmp(entry.substr(0, equals).c_str(), L"http") == 0) {
            return entry.substr(equals + 1);
        }
    }
    return bare;
}

} // namespace lumexia
