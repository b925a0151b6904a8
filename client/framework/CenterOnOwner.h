// Centring of a dialog on its owner (or its parent, for a child), kept inside the work
// area of the owner's monitor. Size and Z order stay; the dialog is not activated.
#pragma once

#include <windows.h>

namespace lumexia {

void CenterOnOwner(HWND dialog);

} // namespace lumexia
