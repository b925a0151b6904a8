// Operation kind 4: asks the download server for the current client version. Fills
// updateMajor, updateMinor and updatePath (an address safe for the shell); any failure,
// an unsafe update path included, leaves them 0, 0 and empty with the outcome "Ошибка
// получения данных с сервера".
#pragma once

#include "operations/OperationContext.h"

namespace lumexia {

void RunUpdateCheck(OperationContext& context);

} // namespace lumexia
