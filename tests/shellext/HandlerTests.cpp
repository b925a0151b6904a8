// The handler as Explorer drives it: create, initialise with a selection, build the menu,
// ask for help texts, invoke. Every test runs in a process of its own (one CTest entry
// each), so a module loaded from a scratch copy never meets the one in the bin folder.
#include "ShellTestSupport.h"

#include "common/DataFolder.h"
#include "common/TaskFile.h"
#include "ShellSelection.h"
#include "TestSupport.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <wrl/client.h>

#include <atomic>
#include <thread>

using Microsoft::WRL::ComPtr;
using namespace shelltest;

namespace {

const wchar_t kMenuText[] = L"Опубликовать на lumexia.ru";
const wchar_t kHelpText[] = L"Разместить изображения на ЛУМЕКСИЯ";
const int kFirstCommand = 40;

void EmptyDataFolder() {
    const std::wstring folder = lumexia::DataFolder();
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((folder + L"task*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do
        ::DeleteFileW((folder + entry.cFileName).c_str());
    while (::FindNextFileW(find, &entry));
    ::FindClose(find);
}

std::vector<std::wstring> TaskFiles() {
    std::vector<std::wstring> found;
    const std::wstring folder = lumexia::DataFolder();
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((folder + L"task*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return found;
    do
        found.push_back(folder + entry.cFileName);
    while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return found;
}

HRESULT Initialize(IUnknown* handler, const std::vector<std::wstring>& paths) {
    ComPtr<IShellExtInit> init;
    HRESULT hr = handler->QueryInterface(IID_PPV_ARGS(&init));
    if (FAILED(hr)) return hr;
    IDataObject* data = NewDropDataObject(paths);
    hr = init->Initialize(nullptr, data, nullptr);
    data->Release();
    return hr;
}

HRESULT InvokeOffset(IContextMenu* menu, UINT_PTR offset, HWND owner = nullptr) {
    CMINVOKECOMMANDINFO info = {sizeof info};
    info.hwnd = owner;
    info.lpVerb = reinterpret_cast<LPCSTR>(offset);
    return menu->InvokeCommand(&info);
}

// The module in the bin folder, registered for the length of one test process.
class RegisteredHandler : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(RunRegsvr32(L"/s"), 0u); }
    static void TearDownTestSuite() { RunRegsvr32(L"/s /u"); }
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(::CoInitialize(nullptr));
        EmptyDataFolder();
        ASSERT_HRESULT_SUCCEEDED(
            ::CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&menu_)));
    }
    void TearDown() override {
        menu_.Reset();
        client_.Kill();
        EmptyDataFolder();
        ::CoUninitialize();
    }
    testing_support::SettingsSetAside settings_;
    ComPtr<IContextMenu> menu_;
    uidriver::Process client_;
};

TEST_F(RegisteredHandler, AnswersItsInterfacesAndDescribesItselfThroughItsTypeLibrary) {
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(menu_.As(&dispatch));
    UINT count = 0;
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetTypeInfo(0, 0, &info));
    BSTR name = nullptr;
    ASSERT_HRESULT_SUCCEEDED(
        info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::wstring(name), std::wstring(L"I") + kClassName);
    ::SysFreeString(name);
    ComPtr<IUnknown> other;
    EXPECT_EQ(menu_.As(&other), S_OK);
    ComPtr<IStream> none;
    EXPECT_EQ(menu_.As(&none), E_NOINTERFACE);
}

