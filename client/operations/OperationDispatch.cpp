// The operation of each kind. Each engineer adding an operation adds its case here.
#include "operations/AccountOperations.h"
#include "operations/OperationContext.h"
#include "operations/ProcessingPhase.h"
#include "operations/SendingPhase.h"
#include "operations/UpdateCheckOperation.h"

namespace lumexia {

OperationFn FindOperation(OperationKind kind) {
    switch (kind) {
    case kOperationAlbumList:
        return RunAlbumList;
    case kOperationLoginCheck:
        return RunLogin;
    case kOperationProcessing:
        return RunProcessing;
    case kOperationSending:
        return RunSending;
    case kOperationUpdateCheck:
        return RunUpdateCheck;
    default:
        return OperationFn();
    }
}

} // namespace lumexia
