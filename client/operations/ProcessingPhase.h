// Operation kind 3: every path of the job list becomes a prepared file in the data
// folder and a PreparedImage record; a picture that fails is skipped or ends the batch,
// as the user answers. The pictures are prepared on several threads (PictureWorkers.h),
// but reported, asked about and listed one by one in job-list order. Needs GDI+ started
// by the caller (StartGdiplus).
#pragma once

#include "operations/OperationContext.h"

namespace lumexia {

void RunProcessing(OperationContext& context);

} // namespace lumexia
