// The current user's proxy settings as WinINet reads them (the per-user values ProxyEnable,
// ProxyServer, ProxyOverride, AutoConfigURL). Apart from SystemProxy.cpp because the WinINet
// and WinHTTP headers cannot share a translation unit.
#pragma once

#include <string>

namespace lumexia {

// Fills the script address and the fixed proxy with its bypass list of what is turned on;
// what is off, or cannot be read, stays empty. False when nothing could be read.
bool ReadInternetSettingsProxy(std::wstring& scriptUrl, std::wstring& proxy, std::wstring& bypass);

} // namespace lumexia
