// The edges of the handler's COM surface that Explorer and scripts may reach: ranges with
// no room, menus that refuse the item, verbs given as texts wherever the record carries
// one, and data objects whose medium is not a memory block. The module in the bin folder
// is loaded directly; nothing here publishes, so no client starts.
#include "ShellTestSupport.h"

#include "UiDriver.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <wrl/client.h>

#include <cstring>

using Microsoft::WRL::ComPtr;
using namespace shelltest;

namespace {

class HandlerSurface : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(::CoInitialize(nullptr));
        module_ = ::LoadLibraryW(ModulePath().c_str());
        ASSERT_NE(module_, nullptr);
        using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
        auto getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(::GetProcAddress(module_, "DllGetClassObject")));
        ASSERT_NE(getClassObject, nullptr);
        ComPtr<IClassFactory> factory;
        ASSERT_HRESULT_SUCCEEDED(getClassObject(kClsid, IID_PPV_ARGS(&factory)));
        ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&menu_)));
    }
    void TearDown() override {
        menu_.Reset();
        if (module_) ::FreeLibrary(module_);
        ::CoUninitialize();
    }
    HMODULE module_ = nullptr;
    ComPtr<IContextMenu> menu_; // never given a selection: invoking it publishes nothing
};

TEST_F(HandlerSurface, ClaimsNoCommandWhenItAddsNoItem) {
    HMENU menu = ::CreatePopupMenu();
    // The caller's range has no room left.
    EXPECT_EQ(menu_->QueryContextMenu(menu, 0, 41, 40, CMF_NORMAL), S_OK);
    EXPECT_EQ(::GetMenuItemCount(menu), 0);
    // A range of exactly one identifier is room enough.
    EXPECT_EQ(menu_->QueryContextMenu(menu, 0, 40, 40, CMF_NORMAL), 1);
    EXPECT_EQ(::GetMenuItemCount(menu), 1);
    ::DestroyMenu(menu);
    // A menu that no longer exists takes no item.
    EXPECT_EQ(menu_->QueryContextMenu(menu, 0, 40, 50, CMF_NORMAL), S_OK);
}

TEST_F(HandlerSurface, AVerbTextAnywhereAbove64KIsNoCommandOffset) {
    // A text whose address has zero low 32 bits: the low and high words of the pointer
    // are both zero, as for offset 0, but the address is no offset.
    char* text = nullptr;
    for (ULONG_PTR base = 0x100000000ull; !text && base < 0x10000000000ull; base += 0x100000000ull)
        text = static_cast<char*>(::VirtualAlloc(reinterpret_cast<void*>(base), 0x10000,
                                                 MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(reinterpret_cast<ULONG_PTR>(text) & 0xFFFFFFFFu, 0u);
    std::strcpy(text, "open");
    CMINVOKECOMMANDINFO info = {sizeof info};
    info.lpVerb = text;
    EXPECT_EQ(menu_->InvokeCommand(&info), E_INVALIDARG);
    ::VirtualFree(text, 0, MEM_RELEASE);

    info.lpVerb = MAKEINTRESOURCEA(0);
    EXPECT_EQ(menu_->InvokeCommand(&info), S_OK); // offset 0: the command (nothing to publish)
}

TEST_F(HandlerSurface, TheUnicodeVerbCountsWhenTheRecordSaysSo) {
    CMINVOKECOMMANDINFOEX info = {};
    info.cbSize = sizeof info;
    info.fMask = CMIC_MASK_UNICODE;
    info.lpVerb = MAKEINTRESOURCEA(0);
    info.lpVerbW = L"open";
    EXPECT_EQ(menu_->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), E_INVALIDARG);
    info.lpVerbW = MAKEINTRESOURCEW(1);
    EXPECT_EQ(menu_->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), E_INVALIDARG);
    info.lpVerbW = MAKEINTRESOURCEW(0);
    EXPECT_EQ(menu_->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), S_OK);
    // Without the Unicode flag the wide field is not part of the request.
    info.fMask = 0;
    info.lpVerbW = L"open";
    EXPECT_EQ(menu_->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), S_OK);
}

// Offers CF_HDROP only as a stream, which a handler must not take for a memory block.
class StreamDropData final : public IDataObject {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
        IStream* stream = nullptr;
        HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
        if (FAILED(hr)) return hr;
        stream->Write("C:\\a.jpg\0\0", 10, nullptr);
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = stream;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC*) override { return S_OK; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    ULONG refs = 1;
};

TEST_F(HandlerSurface, AMediumOtherThanAMemoryBlockIsRefused) {
    ComPtr<IShellExtInit> init;
    ASSERT_HRESULT_SUCCEEDED(menu_.As(&init));
    StreamDropData data;
    EXPECT_EQ(init->Initialize(nullptr, &data, nullptr), DV_E_TYMED);
    EXPECT_EQ(data.refs, 1u);
}

} // namespace
