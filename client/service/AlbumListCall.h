// The signed-in user's albums: one request for page 1 of 100, in the service's order.
#pragma once

#include "service/ServiceExchange.h"

#include <string>
#include <vector>

namespace lumexia {

constexpr wchar_t kAlbumListPath[] = L"/api3/rest/getfalb/page/useriddate";
extern const wchar_t kAlbumListFailed[]; // "Ошибка получения данных с сервера"

// One album of the user as the service lists it.
struct AlbumEntry {
    std::wstring id;
    std::wstring title;
};
using AlbumList = std::vector<AlbumEntry>;

// Fills `albums` (emptied first) in answer order; albums without an Id or a Title are left
// out. An answer without albums is a success. On failure `outcome` is the service's Msg
// or kAlbumListFailed.
bool ListAlbums(const ServiceChannel& channel, const std::wstring& userId,
                const std::wstring& userTicket, AlbumList& albums, std::wstring& outcome);

} // namespace lumexia
