// The body of one request written after its head, in pieces between which the caller's
// cancel flag is looked at. Used by HttpTransport only, on the exchange's own thread.
#pragma once

#include <windows.h>

#include <winhttp.h>

#include <atomic>

namespace lumexia {

// Writes `length` bytes of `body` with WinHttpWriteData; true once all of them went out.
// False, at a piece boundary, as soon as `cancel` (may be null) is set, or when a write
// fails or takes nothing.
bool WriteBody(HINTERNET request, const char* body, DWORD length, const std::atomic<bool>* cancel);

} // namespace lumexia
