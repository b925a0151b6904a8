// The module object: its instance handle and the count of live objects and server locks
// that decides whether the module may be unloaded.
#pragma once

#include <windows.h>

#include <string>

namespace lumexia::ext {

HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

// The full path of this module's file, however long (Explorer may load it from a long
// path); empty when the system cannot report it.
std::wstring ModuleFilePath();

void ModuleAddRef();
void ModuleRelease();
LONG ModuleLockCount();

} // namespace lumexia::ext
