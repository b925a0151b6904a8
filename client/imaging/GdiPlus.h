// GDI+ for the client: the process-wide start and shutdown, and move-only owners of the
// flat-interface objects (bitmaps, drawing surfaces, fonts, brushes) so that every
// object is released on every path.
//
// Lifetime hazard: GDI+ must not be shut down while any thread still uses one of its
// objects. A progress dialog can abandon its worker in the middle of a picture, so the
// users of GDI+ hold a GdiplusUse for each piece of work, and a shutdown requested while
// a use is held is carried out by the last user when it lets go.
#pragma once

#include "common/ScopedWin.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <string>

namespace lumexia {

namespace gp = Gdiplus::DllExports;

// Starts GDI+ for the process (version 1, no debug callback, background thread and
// external codecs allowed). False when it did not start; the token then stays 0.
// Starting while it already runs does nothing and reports true.
bool StartGdiplus();
// Shuts GDI+ down and clears the token. When a GdiplusUse is still held (an abandoned
// worker), the token is cleared at once so no new work starts, and the last use ends
// GDI+ when it is released.
void ShutdownGdiplus();
// The process's GDI+ token; 0 when GDI+ is not running (or a shutdown is pending).
ULONG_PTR GdiplusToken();

// Holds GDI+ running for one piece of work. Active() is false when GDI+ was not running
// at construction: the holder must then not call GDI+ at all.
class GdiplusUse {
public:
    GdiplusUse();
    ~GdiplusUse();
    GdiplusUse(const GdiplusUse&) = delete;
    GdiplusUse& operator=(const GdiplusUse&) = delete;
    bool Active() const { return active_; }

private:
    bool active_;
};

// Starts GDI+ for a scope (tests, tools) and shuts it down at the end.
class GdiplusSession {
public:
    GdiplusSession() : ok_(StartGdiplus()) {}
    ~GdiplusSession() { ShutdownGdiplus(); }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool Ok() const { return ok_; }

private:
    bool ok_;
};

// Owner traits of one GDI+ flat-interface object, released with `Free`.
template <typename T, Gdiplus::GpStatus(WINGDIPAPI* Free)(T*)> struct GpTraits {
    using Handle = T*;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { Free(h); }
};

inline Gdiplus::GpStatus WINGDIPAPI DisposeBitmap(Gdiplus::GpBitmap* b) {
    return gp::GdipDisposeImage(b);
}
inline Gdiplus::GpStatus WINGDIPAPI DeleteSolidFill(Gdiplus::GpSolidFill* b) {
    return gp::GdipDeleteBrush(b);
}

using GpBitmapPtr = Scoped<GpTraits<Gdiplus::GpBitmap, DisposeBitmap>>;
using GpGraphicsPtr = Scoped<GpTraits<Gdiplus::GpGraphics, gp::GdipDeleteGraphics>>;
using GpFontFamilyPtr = Scoped<GpTraits<Gdiplus::GpFontFamily, gp::GdipDeleteFontFamily>>;
using GpFontPtr = Scoped<GpTraits<Gdiplus::GpFont, gp::GdipDeleteFont>>;
using GpSolidFillPtr = Scoped<GpTraits<Gdiplus::GpSolidFill, DeleteSolidFill>>;

} // namespace lumexia
