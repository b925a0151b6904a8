// The start-up update check and the proxy link through the real client. The stand-in's
// version page decides whether the notice appears; a recorder program registered as the
// prefix's handler of web addresses shows what the shell was asked to open.
#include "StandIn.h"
#include "StandInSettings.h"
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "common/TaskFile.h"
#include "imaging/GdiPlus.h"
#include "resources/resource.h"
#include "settings/SettingsGroups.h"
#include "TestPictures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace lumexia;
using namespace testing_support;

namespace {

const DWORD kWait = 30000;
const int kLoginAnonymous = 1033; // "Работать анонимно" of the login dialog
const wchar_t* const kShellKeys[] = {L"Software\\Classes\\http\\shell\\open\\command",
                                     L"Software\\Classes\\https\\shell\\open\\command"};

std::wstring ShellLog() {
    return uidriver::ProgramFolder() + L"shell-opened.txt";
}

bool SetDefaultValue(const wchar_t* key, const std::wstring& text) {
    return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, nullptr, REG_SZ, text.c_str(),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == 0;
}

class StartupCheck : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
        ASSERT_HRESULT_SUCCEEDED(::OleInitialize(nullptr));
        ASSERT_TRUE(proxySettings_.Saved());
        EmptyDataFolder();
        standin::Reset();
        // The recorder stands in for the browser; the prefix's own handler comes back after.
        for (int i = 0; i < 2; ++i) {
            DWORD size = sizeof oldHandler_[i];
            ::RegGetValueW(HKEY_LOCAL_MACHINE, kShellKeys[i], nullptr, RRF_RT_REG_SZ, nullptr,
                           oldHandler_[i], &size);
            ASSERT_TRUE(SetDefaultValue(kShellKeys[i], L"\"" + uidriver::ProgramFolder() +
                                                           L"shell_recorder.exe\" \"%1\""));
        }
        RemoveFile(ShellLog());
    }
    void TearDown() override {
        client_.Kill();
        for (int i = 0; i < 2; ++i)
            if (oldHandler_[i][0])
                SetDefaultValue(kShellKeys[i], oldHandler_[i]);
            else
                ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kShellKeys[i], nullptr);
        RemoveFile(ShellLog());
        EmptyDataFolder();
        ::OleUninitialize();
    }

    static void Publish(const std::string& version, const std::string& path = "http://h/s.exe") {
        const size_t dot = version.find('.');
        standin::Post(L"/__version", "major=" + version.substr(0, dot) +
                                         "&minor=" + version.substr(dot + 1) + "&path=" + path);
    }
    bool Start(const JobList& pictures = {L"C:\\absent.jpg"}) {
        client_.Kill();
        const std::wstring task = WriteNewTaskFile(pictures);
        return client_.Start(uidriver::ProgramFolder() + L"LumexiaClient.exe",
                             L"\"" + task + L"\"");
    }
    // What follows the check: the update notice (true), or else the dialog with which the
    // automatic login begins when no login is stored (false).
    bool Offered() {
        EXPECT_TRUE(uidriver::WaitUntil(
            [&] {
                notice_ = uidriver::WaitForDialog(IDC_UPDATE_TEXT, client_.Id(), 0);
                login_ = uidriver::WaitForDialog(kLoginAnonymous, client_.Id(), 0);
                return notice_ || login_;
            },
            kWait));
        return notice_ != nullptr;
    }
    // Goes on anonymously from the login dialog; returns the main dialog.
    HWND Anonymous() {
        if (Offered()) return nullptr;
        uidriver::Click(login_, kLoginAnonymous);
        uidriver::WaitForGone(login_, kWait);
        return uidriver::WaitForDialog(IDC_FILE_COUNT, client_.Id(), kWait);
    }
    // Uploads one picture from the main dialog; true when the codes' notice appeared.
    bool Upload(HWND main) {
        uidriver::Click(main, IDC_UPLOAD);
        return uidriver::WaitForDialog(IDC_CLIP_TEXT, client_.Id(), kWait) != nullptr;
    }
    static std::wstring Picture() {
        const std::wstring path = NewScratchFolder() + L"p.jpg";
        GdiplusSession gdiplus;
        EXPECT_TRUE(test_pictures::SaveSolid(path, 64, 48, 0xFF808080, L"image/jpeg"));
        return path;
    }

    uidriver::Process client_;
    HWND notice_ = nullptr, login_ = nullptr;
    StandInProxySettings proxySettings_;
    const std::wstring& settings_ = proxySettings_.Path();
    wchar_t oldHandler_[2][1024] = {};
};

TEST_F(StartupCheck, OffersOnlyAVersionNewerAsAPair) {
    const struct {
        const char* version;
        bool showMinor, offered;
    } cases[] = {{"3.1", true, false},
                 {"4.0", false, true},
                 {"3.2", true, true},
                 {"3.2", false, false},
                 {"2.5", true, false}};
    for (const auto& c : cases) {
        NoticeFlags flags;
        flags.showUpdate = c.showMinor;
        ASSERT_TRUE(SaveNoticeFlags(flags));
        Publish(c.version);
        ASSERT_TRUE(Start());
        EXPECT_EQ(Offered(), c.offered) << c.version << " notice " << c.showMinor;
    }
}

