// The account operations of the progress dialog: the login check (kind 1) and the album
// list (kind 0), run on its worker with the inputs and outputs of OperationContext.
#pragma once

#include "operations/OperationContext.h"

namespace lumexia {

// userName, password in; userId, userTicket out (kept as they were on failure).
void RunLogin(OperationContext& c);
// userId, userTicket in; albums out, in the service's order.
void RunAlbumList(OperationContext& c);

} // namespace lumexia
