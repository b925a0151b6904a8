// The operation of each kind. Each engineer adding an operation adds its case here.
#include "OperationContext.h"
#include "ProcessingPhase.h"
#include "SendingPhase.h"

namespace lumexia {

OperationFn FindOperation(int kind) {
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
