// The proxy dialog, run inside the test process the way the proxy link runs it and driven
// from a second thread: what it shows, what "ОК" stores (the text as typed, an empty one
// too), that a text which cannot be a proxy is refused with the dialog left open, and
// that "Отмена" and the close box change neither the record nor the file.
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "resources/resource.h"
#include "settings/SettingsGroups.h"
#include "ui/Form4Proxy.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>
#include <thread>

using namespace lumexia;
using namespace testing_support;

namespace {

class ProxyDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(::OleInitialize(nullptr));
        saved_ = ReadBytes(path_, &hadSettings_);
        RemoveFile(path_);
        stored_ = {L"10.1.1.1", L"3128", L"proxy.local:8080", false};
        ASSERT_TRUE(SaveProxySettings(stored_));
    }
    void TearDown() override {
        RemoveFile(path_);
        if (hadSettings_) WriteBytes(path_, saved_);
        ::OleUninitialize();
    }
    // Opens the dialog over a copy of the stored record; `user` acts on it, then `end`
    // (a button, or 0 for the close box) ends it.
    ProxySettings Edit(bool use, const std::wstring& text, int end) {
        ProxySettings record = stored_;
        std::thread user([&] {
            HWND d = uidriver::WaitForDialog(IDC_PROXY_FULL, ::GetCurrentProcessId(), 10000);
            if (!d) return;
            shown_ = uidriver::ControlText(d, IDC_PROXY_FULL);
            shownUse_ = uidriver::IsChecked(d, IDC_PROXY_USE);
            uidriver::SetChecked(d, IDC_PROXY_USE, use);
            uidriver::SetControlText(d, IDC_PROXY_FULL, text);
            end ? uidriver::Click(d, end) : uidriver::Close(d);
        });
        EditProxySettings(record);
        user.join();
        return record;
    }

    const std::wstring path_ = DataFolder() + L"config2.txt";
    std::string saved_;
    bool hadSettings_ = false;
    ProxySettings stored_;
    std::wstring shown_;
    bool shownUse_ = true;
};

TEST_F(ProxyDialog, OkStoresTheTextAsTypedAndLeavesAddressAndPort) {
    for (const std::wstring& typed :
         {std::wstring(L" 192.168.0.9:81 "), std::wstring(L"u%40x:p@proxy:3128"), std::wstring()}) {
        const ProxySettings record = Edit(true, typed, IDC_PROXY_OK);
        EXPECT_EQ(shown_, stored_.full);
        EXPECT_FALSE(shownUse_);
        ProxySettings file;
        ASSERT_TRUE(LoadProxySettings(file));
        for (const ProxySettings& p : {record, file}) {
            EXPECT_TRUE(p.isUse);
            EXPECT_EQ(p.full, typed);
            EXPECT_EQ(p.address, L"10.1.1.1");
            EXPECT_EQ(p.port, L"3128");
        }
    }
}

TEST_F(ProxyDialog, ATextThatCannotBeAProxyIsRefusedAndTheDialogStaysOpen) {
    const std::string before = ReadBytes(path_);
    ProxySettings record = stored_;
    std::vector<std::wstring> errors;
    bool stayedOpen = true;
    std::thread user([&] {
        HWND d = uidriver::WaitForDialog(IDC_PROXY_FULL, ::GetCurrentProcessId(), 10000);
        if (!d) return;
        uidriver::SetChecked(d, IDC_PROXY_USE, true);
        for (const wchar_t* bad : {L"proxy.local", L"proxy.local:70000", L"proxy local:8080",
                                   L"https://proxy.local:8080", L"socks5://proxy.local:1080"}) {
            uidriver::SetControlText(d, IDC_PROXY_FULL, bad);
            uidriver::Click(d, IDC_PROXY_OK);
            errors.push_back(uidriver::AnswerMessageBox(L"Error", IDOK, 10000));
            stayedOpen = stayedOpen && ::IsWindowVisible(d);
        }
        uidriver::Click(d, IDC_PROXY_CANCEL);
    });
    EditProxySettings(record);
    user.join();
    ASSERT_EQ(errors.size(), 5u);
    for (const std::wstring& text : errors)
        EXPECT_NE(text.find(L"прокси"), std::wstring::npos) << uidriver::ToUtf8(text);
    EXPECT_NE(errors[0].find(L"порт"), std::wstring::npos);
    EXPECT_NE(errors[1].find(L"65535"), std::wstring::npos);
    EXPECT_NE(errors[2].find(L"пробел"), std::wstring::npos);
    EXPECT_NE(errors[3].find(L"http://"), std::wstring::npos);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(record.full, stored_.full);
    EXPECT_EQ(ReadBytes(path_), before);
}

TEST_F(ProxyDialog, CancelAndTheCloseBoxChangeNothing) {
    const std::string before = ReadBytes(path_);
    for (int end : {IDC_PROXY_CANCEL, 0}) {
        const ProxySettings record = Edit(true, L"elsewhere:1", end);
        EXPECT_EQ(record.full, stored_.full);
        EXPECT_FALSE(record.isUse);
        EXPECT_EQ(ReadBytes(path_), before);
    }
}

} // namespace
