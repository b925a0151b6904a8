// Move-only owners for the Windows handles and COM resources the client and the
// extension hold. Every owner releases on every path, including early returns.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <ole2.h>

#include <utility>

namespace lumexia {

// Generic owner: Traits gives the invalid value and the release call.
template <typename Traits> class Scoped {
public:
    using Handle = typename Traits::Handle;
    Scoped() = default;
    explicit Scoped(Handle h) : h_(h) {}
    ~Scoped() { Reset(); }
    Scoped(Scoped&& o) noexcept : h_(o.Release()) {}
    Scoped& operator=(Scoped&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    Handle Get() const { return h_; }
    bool Valid() const { return h_ != Traits::Invalid(); }
    explicit operator bool() const { return Valid(); }
    Handle Release() {
        Handle h = h_;
        h_ = Traits::Invalid();
        return h;
    }
    void Reset(Handle h = Traits::Invalid()) {
        if (Valid()) Traits::Close(h_);
        h_ = h;
    }
    // For out-parameters: releases what is held and hands out the slot.
    Handle* Put() {
        Reset();
        return &h_;
    }

private:
    Handle h_ = Traits::Invalid();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
// CreateFileW and FindFirstFileW report failure as INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::FindClose(h); }
};
struct LocalMemTraits {
    using Handle = HLOCAL;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::LocalFree(h); }
};
struct GlobalMemTraits {
    using Handle = HGLOBAL;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::GlobalFree(h); }
};
struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DeleteObject(h); }
};
struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::RegCloseKey(h); }
};
struct BstrTraits {
    using Handle = BSTR;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::SysFreeString(h); }
};

using UniqueHandle = Scoped<KernelHandleTraits>;
using UniqueFile = Scoped<FileHandleTraits>;
using UniqueFind = Scoped<FindHandleTraits>;
using UniqueLocal = Scoped<LocalMemTraits>;
using UniqueGlobal = Scoped<GlobalMemTraits>;
using UniqueGdiObject = Scoped<GdiObjectTraits>;
using UniqueRegKey = Scoped<RegKeyTraits>;
using UniqueBstr = Scoped<BstrTraits>;

inline UniqueBstr MakeBstr(const wchar_t* text) {
    return UniqueBstr(::SysAllocString(text));
}

// VARIANT cleared on scope exit.
class ScopedVariant {
public:
    ScopedVariant() { ::VariantInit(&v_); }
    ~ScopedVariant() { ::VariantClear(&v_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT* operator&() { return &v_; }
    VARIANT& Get() { return v_; }

private:
    VARIANT v_;
};

// CoInitialize / CoUninitialize on the current thread; uninitialises only after a
// successful (S_OK or S_FALSE) initialisation, as COM requires.
class ScopedCoInit {
public:
    ScopedCoInit() : hr_(::CoInitialize(nullptr)) {}
    ~ScopedCoInit() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ScopedCoInit(const ScopedCoInit&) = delete;
    ScopedCoInit& operator=(const ScopedCoInit&) = delete;
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

class ScopedOleInit {
public:
    ScopedOleInit() : hr_(::OleInitialize(nullptr)) {}
    ~ScopedOleInit() {
        if (SUCCEEDED(hr_)) ::OleUninitialize();
    }
    ScopedOleInit(const ScopedOleInit&) = delete;
    ScopedOleInit& operator=(const ScopedOleInit&) = delete;

private:
    HRESULT hr_;
};

// Clipboard opened for the lifetime of the object; Opened() tells whether it was.
class ScopedClipboard {
public:
    explicit ScopedClipboard(HWND owner) : open_(::OpenClipboard(owner) != FALSE) {}
    ~ScopedClipboard() {
        if (open_) ::CloseClipboard();
    }
    ScopedClipboard(const ScopedClipboard&) = delete;
    ScopedClipboard& operator=(const ScopedClipboard&) = delete;
    bool Opened() const { return open_; }

private:
    bool open_;
};

} // namespace lumexia