TEST_F(RegisteredHandler, MenuItemWithBitmapAndNothingForTheDefaultVerb) {
    ASSERT_EQ(Initialize(menu_.Get(), {L"C:\\a.jpg"}), S_OK);
    HMENU menu = ::CreatePopupMenu();
    EXPECT_EQ(menu_->QueryContextMenu(menu, 0, kFirstCommand, kFirstCommand + 10, CMF_DEFAULTONLY),
              0);
    EXPECT_EQ(::GetMenuItemCount(menu), 0);

    EXPECT_EQ(menu_->QueryContextMenu(menu, 0, kFirstCommand, kFirstCommand + 10, CMF_NORMAL), 1);
    ASSERT_EQ(::GetMenuItemCount(menu), 1);
    wchar_t text[100] = {};
    ::GetMenuStringW(menu, 0, text, 100, MF_BYPOSITION);
    EXPECT_STREQ(text, kMenuText);
    MENUITEMINFOW item = {sizeof item};
    item.fMask = MIIM_ID | MIIM_CHECKMARKS;
    ASSERT_TRUE(::GetMenuItemInfoW(menu, 0, TRUE, &item));
    EXPECT_EQ(item.wID, static_cast<UINT>(kFirstCommand));
    ASSERT_NE(item.hbmpUnchecked, nullptr);
    BITMAP bitmap = {};
    ASSERT_TRUE(::GetObjectW(item.hbmpUnchecked, sizeof bitmap, &bitmap));
    EXPECT_EQ(bitmap.bmWidth, 13);
    EXPECT_EQ(bitmap.bmHeight, 13);
    ::DestroyMenu(menu);
}

TEST_F(RegisteredHandler, HelpTextInBothFormsAndInvalidRequestsRefused) {
    wchar_t wide[100] = {};
    EXPECT_EQ(
        menu_->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(wide), 100),
        S_OK);
    EXPECT_STREQ(wide, kHelpText);
    // Cut to the caller's buffer, terminator included.
    wchar_t small[6] = {};
    EXPECT_EQ(menu_->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(small), 6),
              S_OK);
    EXPECT_STREQ(small, L"Разме");

    char ansi[100] = {};
    EXPECT_EQ(menu_->GetCommandString(0, GCS_HELPTEXTA, nullptr, ansi, 100), S_OK);
    char expected[100] = {};
    ::WideCharToMultiByte(CP_THREAD_ACP, 0, kHelpText, -1, expected, 100, nullptr, nullptr);
    EXPECT_STREQ(ansi, expected);

    char buffer[100] = {};
    EXPECT_EQ(menu_->GetCommandString(0, GCS_VERBA, nullptr, buffer, 100), E_INVALIDARG);
    EXPECT_EQ(menu_->GetCommandString(0, GCS_VALIDATEA, nullptr, buffer, 100), E_INVALIDARG);
    EXPECT_EQ(menu_->GetCommandString(1, GCS_HELPTEXTW, nullptr, buffer, 50), E_INVALIDARG);
}

TEST_F(RegisteredHandler, VerbsByTextAndOtherOffsetsAreRefused) {
    ASSERT_EQ(Initialize(menu_.Get(), {L"C:\\a.jpg"}), S_OK);
    CMINVOKECOMMANDINFO info = {sizeof info};
    info.lpVerb = "open";
    EXPECT_EQ(menu_->InvokeCommand(&info), E_INVALIDARG);
    EXPECT_EQ(InvokeOffset(menu_.Get(), 1), E_INVALIDARG);
    EXPECT_TRUE(TaskFiles().empty());
}

TEST_F(RegisteredHandler, ADataObjectWithoutFilesIsRefused) {
    ComPtr<IShellExtInit> init;
    ASSERT_HRESULT_SUCCEEDED(menu_.As(&init));
    // An empty list of files still carries CF_HDROP; a folder object's data has none.
    IDataObject* data = nullptr;
    ASSERT_HRESULT_SUCCEEDED(::OleGetClipboard(&data)); // holds no files here
    EXPECT_TRUE(FAILED(init->Initialize(nullptr, data, nullptr)));
    data->Release();
}

TEST_F(RegisteredHandler, InvokingStartsTheClientWithTheSelection) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::vector<std::wstring> selection = {L"C:\\pics\\photo.jpg", L"C:\\docs\\a.txt",
                                                 L"C:\\docs\\b.txt", temp};
    ASSERT_EQ(Initialize(menu_.Get(), selection), S_OK);
    ASSERT_EQ(InvokeOffset(menu_.Get(), 0), S_OK);

    // The client beside the module reads the task file and shows its count.
    HWND dialog = uidriver::WaitForDialog(1045, 0, 20000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(uidriver::ControlText(dialog, 1045), L"Количество изображений 4");
    DWORD pid = 0;
    ::GetWindowThreadProcessId(dialog, &pid);
    // No login is stored, so the client asks for one (dialog 105); cancelling it leaves
    // the main dialog free to close.
    HWND login = uidriver::WaitForDialog(1027, pid, 20000);
    ASSERT_NE(login, nullptr);
    uidriver::Click(login, 1032);
    ASSERT_TRUE(uidriver::WaitForGone(login, 20000));
    uidriver::Close(dialog);
    EXPECT_TRUE(uidriver::WaitForGone(dialog, 20000));
    EXPECT_TRUE(TaskFiles().empty()); // the client removed it
}

