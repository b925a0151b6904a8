#include "RunSequence.h"

#include "FormMain.h"
#include "resource.h"

namespace lumexia {

void RunSequence(JobList& jobs) {
    FormMain main(&jobs);
    main.RunModal(IDD_MAIN, ::GetActiveWindow());
}

} // namespace lumexia
