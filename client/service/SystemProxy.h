// The user's own proxy settings, for requests made while the client's proxy is off: what a
// browser on this account would use. Read per request (the user may change them while
// the client runs); never stored.
#pragma once

#include <string>

namespace lumexia {

struct SystemRoute {
    enum Kind {
        kAutomatic, // nothing explicit for this user: the platform's automatic choice
        kDirect,    // the user's script sends this address direct
        kNamed,     // a proxy from the user's settings or script
    } kind = kAutomatic;
    std::wstring proxy;  // kNamed: WinHTTP's proxy list ("host:port", "http=host:port;...")
    std::wstring bypass; // kNamed: hosts that go direct, as the user wrote them; may be empty
};

// The route the current user's Internet Settings give `url` ("http://host:port/path"):
// an automatic-configuration script first, then a fixed proxy with its bypass list.
SystemRoute ResolveSystemProxy(const std::wstring& url);

// The address of the HTTP proxy of a WinHTTP proxy list, for messages.
std::wstring HttpProxyOfList(const std::wstring& list);

} // namespace lumexia
