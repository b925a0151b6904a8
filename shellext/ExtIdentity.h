// Identity of this build of the extension: CLSID, IID, LIBID and texts shared by both.
#pragma once

#include "ExtBuild.h"

#include <windows.h>

namespace lumexia::ext {

extern const CLSID kClsid;
extern const IID kIid;
extern const GUID kLibId;

// Menu item, status-bar help and the one error message.
extern const wchar_t kMenuText[];
extern const wchar_t kHelpText[];
extern const wchar_t kStartErrorText[];

constexpr int kRegistryScriptAppId = 101;
constexpr int kRegistryScriptClass = 102;

} // namespace lumexia::ext
