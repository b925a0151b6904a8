#include "operations/AccountOperations.h"

#include "service/AlbumListCall.h"
#include "service/LoginCall.h"

namespace lumexia {
namespace {

ServiceChannel ChannelOf(OperationContext& c, ProxyFailure& failure) {
    ServiceChannel channel;
    channel.answer = &c.answer;
    channel.cancel = &c.cancel;
    channel.proxy = c.RequestProxy();
    channel.proxyFailure = &failure;
    return channel;
}

} // namespace

void RunLogin(OperationContext& c) {
    LoginResult result;
    ProxyFailure failure;
    c.success = SignIn(ChannelOf(c, failure), c.userName, c.password, result, c.outcome);
    if (!c.success) {
        // The login's box then says the proxy is the cause (Cancel shows no box).
        AppendProxyFailureLine(c.outcome, failure);
        return;
    }
    c.userId = std::move(result.userId);
    c.userTicket = std::move(result.userTicket);
}

void RunAlbumList(OperationContext& c) {
    ProxyFailure failure;
    c.success = ListAlbums(ChannelOf(c, failure), c.userId, c.userTicket, c.albums, c.outcome);
    if (!c.success) AppendProxyFailureLine(c.outcome, failure);
}

} // namespace lumexia
