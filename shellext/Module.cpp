#include "shellext/Module.h"

namespace lumexia::ext {

namespace {
HINSTANCE g_instance = nullptr;
volatile LONG g_locks = 0;
} // namespace

HINSTANCE ModuleInstance() {
    return g_instance;
}
void SetModuleInstance(HINSTANCE instance) {
    g_instance = instance;
}
void ModuleAddRef() {
    ::InterlockedIncrement(&g_locks);
}
void ModuleRelease() {
    ::InterlockedDecrement(&g_locks);
}
LONG ModuleLockCount() {
    return g_locks;
}

} // namespace lumexia::ext

// DllMain only records the module handle: nothing else is safe under the loader lock.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        lumexia::ext::SetModuleInstance(instance);
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
