// The module object: its instance handle and the count of live objects and server locks
// that decides whether the module may be unloaded.
#pragma once

#include <windows.h>

namespace lumexia::ext {

HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

void ModuleAddRef();
void ModuleRelease();
LONG ModuleLockCount();

} // namespace lumexia::ext
