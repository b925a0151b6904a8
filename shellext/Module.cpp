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
std::wstring ModuleFilePath() {
    // GetModuleFileNameW cuts the name to the buffer without saying how long it is, so
    // the buffer grows until the name fits, up to the longest path the system has.
    constexpr DWORD kLongestPath = 32768;
    std::wstring path;
    for (DWORD size = MAX_PATH; size <= kLongestPath; size *= 2) {
        path.assign(size, L'\0');
        const DWORD length = ::GetModuleFileNameW(g_instance, &path[0], size);
        if (length == 0) break;
        if (length < size) {
            path.resize(length);
            return path;
        }
    }
    return std::wstring();
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
