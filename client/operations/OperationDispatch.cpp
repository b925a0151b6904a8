// The operation of each kind. Each engineer adding an operation adds its case here.
#include "operations/OperationContext.h"
#include "operations/ProcessingPhase.h"
#include "operations/SendingPhase.h"

namespace lumexia {

OperationFn FindOperation(OperationKind kind) {
    switch (kind) {
    case kOperationProcessing:
        return RunProcessing;
    case kOperationSending:
        return RunSending;
    default:
        return OperationFn();
    }
}

} // namespace lumexia
