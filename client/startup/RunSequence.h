// The one pass of user work per process: the options dialog and, when asked for, the
// processing and sending of the batch and the hand-out of the link codes.
#pragma once

#include "common/TaskFile.h"
#include "operations/Form4Server.h"

namespace lumexia {

void RunSequence(JobList& jobs);

// After the sending phase: whether the codes of `uploaded`, the pictures the service
// accepted, go to the clipboard. A phase that failed on its own first shows its outcome;
// one that did not run to its end asks before the codes are handed out.
bool ConfirmHandOut(const Form4Server& sending, const UploadedList& uploaded);

} // namespace lumexia
