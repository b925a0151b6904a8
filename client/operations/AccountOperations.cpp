#include "operations/AccountOperations.h"

#include "service/AlbumListCall.h"
#include "service/LoginCall.h"

namespace lumexia {
namespace {

ServiceChannel ChannelOf(OperationContext& c) {
    ServiceChannel channel;
    channel.answer = &c.answer;
    channel.cancel = &c.cancel;
    channel.proxy = c.RequestProxy();
    return channel;
}

} // namespace

void RunLogin(OperationContext& c) {
    LoginResult result;
    c.success = SignIn(ChannelOf(c), c.userName, c.password, result, c.outcome);
    if (!c.success) return;
    c.userId = std::move(result.userId);
    c.userTicket = std::move(result.userTicket);
}

void RunAlbumList(OperationContext& c) {
    c.success = ListAlbums(ChannelOf(c), c.userId, c.userTicket, c.albums, c.outcome);
}

} // namespace lumexia
