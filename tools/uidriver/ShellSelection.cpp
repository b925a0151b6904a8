#include "ShellSelection.h"

#include <shlobj.h>

namespace uidriver {

namespace {

class DropDataObject : public IDataObject {
public:
    DropDataObject(const std::vector<std::wstring>& paths, bool lockable)
        : paths_(paths), lockable_(lockable) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        // A moveable block of size 0 is a discarded one: a real handle that cannot be
        // locked.
        HGLOBAL mem = lockable_ ? NewDropHandle(paths_) : ::GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!mem) return E_OUTOFMEMORY;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = mem;
        medium->pUnkForRelease = nullptr; // the receiver frees it with ReleaseStgMedium
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    virtual ~DropDataObject() = default;
    std::vector<std::wstring> paths_;
    bool lockable_;
    volatile LONG refs_ = 1;
};

} // namespace

HGLOBAL NewDropHandle(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const auto& path : paths)
        list += path + L'\0';
    list += L'\0';
    HGLOBAL mem = ::GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    if (!mem) return nullptr;
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(mem));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
    ::GlobalUnlock(mem);
    return mem;
}

IDataObject* NewDropDataObject(const std::vector<std::wstring>& paths) {
    return new DropDataObject(paths, true);
}

IDataObject* NewUnlockableDropDataObject() {
    return new DropDataObject({}, false);
}

} // namespace uidriver

namespace uidriver {

namespace {

// The per-user class's module path; empty when the class is not registered for the user.
std::wstring PerUserServer(const CLSID& clsid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(clsid, text, 40);
    const std::wstring key =
        std::wstring(L"Software\\Classes\\CLSID\\") + text + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path,
                       &size) != ERROR_SUCCESS)
        return {};
    return path;
}

} // namespace

HRESULT CreateShellHandler(const CLSID& clsid, REFIID iid, void** object) {
    *object = nullptr;
    const std::wstring server = PerUserServer(clsid);
    if (server.empty())
        return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
    HMODULE module = ::LoadLibraryW(server.c_str());
    if (!module) return HRESULT_FROM_WIN32(::GetLastError());
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject) return CO_E_ERRORINDLL;
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, iid, object);
    factory->Release();
    return hr;
}

HRESULT InvokeContextMenu(const CLSID& clsid, const std::vector<std::wstring>& paths, HWND owner,
                          std::wstring* itemText) {
    IShellExtInit* init = nullptr;
    HRESULT hr = CreateShellHandler(clsid, IID_IShellExtInit, reinterpret_cast<void**>(&init));
    if (FAILED(hr)) return hr;
    IDataObject* data = NewDropDataObject(paths);
    hr = init->Initialize(nullptr, data, nullptr);
    data->Release();
    IContextMenu* menu = nullptr;
    if (SUCCEEDED(hr)) hr = init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    init->Release();
    if (FAILED(hr)) return hr;
    HMENU popup = ::CreatePopupMenu();
    hr = menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
    if (SUCCEEDED(hr) && itemText) {
        wchar_t text[200] = {};
        ::GetMenuStringW(popup, 0, text, 200, MF_BYPOSITION);
        *itemText = text;
    }
    if (SUCCEEDED(hr)) {
        CMINVOKECOMMANDINFO info = {sizeof info};
        info.hwnd = owner;
        info.nShow = SW_SHOWNORMAL;
        hr = menu->InvokeCommand(&info); // command offset 0: the handler's one item
    }
    ::DestroyMenu(popup);
    menu->Release();
    return hr;
}

} // namespace uidriver
