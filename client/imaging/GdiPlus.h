// GDI+ for the client: the process-wide start and shutdown, and move-only owners of the
// flat-interface objects (bitmaps, drawing surfaces, fonts, brushes) so that every
// object is released on every path.
//
// Lifetime hazard: GDI+ must not be shut down while any thread still uses one of its
// objects. A progress dialog can abandon its worker in the middle of a picture, so the
// users of GDI+ hold a GdiplusUse for each piece of work, and a shutdown requested while
// a use is held is carried out by the last user when it lets go.
#pragma once

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

// Owner of one GDI+ flat-interface object.
template <typename T, Gdiplus::GpStatus(WINGDIPAPI* Free)(T*)> class GpOwner {
public:
    GpOwner() = default;
    ~GpOwner() { Reset(); }
    GpOwner(GpOwner&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    GpOwner& operator=(GpOwner&& o) noexcept {
        if (this != &o) {
            Reset();
            p_ = o.p_;
            o.p_ = nullptr;
        }
        return *this;
    }
    GpOwner(const GpOwner&) = delete;
    GpOwner& operator=(const GpOwner&) = delete;

    T* Get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Releases what is held and hands out the slot for a Gdip...Create call.
    T** Put() {
        Reset();
        return &p_;
    }
    void Reset() {
        if (p_) Free(p_);
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

inline Gdiplus::GpStatus WINGDIPAPI DisposeBitmap(Gdiplus::GpBitmap* b) {
    return gp::GdipDisposeImage(b);
}
inline Gdiplus::GpStatus WINGDIPAPI DeleteSolidFill(Gdiplus::GpSolidFill* b) {
    return gp::GdipDeleteBrush(b);
}

using GpBitmapPtr = GpOwner<Gdiplus::GpBitmap, DisposeBitmap>;
using GpGraphicsPtr = GpOwner<Gdiplus::GpGraphics, gp::GdipDeleteGraphics>;
using GpFontFamilyPtr = GpOwner<Gdiplus::GpFontFamily, gp::GdipDeleteFontFamily>;
using GpFontPtr = GpOwner<Gdiplus::GpFont, gp::GdipDeleteFont>;
using GpSolidFillPtr = GpOwner<Gdiplus::GpSolidFill, DeleteSolidFill>;

} // namespace lumexia