TEST_F(StartupCheck, DecliningWithTheBoxTickedOffersOnlyMajorVersionsLater) {
    Publish("3.2");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Offered());
    EXPECT_EQ(uidriver::ControlText(notice_, IDC_UPDATE_TEXT),
              L"На сервере доступна более новая версия приложения. Для установки новой версии "
              L"нажмите OK.");
    uidriver::SetChecked(notice_, IDC_UPDATE_NOSHOW, true);
    uidriver::Click(notice_, IDC_UPDATE_CANCEL);
    ASSERT_TRUE(uidriver::WaitForGone(notice_, kWait));
    ASSERT_NE(Anonymous(), nullptr); // the login flow follows
    NoticeFlags flags;
    ASSERT_TRUE(LoadNoticeFlags(flags));
    EXPECT_FALSE(flags.showUpdate);
    EXPECT_TRUE(flags.showCompletion);

    ASSERT_TRUE(Start());
    EXPECT_FALSE(Offered());
    Publish("4.0");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Offered());
}

TEST_F(StartupCheck, AcceptingOpensTheAddressAndEndsWithoutUploadOrSaving) {
    const std::string address = "https://127.0.0.1:8443/setup.exe?from=3.1";
    Publish("4.0", address);
    const std::string before = ReadBytes(settings_);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Offered());
    uidriver::SetChecked(notice_, IDC_UPDATE_NOSHOW, true);
    uidriver::Click(notice_, IDC_UPDATE_OK);
    DWORD code = 1;
    ASSERT_TRUE(client_.Wait(kWait, &code));
    EXPECT_EQ(code, 0u);
    ASSERT_TRUE(uidriver::WaitUntil([] { return !ReadBytes(ShellLog()).empty(); }, kWait));
    EXPECT_EQ(ReadBytes(ShellLog()), address + "\n");
    EXPECT_EQ(standin::RequestCount(), 1); // the version page only, no upload
    EXPECT_EQ(ReadBytes(settings_), before);
}

TEST_F(StartupCheck, AFailedOrRefusedCheckShowsNothingAndTheLoginFollows) {
    for (const char* fault : {"status=500", "malformed=1", "omit=pathupd"}) {
        Publish("4.0");
        standin::Post(L"/__script", std::string("path=/clients/shext2/lastvinfo.aspx&") + fault);
        ASSERT_TRUE(Start());
        EXPECT_FALSE(Offered()) << fault;
    }
    Publish("4.0", "file:///C:/windows/notepad.exe");
    ASSERT_TRUE(Start());
    EXPECT_FALSE(Offered());
    EXPECT_FALSE(FileExists(ShellLog()));

    // The check's progress dialog shows while the version page is held back, not after.
    standin::Post(L"/__script", "path=/clients/shext2/lastvinfo.aspx&delay=1.5");
    const int sent = standin::RequestCount();
    ASSERT_TRUE(Start());
    HWND progress = uidriver::WaitForCaption(L"Проверка обновлений", kWait);
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(uidriver::WaitUntil([&] { return standin::RequestCount() > sent; }, kWait));
    EXPECT_TRUE(::IsWindowVisible(progress));
    Offered();
    EXPECT_FALSE(::IsWindow(progress) && ::IsWindowVisible(progress));
}

TEST_F(StartupCheck, TheProxyLinksSettingCarriesTheNextUpload) {
    ASSERT_TRUE(SaveProxySettings(ProxySettings()));
    ASSERT_TRUE(Start({Picture()}));
    HWND main = Anonymous();
    ASSERT_NE(main, nullptr);
    uidriver::ClickLink(main, IDC_PROXY_LINK);
    HWND dialog = uidriver::WaitForDialog(IDC_PROXY_FULL, client_.Id(), kWait);
    ASSERT_NE(dialog, nullptr);
    uidriver::SetChecked(dialog, IDC_PROXY_USE, true);
    uidriver::SetControlText(dialog, IDC_PROXY_FULL, standin::ProxyText());
    uidriver::Click(dialog, IDC_PROXY_OK);
    ASSERT_TRUE(uidriver::WaitForGone(dialog, kWait));
    ASSERT_TRUE(Upload(main));
    // The stand-in, as the proxy, sees the request in absolute form.
    EXPECT_EQ(standin::Head(0).rfind("POST http://api.lumexia.ru:80/api3/rest/uplimg/", 0), 0u);
}

// Box checked, text empty: no proxy at all, not even the platform's configuration (here
// the http_proxy variable, which leads to the stand-in): the requests go straight to the
// service's hosts, which do not resolve here, so the stand-in sees nothing. The stored
// values stay.
TEST_F(StartupCheck, AnEmptyProxyTextMeansDirect) {
    ProxySettings empty;
    empty.isUse = true;
    ASSERT_TRUE(SaveProxySettings(empty));
    ::SetEnvironmentVariableW(L"http_proxy", (L"http://" + standin::ProxyText()).c_str());
    const bool started = Start({Picture()});
    ::SetEnvironmentVariableW(L"http_proxy", nullptr);
    ASSERT_TRUE(started);
    HWND main = Anonymous();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(standin::RequestCount(), 0); // the version check went direct and failed
    ProxySettings stored;
    ASSERT_TRUE(LoadProxySettings(stored));
    EXPECT_TRUE(stored.isUse);
    EXPECT_EQ(stored.full, L"");
}

} // namespace