// A copy of the module in a folder without the client: loaded directly, as the tests of
// the failure path and of the unload rule need a module of their own.
class ModuleCopy : public ::testing::Test {
protected:
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadFn = HRESULT(WINAPI*)();

    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(::CoInitialize(nullptr));
        EmptyDataFolder();
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"lumexia-ext-" + lumexia::NewHexId() + L"\\";
        ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
        copy_ = folder_ + kModuleFile;
        ASSERT_TRUE(::CopyFileW(ModulePath().c_str(), copy_.c_str(), FALSE));
        module_ = ::LoadLibraryW(copy_.c_str());
        ASSERT_NE(module_, nullptr);
        getClassObject_ = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(::GetProcAddress(module_, "DllGetClassObject")));
        canUnload_ = reinterpret_cast<CanUnloadFn>(
            reinterpret_cast<void*>(::GetProcAddress(module_, "DllCanUnloadNow")));
        ASSERT_TRUE(getClassObject_ && canUnload_);
        ASSERT_HRESULT_SUCCEEDED(getClassObject_(kClsid, IID_PPV_ARGS(&factory_)));
    }
    void TearDown() override {
        factory_.Reset();
        if (module_) ::FreeLibrary(module_);
        ::DeleteFileW(copy_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
        EmptyDataFolder();
        ::CoUninitialize();
    }
    std::wstring folder_, copy_;
    HMODULE module_ = nullptr;
    GetClassObjectFn getClassObject_ = nullptr;
    CanUnloadFn canUnload_ = nullptr;
    ComPtr<IClassFactory> factory_;
};

