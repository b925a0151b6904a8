// A file selection as Explorer hands it to a context-menu handler: a data object whose
// only format is CF_HDROP (the platform's own helper for this is not implemented here).
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

namespace uidriver {

// Reference counted; starts with one reference.
IDataObject* NewDropDataObject(const std::vector<std::wstring>& paths);

// Does what Explorer does when the user picks the handler's item: creates the handler
// `clsid`, initialises it with `paths`, builds its menu and invokes command 0. Returns the
// first failing HRESULT. COM must be initialised on the calling thread.
HRESULT InvokeContextMenu(const CLSID& clsid, const std::vector<std::wstring>& paths, HWND owner);

} // namespace uidriver
