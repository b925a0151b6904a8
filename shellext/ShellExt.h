// The context-menu handler: one item that hands the Explorer selection to the client
// through a task file. It runs inside Explorer, so it never throws, counts references
// exactly and releases everything on every path.
#pragma once

#include "common/ScopedWin.h"
#include "shellext/ExtIdentity.h"
#include "shellext/StorageMedium.h"

#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

namespace lumexia::ext {

// The dual interface; no methods of its own.
struct ILumexiaShlExt : public IDispatch {};

class ShellExt final : public ILumexiaShlExt, public IShellExtInit, public IContextMenu {
public:
    // Class-factory entry: creates an object, aggregated when `outer` is given (then only
    // IID_IUnknown may be asked for).
    static HRESULT Create(IUnknown* outer, REFIID riid, void** object);

    // IUnknown (delegates to the controlling unknown).
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch, answered from the module's type library.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) override;

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT position, UINT firstCommand, UINT lastCommand,
                                  UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR command, UINT type, UINT* reserved, CHAR* name,
                                  UINT size) override;

private:
    // The identity the object has when it is not aggregated; when it is, the outer
    // object holds this and every other interface delegates to the outer one.
    class Inner : public IUnknown {
    public:
        explicit Inner(ShellExt* owner) : owner_(owner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;

    private:
        ShellExt* owner_;
    };

    explicit ShellExt(IUnknown* outer);
    virtual ~ShellExt();
    HRESULT LoadTypeInfo();
    void Publish(HWND owner);

    Inner inner_;
    IUnknown* controlling_; // outer unknown, or &inner_; never reference-counted here
    volatile LONG refs_ = 1;
    UniqueGdiObject bitmap_;  // the item's 13x13 picture
    StorageMedium selection_; // the CF_HDROP block of the last Initialize, or none
    Microsoft::WRL::ComPtr<ITypeInfo> typeInfo_;
};

} // namespace lumexia::ext
