#include "shellext/ShellExt.h"

#include "common/DataFolder.h"
#include "common/DropFiles.h"
#include "shellext/Module.h"
#include "shellext/StorageMedium.h"
#include "common/ScopedWin.h"
#include "common/TaskFile.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <new>

namespace {

// GetCommandString's help-text requests: GCS_HELPTEXTA (1) and GCS_HELPTEXTW (5) share
// bit 0, and GCS_UNICODE (4) marks the wide form; verbs and validation have neither bit.
constexpr UINT kHelpTextRequestMask = GCS_HELPTEXTA | GCS_UNICODE;

// Whether the invocation asks for command offset 0. A verb is an offset only when it
// fits in 16 bits (IS_INTRESOURCE); any other value is a text's address, whatever its
// low words hold on a 64-bit system. An extended record with the Unicode flag carries
// the verb in its wide field too, and that one is what a Unicode caller means.
bool IsOurCommand(const CMINVOKECOMMANDINFO& info) {
    if (!IS_INTRESOURCE(info.lpVerb) || LOWORD(info.lpVerb) != 0) return false;
    if (info.cbSize < sizeof(CMINVOKECOMMANDINFOEX) || !(info.fMask & CMIC_MASK_UNICODE))
        return true;
    const auto& extended = reinterpret_cast<const CMINVOKECOMMANDINFOEX&>(info);
    return IS_INTRESOURCE(extended.lpVerbW) && LOWORD(extended.lpVerbW) == 0;
}

} // namespace

namespace lumexia::ext {

HRESULT ShellExt::Create(IUnknown* outer, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    ShellExt* ext = new (std::nothrow) ShellExt(outer);
    if (!ext) return E_OUTOFMEMORY;
    // The new object holds one reference on its inner unknown; the query adds the
    // caller's, and dropping ours leaves exactly that one.
    HRESULT hr = ext->inner_.QueryInterface(riid, object);
    ext->inner_.Release();
    return hr;
}

ShellExt::ShellExt(IUnknown* outer) : inner_(this), controlling_(outer ? outer : &inner_) {
    ModuleAddRef();
    bitmap_.Reset(::LoadBitmapW(ModuleInstance(), MAKEINTRESOURCEW(EXT_BITMAP_ID)));
}

ShellExt::~ShellExt() {
    // The owners release the bitmap, the selection and the type information before the
    // module may unload.
    bitmap_.Reset();
    selection_.Reset();
    typeInfo_.Reset();
    ModuleRelease();
}

STDMETHODIMP ShellExt::Inner::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *object = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    static const QITAB table[] = {
        {&kIid, OFFSETOFCLASS(ILumexiaShlExt, ShellExt)},
        {&IID_IDispatch, OFFSETOFCLASS(ILumexiaShlExt, ShellExt)},
        {&IID_IShellExtInit, OFFSETOFCLASS(IShellExtInit, ShellExt)},
        {&IID_IContextMenu, OFFSETOFCLASS(IContextMenu, ShellExt)},
        {nullptr, 0},
    };
    return ::QISearch(owner_, table, riid, object);
}

STDMETHODIMP_(ULONG) ShellExt::Inner::AddRef() {
    return ::InterlockedIncrement(&owner_->refs_);
}

STDMETHODIMP_(ULONG) ShellExt::Inner::Release() {
    LONG left = ::InterlockedDecrement(&owner_->refs_);
    if (left == 0) delete owner_;
    return static_cast<ULONG>(left);
}

STDMETHODIMP ShellExt::QueryInterface(REFIID riid, void** object) {
    return controlling_->QueryInterface(riid, object);
}
STDMETHODIMP_(ULONG) ShellExt::AddRef() {
    return controlling_->AddRef();
}
STDMETHODIMP_(ULONG) ShellExt::Release() {
    return controlling_->Release();
}

HRESULT ShellExt::LoadTypeInfo() {
    if (typeInfo_) return S_OK;
    const std::wstring path = ModuleFilePath();
    if (path.empty()) return E_FAIL;
    Microsoft::WRL::ComPtr<ITypeLib> library;
    HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    return library->GetTypeInfoOfGuid(kIid, typeInfo_.ReleaseAndGetAddressOf());
}

STDMETHODIMP ShellExt::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP ShellExt::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    HRESULT hr = LoadTypeInfo();
    if (FAILED(hr)) return hr;
    return typeInfo_.CopyTo(info);
}

STDMETHODIMP ShellExt::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    HRESULT hr = LoadTypeInfo();
    return FAILED(hr) ? hr : ::DispGetIDsOfNames(typeInfo_.Get(), names, count, ids);
}

