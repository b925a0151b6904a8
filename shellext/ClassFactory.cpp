// The class factory and the COM exports that hand it out. The table lists every class of
// the module; today there is one.
#include "shellext/ExtIdentity.h"
#include "shellext/Module.h"
#include "shellext/ShellExt.h"

#include <shlwapi.h>

#include <new>

namespace lumexia::ext {

namespace {

struct ClassEntry {
    const CLSID* clsid;
    HRESULT (*create)(IUnknown* outer, REFIID riid, void** object);
};

const ClassEntry kClasses[] = {
    {&kClsid, &ShellExt::Create},
};

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const ClassEntry* entry) : entry_(entry) { ModuleAddRef(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        // QISearch answers IID_IUnknown from the first entry.
        static const QITAB table[] = {
            {&IID_IClassFactory, OFFSETOFCLASS(IClassFactory, ClassFactory)},
            {nullptr, 0},
        };
        return ::QISearch(this, table, riid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        return entry_->create(outer, riid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ModuleAddRef();
        else
            ModuleRelease();
        return S_OK;
    }

private:
    virtual ~ClassFactory() { ModuleRelease(); }
    const ClassEntry* entry_;
    volatile LONG refs_ = 1;
};

} // namespace

} // namespace lumexia::ext

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    using namespace lumexia::ext;
    if (!object) return E_POINTER;
    *object = nullptr;
    for (const ClassEntry& entry : kClasses) {
        if (!IsEqualCLSID(clsid, *entry.clsid)) continue;
        ClassFactory* factory = new (std::nothrow) ClassFactory(&entry);
        if (!factory) return E_OUTOFMEMORY;
        HRESULT hr = factory->QueryInterface(riid, object);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
    return lumexia::ext::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}
