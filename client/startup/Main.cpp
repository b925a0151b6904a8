#include "startup/Startup.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
        return lumexia::RunClient();
    } catch (...) {
        return 0;
    }
}