STDMETHODIMP ShellExt::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argError) {
    HRESULT hr = LoadTypeInfo();
    if (FAILED(hr)) return hr;
    return ::DispInvoke(static_cast<ILumexiaShlExt*>(this), typeInfo_.Get(), id, flags, params,
                        result, exception, argError);
}

STDMETHODIMP ShellExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
    // A new selection replaces the previous one even when it cannot be read: choosing the
    // item must never publish files the user selected before.
    selection_.Reset();
    if (!data) return E_INVALIDARG;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    StorageMedium medium;
    HRESULT hr = data->GetData(&format, medium.Put());
    if (FAILED(hr)) return hr;
    // A source may answer with another medium than the one asked for; only a memory block
    // holds a DROPFILES list.
    if (medium.Get().tymed != TYMED_HGLOBAL) return DV_E_TYMED;
    // Explorer calls this on its own thread for every context menu, chosen or not, so the
    // names are only counted here, where they lie; they are copied out when the item is
    // chosen. The medium is this object's (or holds a reference on its source) until the
    // next Initialize or the object's end.
    try {
        if (CountDroppedNames(medium.Get().hGlobal) > 0) selection_ = std::move(medium);
    } catch (...) {
        // out of memory inside Explorer: offer nothing rather than fail
    }
    return S_OK;
}

STDMETHODIMP ShellExt::QueryContextMenu(HMENU menu, UINT position, UINT firstCommand,
                                        UINT lastCommand, UINT flags) {
    // No item is claimed unless it is in the menu: the caller counts the identifiers we
    // return as used, and a range with no room left has none to give.
    if (flags & CMF_DEFAULTONLY) return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 0);
    if (firstCommand > lastCommand ||
        !::InsertMenuW(menu, position, MF_BYPOSITION, firstCommand, kMenuText))
        return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 0);
    if (bitmap_) {
        HBITMAP bitmap = static_cast<HBITMAP>(bitmap_.Get());
        ::SetMenuItemBitmaps(menu, position, MF_BYPOSITION, bitmap, nullptr);
    }
    return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 1);
}

STDMETHODIMP ShellExt::GetCommandString(UINT_PTR command, UINT type, UINT*, CHAR* name, UINT size) {
    if (command != 0 || (type & kHelpTextRequestMask) == 0) return E_INVALIDARG;
    if (!name || size == 0) return E_INVALIDARG;
    if (type & GCS_UNICODE) {
        ::lstrcpynW(reinterpret_cast<wchar_t*>(name), kHelpText, static_cast<int>(size));
        return S_OK;
    }
    char ansi[256] = {};
    ::WideCharToMultiByte(CP_THREAD_ACP, 0, kHelpText, -1, ansi, sizeof ansi, nullptr, nullptr);
    ::lstrcpynA(name, ansi, static_cast<int>(size));
    return S_OK;
}

STDMETHODIMP ShellExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    if (!info || !IsOurCommand(*info)) return E_INVALIDARG;
    try {
        Publish(info->hwnd);
    } catch (...) {
        // Out of memory while building paths: nothing was started, nothing to undo.
    }
    return S_OK;
}

void ShellExt::Publish(HWND owner) {
    const JobList paths = DroppedNames(selection_.Get().hGlobal); // none when never given
    if (paths.empty()) return;
    const std::wstring folder = DataFolder();
    if (folder.empty()) return; // no per-user folder: nothing to hand over
    const std::wstring task = folder + L"task" + NewHexId();
    // A task file that cannot be written still starts the client, which then finds none.
    WriteTaskFile(task, paths);

    // The client beside this very module. Looking the module up by its file name instead
    // would, for a renamed copy, fall back to the host program's folder and start whatever
    // LumexiaClient.exe lay there; with two copies loaded it may name the other one.
    std::wstring program = ModuleFilePath();
    const size_t slash = program.find_last_of(L'\\');
    program = slash == std::wstring::npos ? std::wstring()
                                          : program.substr(0, slash + 1) + L"LumexiaClient.exe";
    std::wstring commandLine = L"\"" + task + L"\"";

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!program.empty() && ::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr,
                                             FALSE, 0, nullptr, nullptr, &startup, &process)) {
        UniqueHandle thread(process.hThread);
        UniqueHandle started(process.hProcess);
    } else {
        ::MessageBoxW(owner, kStartErrorText, L"Error", MB_OK);
    }
}

} // namespace lumexia::ext
