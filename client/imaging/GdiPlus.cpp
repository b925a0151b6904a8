#include "imaging/GdiPlus.h"

#include "common/Threads.h"

namespace lumexia {
namespace {

// Guards the token and the use count. Held only for a few instructions, never across a
// GDI+ call that draws or decodes, so an abandoned worker cannot keep the UI waiting
// for more than a startup or shutdown call.
struct GdiplusState {
    CriticalSection lock;
    ULONG_PTR token = 0;        // 0: not running, or shutdown requested
    ULONG_PTR pendingToken = 0; // running, but to be shut down by the last user
    int uses = 0;
};

// Never destroyed: an abandoned worker may still release its use during process exit.
GdiplusState& State() {
    static GdiplusState* state = new GdiplusState();
    return *state;
}

} // namespace

bool StartGdiplus() {
    GdiplusState& s = State();
    CriticalSectionLock lock(s.lock);
    if (s.token != 0) return true;
    if (s.pendingToken != 0) {
        // A shutdown was waiting for an abandoned worker: keep that instance instead.
        s.token = s.pendingToken;
        s.pendingToken = 0;
        return true;
    }
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    s.token = token;
    return token != 0;
}

void ShutdownGdiplus() {
    GdiplusState& s = State();
    CriticalSectionLock lock(s.lock);
    if (s.token == 0) return;
    if (s.uses > 0) {
        s.pendingToken = s.token;
    } else {
        Gdiplus::GdiplusShutdown(s.token);
    }
    s.token = 0;
}

ULONG_PTR GdiplusToken() {
    GdiplusState& s = State();
    CriticalSectionLock lock(s.lock);
    return s.token;
}

GdiplusUse::GdiplusUse() : active_(false) {
    GdiplusState& s = State();
    CriticalSectionLock lock(s.lock);
    if (s.token != 0) {
        ++s.uses;
        active_ = true;
    }
}

GdiplusUse::~GdiplusUse() {
    if (!active_) return;
    GdiplusState& s = State();
    CriticalSectionLock lock(s.lock);
    if (--s.uses == 0 && s.pendingToken != 0) {
        Gdiplus::GdiplusShutdown(s.pendingToken);
        s.pendingToken = 0;
    }
}

} // namespace lumexia
