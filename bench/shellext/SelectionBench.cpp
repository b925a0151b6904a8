// Selection: how long the extension's IShellExtInit::Initialize takes for a large Explorer
// selection. Explorer calls it on its own thread each time it builds the context menu,
// whether or not the item is then chosen, so its cost is a pause of Explorer.
//
// The module is loaded from the bin folder, as Explorer loads it, and its handler is
// given selections of 2,000 and 20,000 names of 70 characters each through a data object
// made here that hands out one prepared CF_HDROP block each time (kept alive through
// pUnkForRelease, so only the handler's own reading is timed). Each size is timed
// `repeats` times after one unmeasured call; the median is reported.
//
// Goals: 20,000 names in at most 50 ms, and the 20,000 figure at most 12 times the
// 2,000 one (reading that grows faster than the selection shows here first).
//
// Run alone: make bench BENCH=selection, or inside tools/winenv:
//     selection_bench.exe [REPEATS]   (default 20)
#include "BenchSupport.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

#if defined(_WIN64)
const wchar_t kModuleFile[] = L"Lumexia64Ext.dll";
const CLSID kClsid = {0x1F2374F4, 0xA301, 0x4C43, {0x96, 0x50, 0xFA, 0x1F, 0x05, 0x6C, 0x61, 0xC2}};
#else
const wchar_t kModuleFile[] = L"LumexiaExt.dll";
const CLSID kClsid = {0xC5622C16, 0xB7D6, 0x4C09, {0xAF, 0x5B, 0x82, 0xD0, 0xBD, 0x08, 0x57, 0x7C}};
#endif

// A CF_HDROP block of `count` names, each 70 characters, as the shell builds one.
HGLOBAL NewSelection(int count) {
    std::wstring list;
    for (int i = 0; i < count; ++i) {
        wchar_t name[80];
        std::swprintf(name, 80,
                      L"C:\\Users\\Anna\\Pictures\\Holiday 2026\\Day %02d\\IMG_2026%06d_edit.jpg",
                      i % 30, i);
        list += name;
        list += L'\0';
    }
    list += L'\0';
    HGLOBAL block = ::GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    if (!block) return nullptr;
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
    ::GlobalUnlock(block);
    return block;
}

// Hands out its one block; the receiver's ReleaseStgMedium releases this object instead
// of freeing the block. A handler may keep the medium, and so a reference on this
// object, past Initialize: the object lives until its last reference goes.
class SelectionData final : public IDataObject {
public:
    explicit SelectionData(HGLOBAL block) : block_(block) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block_;
        medium->pUnkForRelease = this;
        AddRef();
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
    ~SelectionData() { ::GlobalFree(block_); }
    HGLOBAL block_;
    ULONG refs_ = 1;
};

// The median time of `repeats` Initialize calls with `count` names; negative on failure.
double TimeInitialize(IShellExtInit* init, int count, int repeats) {
    HGLOBAL block = NewSelection(count);
    if (!block) return -1;
    SelectionData* data = new SelectionData(block);
    HRESULT hr = init->Initialize(nullptr, data, nullptr);
    std::vector<double> times;
    for (int i = 0; i < repeats && SUCCEEDED(hr); ++i) {
        const double start = bench::NowMs();
        hr = init->Initialize(nullptr, data, nullptr);
        times.push_back(bench::NowMs() - start);
    }
    data->Release();
    return SUCCEEDED(hr) ? bench::Quantile(times, 0.5) : -1;
}

IShellExtInit* CreateHandler() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path = path.substr(0, path.find_last_of(L'\\') + 1) + kModuleFile;
    HMODULE module = ::LoadLibraryW(path.c_str()); // stays loaded, as in Explorer
    if (!module) return nullptr;
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    if (!getClassObject ||
        FAILED(getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return nullptr;
    IShellExtInit* init = nullptr;
    factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init));
    factory->Release();
    return init;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int repeats = argc > 1 ? _wtoi(argv[1]) : 20;
    if (repeats < 1) {
        std::fprintf(stderr, "usage: selection_bench.exe [REPEATS]\n");
        return 2;
    }
    if (FAILED(::CoInitialize(nullptr))) return 1;
    IShellExtInit* init = CreateHandler();
    if (!init) {
        std::fprintf(stderr, "selection_bench: cannot load the extension's handler\n");
        return 1;
    }
    const double small = TimeInitialize(init, 2000, repeats);
    const double large = TimeInitialize(init, 20000, repeats);
    init->Release();
    ::CoUninitialize();
    if (small < 0 || large < 0) {
        std::fprintf(stderr, "selection_bench: Initialize failed\n");
        return 1;
    }
    std::printf("Initialize, median of %d: 2,000 names %.2f ms, 20,000 names %.2f ms\n", repeats,
                small, large);
    bench::Figure("extension Initialize, 2,000 names", bench::Format("%.3f ms", small), "-", "-");
    bench::Figure("extension Initialize, 20,000 names", bench::Format("%.3f ms", large), "<= 50 ms",
                  large <= 50 ? "yes" : "no");
    const double ratio = small > 0 ? large / small : 0;
    bench::Figure("extension Initialize, 20,000 / 2,000 names", bench::Format("%.1f", ratio),
                  "<= 12", ratio <= 12 ? "yes" : "no");
    return 0;
}
