// The album box's table as the login flow builds it from the service's list.
#pragma once

#include "service/AlbumListCall.h"
#include "ui/FormMain.h"

namespace lumexia {

constexpr wchar_t kNoAlbumId[] = L"noall";
constexpr wchar_t kNoAlbumTitle[] = L"[Картинки без альбома]";

// ("noall", "[Картинки без альбома]") first, then the albums sorted by title, compared
// after the platform's lower-casing code unit by code unit; equal titles keep the
// service's order.
AlbumTable AlbumTableFrom(const AlbumList& albums);

} // namespace lumexia
