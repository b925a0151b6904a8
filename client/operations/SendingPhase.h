// Operation kind 2: every prepared picture is posted to the service, one request each;
// the accepted ones become UploadedImage records in order. A picture the service did not
// take is retried or ends the batch, as the user answers.
#pragma once

#include "operations/OperationContext.h"

namespace lumexia {

void RunSending(OperationContext& context);

} // namespace lumexia
