// The proxy dialog, run inside the test process over a record and driven from a second
// thread: what it shows, what "ОК" stores (the text as typed, an empty one too), and that
// "Отмена" and the close box change nothing, neither the record nor the settings file.
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "resources/resource.h"
#include "settings/SettingsGroups.h"
#include "ui/Form4Proxy.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace lumexia;
using namespace testing_support;

namespace {

const DWORD kWait = 10000;

class ProxyDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(::OleInitialize(nullptr));
        path_ = DataFolder() + L"config2.txt";
        saved_ = ReadBytes(path_, &hadSettings_);
        RemoveFile(path_);
        stored_.address = L"10.1.1.1";
        stored_.port = L"3128";
        stored_.full = L"proxy.local:8080";
        stored_.isUse = false;
        ASSERT_TRUE(SaveProxySettings(stored_));
    }
    void TearDown() override {
        RemoveFile(path_);
        if (hadSettings_) WriteBytes(path_, saved_);
        ::OleUninitialize();
    }
    // Opens the dialog the way the proxy link does; `user` acts on it from another thread.
    void Edit(ProxySettings& record, const std::function<void(HWND)>& user) {
        std::thread driver([&] {
            HWND d = uidriver::WaitForDialog(IDC_PROXY_FULL, ::GetCurrentProcessId(), kWait);
            if (d) user(d);
        });
        EditProxySettings(record);
        driver.join();
    }
    static void Type(HWND d, bool use, const std::wstring& text) {
        uidriver::SetChecked(d, IDC_PROXY_USE, use);
        uidriver::SetControlText(d, IDC_PROXY_FULL, text);
    }

    std::wstring path_;
    std::string saved_;
    bool hadSettings_ = false;
    ProxySettings stored_;
};

TEST_F(ProxyDialog, ShowsTheRecordAndStoresTheTextAsTyped) {
    ProxySettings record = stored_;
    std::wstring shown, title;
    bool box = true;
    Edit(record, [&](HWND d) {
        shown = uidriver::ControlText(d, IDC_PROXY_FULL);
        box = uidriver::IsChecked(d, IDC_PROXY_USE);
        title = uidriver::ControlText(d, IDC_PROXY_TITLE);
        Type(d, true, L" 192.168.0.9 : 81 ");
        uidriver::Click(d, IDC_PROXY_OK);
    });
    EXPECT_EQ(shown, L"proxy.local:8080");
    EXPECT_FALSE(box);
    EXPECT_EQ(title, L"Использование прокси сервера");
    EXPECT_TRUE(record.isUse);
    EXPECT_EQ(record.full, L" 192.168.0.9 : 81 ");
    ProxySettings file;
    ASSERT_TRUE(LoadProxySettings(file));
    EXPECT_TRUE(file.isUse);
    EXPECT_EQ(file.full, L" 192.168.0.9 : 81 ");
    EXPECT_EQ(file.address, L"10.1.1.1");
    EXPECT_EQ(file.port, L"3128");
}

TEST_F(ProxyDialog, CheckedBoxWithAnEmptyTextIsStoredAsIs) {
    ProxySettings record = stored_;
    Edit(record, [&](HWND d) {
        Type(d, true, L"");
        uidriver::Click(d, IDC_PROXY_OK);
    });
    ProxySettings file;
    ASSERT_TRUE(LoadProxySettings(file));
    EXPECT_TRUE(file.isUse);
    EXPECT_EQ(file.full, L"");
    EXPECT_NE(ReadBytes(path_).find("name=\"proxyfull\" value=\"\""), std::string::npos);
}

TEST_F(ProxyDialog, CancelAndTheCloseBoxChangeNothing) {
    const std::string before = ReadBytes(path_);
    for (bool closeBox : {false, true}) {
        ProxySettings record = stored_;
        Edit(record, [&](HWND d) {
            Type(d, true, L"elsewhere:1");
            if (closeBox)
                uidriver::Close(d);
            else
                uidriver::Click(d, IDC_PROXY_CANCEL);
        });
        EXPECT_EQ(record.full, stored_.full);
        EXPECT_EQ(record.isUse, stored_.isUse);
        EXPECT_EQ(ReadBytes(path_), before);
    }
}

} // namespace
