#include "ShellTestSupport.h"

#include "UiDriver.h"

#include <shlobj.h>

namespace shelltest {

const wchar_t kModuleFile[] = L"Lumexia64Ext.dll";
const wchar_t kClsidText[] = L"{1F2374F4-A301-4C43-9650-FA1F056C61C2}";
const wchar_t kLibIdText[] = L"{BB3E3B1D-F270-4ABC-B06E-84673E13EDDC}";
const wchar_t kAppIdText[] = L"{5B65F6FC-39B7-406F-B0DB-436F01536109}";
const wchar_t kClassName[] = L"Lumexia64ShlExt";
const wchar_t kModuleName[] = L"Lumexia64Ext";
const CLSID kClsid = {0x1F2374F4, 0xA301, 0x4C43, {0x96, 0x50, 0xFA, 0x1F, 0x05, 0x6C, 0x61, 0xC2}};

std::wstring ModulePath() { return uidriver::ProgramFolder() + kModuleFile; }

DWORD RunRegsvr32(const std::wstring& arguments, const std::wstring& module) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring program = std::wstring(system) + L"\\regsvr32.exe";
    uidriver::Process process;
    if (!process.Start(program, L"regsvr32 " + arguments + L" \"" + module + L"\"")) return 999;
    DWORD code = 998;
    process.Wait(30000, &code);
    return code;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

std::wstring ReadValue(HKEY root, const std::wstring& path, const wchar_t* name, bool* found) {
    if (found) *found = false;
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return std::wstring();
    if (found) *found = true;
    return data;
}

std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    ::RegCloseKey(key);
    return names;
}

namespace {

class DropDataObject : public IDataObject {
public:
    explicit DropDataObject(const std::vector<std::wstring>& paths) : paths_(paths) {}

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
        if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL))
            return DV_E_FORMATETC;
        std::wstring list;
        for (const auto& path : paths_) list += path + L'\0';
        list += L'\0';
        HGLOBAL mem = ::GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
        if (!mem) return E_OUTOFMEMORY;
        auto* drop = static_cast<DROPFILES*>(::GlobalLock(mem));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
        ::GlobalUnlock(mem);
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
    volatile LONG refs_ = 1;
};

} // namespace

IDataObject* NewDropDataObject(const std::vector<std::wstring>& paths) {
    return new DropDataObject(paths);
}

} // namespace shelltest
