// The download server's version page: which client version is current and where to get
// it, read from an answer that arrives over plain HTTP, possibly through a proxy the user
// named, and is therefore untrusted. Its update path is handed to the shell, which would
// run a local program, open a share or start any registered protocol handler; only an
// absolute web address may ever get there (ShellSafeUpdateAddress).
#pragma once

#include "service/HttpTransport.h"

#include "ClientVersion.h"

#include <string>

namespace lumexia {

constexpr wchar_t kVersionPath[] = L"/clients/shext2/lastvinfo.aspx";

// This client's own version as the comparison uses it (the project version).
constexpr int kClientMajor = LUMEXIA_VERSION_MAJOR;
constexpr int kClientMinor = LUMEXIA_VERSION_MINOR;

struct VersionInfo {
    int major = 0;
    int minor = 0;
    std::wstring updateAddress; // as ShellSafeUpdateAddress gives it, never empty
};

// Posts the empty form (only the final delimiter, 38 bytes) with `request` (host, path,
// answer buffer, cancel flag and proxy filled by the caller) and reads //info/majornum,
// //info/minornum and //info/pathupd. False when the exchange fails, the answer is not
// XML, an element is missing or the update path is not a safe web address. A number that
// is not numeric reads as 0.
bool RequestVersionInfo(const PostRequest& request, VersionInfo& info);

// `text` as an absolute http:// or https:// address that is safe to hand to the shell, or
// empty when it is not one. The address is parsed, not prefix-matched: the scheme is
// followed by "//" and a host (registered name, IPv4 or bracketed IPv6), an optional port
// from 1 to 65535, no user information; every character is a printable ASCII character
// that an address may hold, so no space, quote, backslash or control character can break
// out of the browser's command line, and every "%" starts an escape of two hexadecimal
// digits. The scheme comes back in lower case, the rest unchanged.
std::wstring ShellSafeUpdateAddress(const std::wstring& text);

// Whether the server's version is worth offering: newer as a pair than this client's, a
// newer minor version only while the user still wants those (`showMinorUpdates`). A lower
// major version is never offered, whatever its minor number.
bool IsUpdateOffered(int major, int minor, bool showMinorUpdates);

} // namespace lumexia
