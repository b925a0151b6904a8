// The tests' view of the real proxies (tinyproxy, tools/proxy/proxy-ctl) that a test run
// starts in front of the stand-in: their ports and their logs.
#pragma once

#include <string>

namespace tinyproxy {

// "open": passes the service's hosts on to the stand-in. "auth": the same behind Basic
// authentication with kUser and kPassword.
constexpr char kOpen[] = "open";
constexpr char kAuth[] = "auth";
constexpr wchar_t kUser[] = L"lumexia";
constexpr wchar_t kPassword[] = L"s3cret-pw";

// Port of the named proxy of this run; 0 when none runs (no LUMEXIA_PROXY_DIR).
int Port(const char* name);
// "127.0.0.1:PORT" of the named proxy, as the client's proxy text names it.
std::wstring Address(const char* name);
// The proxy's log as it is now.
std::string Log(const char* name);
// How many requests the proxy logged for `url` ("POST http://api.lumexia.ru/...") from
// byte `from` of its log on.
int LoggedRequests(const char* name, const std::string& url, size_t from = 0);

} // namespace tinyproxy
