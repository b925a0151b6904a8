// The one pass of user work per process: the options dialog and, when asked for, the
// processing and sending of the batch and the hand-out of the link codes.
#pragma once

#include "common/TaskFile.h"

namespace lumexia {

void RunSequence(JobList& jobs);

} // namespace lumexia