TEST_F(ModuleCopy, WithoutAClientTheErrorShowsAndTheTaskFileStays) {
    const std::wstring longPath = L"C:\\" + std::wstring(600, L'p') + L".jpg";
    const std::wstring longest = L"C:\\" + std::wstring(496, L'q'); // 499 units: one record
    const std::wstring recordEnd = std::wstring(L"C:\\a") + L'\u0A0D' + L"b.jpg";
    std::vector<std::wstring> selection = {L"C:\\Фото\\один.jpg", longPath, longest, recordEnd};
    for (int i = 0; i < 300; ++i)
        selection.push_back(L"C:\\many\\" + std::to_wstring(i) + L".png");
    ComPtr<IContextMenu> menu;
    ASSERT_HRESULT_SUCCEEDED(factory_->CreateInstance(nullptr, IID_PPV_ARGS(&menu)));
    ASSERT_EQ(Initialize(menu.Get(), selection), S_OK);

    std::wstring shown;
    std::thread user([&] { shown = uidriver::AnswerMessageBox(L"Error", IDOK, 20000); });
    EXPECT_EQ(InvokeOffset(menu.Get(), 0), S_OK);
    user.join();
    EXPECT_EQ(shown, L"Не удаётся запустить приложение ЛУМЕКСИЯ");

    const auto tasks = TaskFiles();
    ASSERT_EQ(tasks.size(), 1u);
    const std::wstring name = tasks[0].substr(tasks[0].find_last_of(L'\\') + 1);
    EXPECT_EQ(name.size(), 36u); // "task" + 32 hexadecimal digits
    // Records exactly as the format has them. A name too long for a record is left out,
    // not cut: a cut path may name another file; so is one holding the record end, which
    // would be read back as two paths.
    selection.erase(selection.begin() + 3);
    selection.erase(selection.begin() + 1);
    std::string expected;
    for (const auto& path : selection) {
        expected.append(reinterpret_cast<const char*>(path.data()), path.size() * 2);
        expected += "\r\n";
    }
    HANDLE file = ::CreateFileW(tasks[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string bytes(expected.size() + 16, '\0');
    DWORD got = 0;
    ::ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    ::CloseHandle(file);
    bytes.resize(got);
    EXPECT_TRUE(bytes == expected);
}

TEST_F(ModuleCopy, ASelectionThatCannotBeReadReplacesThePreviousOne) {
    ComPtr<IContextMenu> menu;
    ASSERT_HRESULT_SUCCEEDED(factory_->CreateInstance(nullptr, IID_PPV_ARGS(&menu)));
    ASSERT_EQ(Initialize(menu.Get(), {L"C:\\earlier\\a.jpg", L"C:\\earlier\\b.jpg"}), S_OK);
    ComPtr<IShellExtInit> init;
    ASSERT_HRESULT_SUCCEEDED(menu.As(&init));
    IDataObject* unreadable = uidriver::NewUnlockableDropDataObject();
    EXPECT_EQ(init->Initialize(nullptr, unreadable, nullptr), S_OK);
    unreadable->Release();
    // Publishing the earlier selection would fail here, with no client beside the module.
    std::atomic<bool> invoked{false};
    std::wstring shown;
    std::thread user([&] {
        uidriver::WaitUntil(
            [&] { return invoked.load() || uidriver::WaitForCaption(L"Error", 0) != nullptr; },
            20000);
        if (!invoked.load()) shown = uidriver::AnswerMessageBox(L"Error", IDOK, 1000);
    });
    EXPECT_EQ(InvokeOffset(menu.Get(), 0), S_OK);
    invoked = true;
    user.join();
    EXPECT_EQ(shown, L"");
    EXPECT_TRUE(TaskFiles().empty()); // the earlier selection is not published for this one
}

TEST_F(ModuleCopy, EmptySelectionDoesNothing) {
    ComPtr<IContextMenu> menu;
    ASSERT_HRESULT_SUCCEEDED(factory_->CreateInstance(nullptr, IID_PPV_ARGS(&menu)));
    EXPECT_EQ(InvokeOffset(menu.Get(), 0), S_OK); // never initialised: nothing to publish
    EXPECT_TRUE(TaskFiles().empty());
}

TEST_F(ModuleCopy, UnloadAllowedOnlyWithoutObjectsAndLocks) {
    factory_.Reset();
    EXPECT_EQ(canUnload_(), S_OK);
    ASSERT_HRESULT_SUCCEEDED(getClassObject_(kClsid, IID_PPV_ARGS(&factory_)));
    EXPECT_EQ(canUnload_(), S_FALSE); // a live factory counts
    ComPtr<IContextMenu> menu;
    ASSERT_HRESULT_SUCCEEDED(factory_->CreateInstance(nullptr, IID_PPV_ARGS(&menu)));
    factory_->LockServer(TRUE);
    factory_.Reset();
    EXPECT_EQ(canUnload_(), S_FALSE);
    menu.Reset();
    EXPECT_EQ(canUnload_(), S_FALSE); // the server lock remains
    ASSERT_HRESULT_SUCCEEDED(getClassObject_(kClsid, IID_PPV_ARGS(&factory_)));
    factory_->LockServer(FALSE);
    factory_.Reset();
    EXPECT_EQ(canUnload_(), S_OK);

    ComPtr<IUnknown> none;
    const CLSID other = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    EXPECT_EQ(getClassObject_(other, IID_PPV_ARGS(&none)), CLASS_E_CLASSNOTAVAILABLE);
}

// A minimal controlling object that counts what the inner object delegates to it.
struct Outer : IUnknown {
    LONG refs = 1;
    IUnknown* inner = nullptr;
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(riid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

TEST_F(ModuleCopy, AggregationDelegatesToTheOuterObject) {
    Outer outer;
    ComPtr<IContextMenu> refused;
    EXPECT_EQ(factory_->CreateInstance(&outer, IID_PPV_ARGS(&refused)), CLASS_E_NOAGGREGATION);

    ASSERT_HRESULT_SUCCEEDED(
        factory_->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
    EXPECT_EQ(outer.refs, 1);
    IContextMenu* menu = nullptr;
    ASSERT_HRESULT_SUCCEEDED(
        outer.inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    EXPECT_EQ(outer.refs, 2); // references on the interface go to the outer object
    IUnknown* identity = nullptr;
    menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    menu->Release();
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(canUnload_(), S_FALSE);
    outer.inner->Release();
    factory_.Reset();
    EXPECT_EQ(canUnload_(), S_OK);
}

} // namespace
