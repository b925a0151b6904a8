#include "framework/CenterOnOwner.h"

namespace lumexia {
namespace {

// Places a span of `size` centred on [refLow, refHigh) and pulls it back inside
// [boundLow, boundHigh), the far edge first, then the near one.
int Place(int refLow, int refHigh, int size, int boundLow, int boundHigh) {
    int at = (refLow + refHigh) / 2 - size / 2;
    if (at + size > boundHigh) at = boundHigh - size;
    if (at < boundLow) at = boundLow;
    return at;
}

} // namespace

void CenterOnOwner(HWND dialog) {
    RECT self;
    if (!::GetWindowRect(dialog, &self)) return;
    const int width = self.right - self.left;
    const int height = self.bottom - self.top;

    RECT reference, bounds;
    const LONG style = ::GetWindowLongW(dialog, GWL_STYLE);
    if (style & WS_CHILD) {
        HWND parent = ::GetParent(dialog);
        if (!parent || !::GetClientRect(parent, &bounds)) return;
        reference = bounds;
    } else {
        HWND owner = ::GetWindow(dialog, GW_OWNER);
        if (owner && (!::IsWindowVisible(owner) || ::IsIconic(owner))) owner = nullptr;
        HMONITOR monitor = ::MonitorFromWindow(owner ? owner : dialog, MONITOR_DEFAULTTONEAREST);
        MONITORINFO info;
        info.cbSize = sizeof(info);
        if (!monitor || !::GetMonitorInfoW(monitor, &info)) return;
        bounds = info.rcWork;
        if (!owner || !::GetWindowRect(owner, &reference)) reference = bounds;
    }
    const int x = Place(reference.left, reference.right, width, bounds.left, bounds.right);
    const int y = Place(reference.top, reference.bottom, height, bounds.top, bounds.bottom);
    ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace lumexia
