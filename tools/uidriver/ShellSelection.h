// A file selection as Explorer hands it to a context-menu handler: a data object whose
// only format is CF_HDROP (the platform's own helper for this is not implemented here).
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

namespace uidriver {

// A drop handle as the shell builds one: DROPFILES followed by the double-null-ended
// names. Only meaningful inside this process; freed by its receiver (DragFinish).
HGLOBAL NewDropHandle(const std::vector<std::wstring>& paths);

// Reference counted; starts with one reference.
IDataObject* NewDropDataObject(const std::vector<std::wstring>& paths);
// A data object that claims CF_HDROP but hands out a block that cannot be locked (no
// memory behind it), as a failing source may.
IDataObject* NewUnlockableDropDataObject();

// Does what Explorer does when the user picks the handler's item: creates the handler
// `clsid`, initialises it with `paths`, builds its menu and invokes command 0. Returns the
// first failing HRESULT. COM must be initialised on the calling thread.
HRESULT InvokeContextMenu(const CLSID& clsid, const std::vector<std::wstring>& paths, HWND owner);

} // namespace uidriver
