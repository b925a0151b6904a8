// Self-registration. The registry scripts (REGISTRY resources 101 and 102) are run by the
// platform's registry-script engine, the Registrar object of the system's ATL library;
// the type library is registered from this module's TYPELIB resource.
#include "shellext/ExtIdentity.h"
#include "shellext/Module.h"
#include "common/ScopedWin.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <cwchar>
#include <new>
#include <string>

using Microsoft::WRL::ComPtr;

namespace lumexia::ext {

// The Registrar's interface; the platform ships no header for it. Declared in vtable
// order. It must not sit in an anonymous namespace: the compiler would then see that no
// class in this file implements it and drop every call through it as unreachable.
struct IRegistrar : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR file, LPCOLESTR id,
                                                         LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR file, LPCOLESTR id,
                                                           LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR file) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR file) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR file, UINT id,
                                                         LPCOLESTR type) = 0;
};

namespace {

const CLSID kClsidRegistrar = {
    0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
const IID kIidRegistrar = {
    0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

bool g_perUser = false; // set by DllInstall("user") for this load of the module

// Runs (or reverses) one registry script with the substitutions both scripts use.
HRESULT RunScript(int id, bool install) {
    IRegistrar* raw = nullptr;
    HRESULT hr = ::CoCreateInstance(kClsidRegistrar, nullptr, CLSCTX_INPROC_SERVER, kIidRegistrar,
                                    reinterpret_cast<void**>(&raw));
    if (FAILED(hr)) return hr;
    ComPtr<IRegistrar> registrar;
    registrar.Attach(raw);
    const std::wstring path = ModuleFilePath();
    registrar->AddReplacement(L"MODULE", path.c_str());
    registrar->AddReplacement(L"APPID", EXT_APPID_TEXT);
    return install ? registrar->ResourceRegister(path.c_str(), id, L"REGISTRY")
                   : registrar->ResourceUnregister(path.c_str(), id, L"REGISTRY");
}

using TypeLibRegisterFn = HRESULT(WINAPI*)(ITypeLib*, LPOLESTR, LPOLESTR);
using TypeLibUnregisterFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

template <typename Fn> Fn OleAutFunction(const char* name) {
    HMODULE oleaut = ::GetModuleHandleW(L"OLEAUT32.DLL");
    return oleaut ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(oleaut, name)))
                  : nullptr;
}

HRESULT RegisterTypeLibrary() {
    std::wstring path = ModuleFilePath();
    ComPtr<ITypeLib> library;
    HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.GetAddressOf());
    if (FAILED(hr)) return hr;
    if (g_perUser) {
        if (auto fn = OleAutFunction<TypeLibRegisterFn>("RegisterTypeLibForUser"))
            return fn(library.Get(), &path[0], nullptr);
    }
    return ::RegisterTypeLib(library.Get(), &path[0], nullptr);
}

HRESULT UnregisterTypeLibrary() {
#if defined(_WIN64)
    const SYSKIND kind = SYS_WIN64;
#else
    const SYSKIND kind = SYS_WIN32;
#endif
    if (g_perUser) {
        if (auto fn = OleAutFunction<TypeLibUnregisterFn>("UnRegisterTypeLibForUser"))
            return fn(kLibId, 1, 0, 0x409, kind);
    }
    return ::UnRegisterTypeLib(kLibId, 1, 0, 0x409, kind);
}

// For the duration: the thread runs in the system default locale, and with per-user
// registration the classes root is redirected to HKCU\Software\Classes so the scripts
// and the type library land there.
class RegistrationScope {
public:
    RegistrationScope() : locale_(::GetThreadLocale()) {
        ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
        if (g_perUser) {
            UniqueRegKey classes;
            status_ = ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, classes.Put(), nullptr);
            if (status_ == ERROR_SUCCESS) {
                // The override keeps its own reference; ours closes with the owner.
                status_ = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, classes.Get());
                overridden_ = status_ == ERROR_SUCCESS;
            }
        }
    }
    ~RegistrationScope() {
        if (overridden_) ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        ::SetThreadLocale(locale_);
    }
    HRESULT Status() const { return HRESULT_FROM_WIN32(status_); }

private:
    LCID locale_;
    LONG status_ = ERROR_SUCCESS;
    bool overridden_ = false;
};

HRESULT Register() {
    ScopedCoInit com;
    RegistrationScope scope;
    HRESULT hr = scope.Status();
    if (SUCCEEDED(hr)) hr = RunScript(kRegistryScriptAppId, true);
    if (SUCCEEDED(hr)) hr = RunScript(kRegistryScriptClass, true);
    if (SUCCEEDED(hr)) hr = RegisterTypeLibrary();
    return hr;
}

// Every step runs even after one failed, so rolling back a half-made install removes all
// it can; the result is the first failure.
HRESULT Unregister() {
    ScopedCoInit com;
    RegistrationScope scope;
    HRESULT hr = scope.Status();
    if (FAILED(hr)) return hr;
    const HRESULT steps[] = {RunScript(kRegistryScriptClass, false), UnregisterTypeLibrary(),
                             RunScript(kRegistryScriptAppId, false)};
    for (HRESULT step : steps)
        if (FAILED(step)) return step;
    return S_OK;
}

// The exports' bodies build strings and may run out of memory; nothing may escape into
// regsvr32 or an installer, so every failure becomes an HRESULT here.
template <typename Fn> HRESULT Guarded(Fn fn) {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace

} // namespace lumexia::ext

STDAPI DllRegisterServer() {
    return lumexia::ext::Guarded(lumexia::ext::Register);
}

STDAPI DllUnregisterServer() {
    return lumexia::ext::Guarded(lumexia::ext::Unregister);
}

STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    using namespace lumexia::ext;
    if (commandLine && _wcsicmp(commandLine, L"user") == 0) g_perUser = true;
    if (!install) return Guarded(Unregister);
    HRESULT hr = Guarded(Register);
    if (FAILED(hr)) Guarded(Unregister); // roll back what was written
    return hr;
}
