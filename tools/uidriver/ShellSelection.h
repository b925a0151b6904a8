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

// Creates the handler `clsid` as Explorer finds it: a class registered for the current user
// (HKCU\Software\Classes) wins over the machine's. Wine's classes root does not merge the
// per-user classes, so such a class is loaded from its InprocServer32 module here; the
// module stays loaded for the life of the process, as in Explorer.
HRESULT CreateShellHandler(const CLSID& clsid, REFIID iid, void** object);

// Does what Explorer does when the user picks the handler's item: creates the handler
// `clsid`, initialises it with `paths`, builds its menu and invokes command 0. The item's
// text goes to `itemText` when given. Returns the first failing HRESULT. COM must be
// initialised on the calling thread.
HRESULT InvokeContextMenu(const CLSID& clsid, const std::vector<std::wstring>& paths, HWND owner,
                          std::wstring* itemText = nullptr);

} // namespace uidriver
