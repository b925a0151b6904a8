// The proxy text a user types ("host:port", optionally "http://" in front and
// "user:password@" before the host) read into what WinHTTP needs: the proxy's name for the
// session and, apart from it, the credentials, which go to the proxy only when it asks.
// Pure text work, shared by the transport and the proxy dialog's check.
#pragma once

#include <string>

namespace lumexia {

enum class ProxyTextProblem {
    kNone,
    kEmpty,     // nothing but white space
    kSpaces,    // white space inside the text
    kScheme,    // a scheme other than http://
    kNoHost,    // nothing (or something no host name can be) before the port
    kNoPort,    // no ":port" at the end
    kPortRange, // a port that is not a number from 1 to 65535
    kBadEscape, // a "%" in the user name or password not followed by two hex digits
};

struct ProxyAddress {
    std::wstring hostPort; // "host:port" as WinHTTP takes a proxy name; shown to the user
    std::wstring user;     // percent-decoded; empty when the text names none
    std::wstring password; // percent-decoded; never shown, logged or stored elsewhere
    bool HasCredentials() const { return !user.empty() || !password.empty(); }
};

// Reads `text` (white space at both ends ignored). kNone with `out` filled, or the first
// problem found with `out` untouched. A text without "@" is read as before credentials
// existed: everything is the host and port.
ProxyTextProblem ParseProxyText(const std::wstring& text, ProxyAddress& out);

// The user's explanation of a problem, in Russian, for the proxy dialog's "Error" box.
std::wstring ProxyTextProblemMessage(ProxyTextProblem problem);

} // namespace lumexia
