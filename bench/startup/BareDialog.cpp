// The start-up benchmark's yardstick: a dialog program with nothing of its own. It shows
// the client's main template (same size, same controls, same manifest) with a procedure
// that only closes, after registering the control classes that template needs.
#include "resources/resource.h"

#include <windows.h>

#include <commctrl.h>

namespace {

INT_PTR CALLBACK BareProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_CLOSE) {
        ::EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&icc);
    ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, &BareProc, 0);
    return 0;
}
