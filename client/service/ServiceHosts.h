// The servers the client talks to. Every exchange uses plain HTTP on port 80; the host
// names are fixed here and nowhere else, never built at run time.
#pragma once

namespace lumexia {

// The service's REST interface: login, albums, tags, uploads.
constexpr wchar_t ApiHost[] = L"api.lumexia.ru";
// The server that publishes client versions (the version page).
constexpr wchar_t DownloadHost[] = L"download.lumexia.ru";
constexpr unsigned short kServicePort = 80;

// The service's public web site. The page of a picture lives under "http://" + PageHost +
// "/F/"; only the link codes name it, the client never connects to it.
constexpr wchar_t PageHost[] = L"lumexia.ru";

} // namespace lumexia
