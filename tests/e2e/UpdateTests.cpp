// The start-up update check and the proxy link through the real client. The stand-in's
// version page decides whether the notice appears; the shell's handler for web addresses
// is a recorder program registered in the test prefix, so an accepted update is seen
// without a browser.
#include "StandIn.h"
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "common/TaskFile.h"
#include "imaging/GdiPlus.h"
#include "resources/resource.h"
#include "settings/SettingsGroups.h"
#include "TestPictures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace lumexia;
using namespace testing_support;

namespace {

const DWORD kWait = 30000;
const int kLoginAnonymous = 1033; // "Работать анонимно" of the login dialog

std::wstring ClientPath() {
    return uidriver::ProgramFolder() + L"LumexiaClient.exe";
}
std::wstring ShellLog() {
    return uidriver::ProgramFolder() + L"shell-opened.txt";
}

// Makes the recorder the handler of http and https addresses for the test's duration.
class ShellRecorder {
public:
    ShellRecorder() {
        const std::wstring command =
            L"\"" + uidriver::ProgramFolder() + L"shell_recorder.exe\" \"%1\"";
        for (int i = 0; i < 2; ++i) {
            HKEY key = nullptr;
            ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKeys[i], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr);
            wchar_t old[1024] = {};
            DWORD size = sizeof old;
            had_[i] = ::RegQueryValueExW(key, nullptr, nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
            old_[i] = old;
            Set(key, command);
            ::RegCloseKey(key);
        }
        RemoveFile(ShellLog());
    }
    ~ShellRecorder() {
        for (int i = 0; i < 2; ++i) {
            HKEY key = nullptr;
            if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKeys[i], 0, KEY_ALL_ACCESS, &key)) continue;
            if (had_[i])
                Set(key, old_[i]);
            else
                ::RegDeleteValueW(key, nullptr);
            ::RegCloseKey(key);
        }
        RemoveFile(ShellLog());
    }

private:
    static void Set(HKEY key, const std::wstring& text) {
        ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    static constexpr const wchar_t* kKeys[2] = {L"Software\\Classes\\http\\shell\\open\\command",
                                                L"Software\\Classes\\https\\shell\\open\\command"};
    bool had_[2] = {};
    std::wstring old_[2];
};

class StartupCheck : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
        ASSERT_HRESULT_SUCCEEDED(::OleInitialize(nullptr));
        settingsPath_ = DataFolder() + L"config2.txt";
        saved_ = ReadBytes(settingsPath_, &hadSettings_);
        RemoveFile(settingsPath_);
        EmptyDataFolder();
        proxy_.full = standin::ProxyText();
        proxy_.isUse = true;
        ASSERT_TRUE(SaveProxySettings(proxy_));
        standin::Reset();
    }
    void TearDown() override {
        client_.Kill();
        RemoveFile(settingsPath_);
        if (hadSettings_) WriteBytes(settingsPath_, saved_);
        EmptyDataFolder();
        ::OleUninitialize();
    }

    static void Publish(const std::string& major, const std::string& minor,
                        const std::string& path = "http://127.0.0.1/setup.exe") {
        standin::Post(L"/__version", "major=" + major + "&minor=" + minor + "&path=" + path);
    }
    static void ShowMinorUpdates(bool show) {
        NoticeFlags flags;
        flags.showUpdate = show;
        ASSERT_TRUE(SaveNoticeFlags(flags));
    }
    static std::wstring Picture() {
        const std::wstring path = NewScratchFolder() + L"p.jpg";
        GdiplusSession gdiplus;
        EXPECT_TRUE(test_pictures::SaveSolid(path, 64, 48, 0xFF808080, L"image/jpeg"));
        return path;
    }
    bool Start(const JobList& pictures = {L"C:\\absent.jpg"}) {
        client_.Kill();
        const std::wstring task = WriteNewTaskFile(pictures);
        return !task.empty() && client_.Start(ClientPath(), L"\"" + task + L"\"");
    }
    // What follows the check: the update notice, or else the login dialog, with which the
    // automatic login flow begins when no login is stored. Null when neither appeared.
    HWND NextDialog(bool* notice) {
        HWND found = nullptr;
        uidriver::WaitUntil(
            [&] {
                found = uidriver::WaitForDialog(IDC_UPDATE_TEXT, client_.Id(), 0);
                *notice = found != nullptr;
                if (!found) found = uidriver::WaitForDialog(kLoginAnonymous, client_.Id(), 0);
                return found != nullptr;
            },
            kWait);
        return found;
    }
    bool Offered() {
        bool notice = false;
        EXPECT_NE(NextDialog(&notice), nullptr);
        return notice;
    }
    // Dismisses the login dialog anonymously and returns the main dialog, ready for input.
    HWND MainAfterLogin() {
        bool notice = true;
        HWND login = NextDialog(&notice);
        if (!login || notice) return nullptr;
        uidriver::Click(login, kLoginAnonymous);
        uidriver::WaitForGone(login, kWait);
        return uidriver::WaitForDialog(IDC_FILE_COUNT, client_.Id(), kWait);
    }

    uidriver::Process client_;
    ProxySettings proxy_;
    std::wstring settingsPath_;
    std::string saved_;
    bool hadSettings_ = false;
};

TEST_F(StartupCheck, OffersOnlyAVersionNewerAsAPair) {
    struct Case {
        const char *major, *minor;
        bool showMinor, offered;
    } cases[] = {{"3", "1", true, false},
                 {"4", "0", false, true},
                 {"3", "2", true, true},
                 {"3", "2", false, false},
                 {"2", "5", true, false}};
    for (const Case& c : cases) {
        ShowMinorUpdates(c.showMinor);
        Publish(c.major, c.minor);
        ASSERT_TRUE(Start());
        EXPECT_EQ(Offered(), c.offered) << c.major << "." << c.minor << " " << c.showMinor;
    }
}

TEST_F(StartupCheck, DecliningWithTheBoxTickedOffersOnlyMajorVersionsLater) {
    Publish("3", "2");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Offered());
    HWND notice = uidriver::WaitForDialog(IDC_UPDATE_TEXT, client_.Id(), 0);
    EXPECT_EQ(uidriver::ControlText(notice, IDC_UPDATE_TEXT),
              L"На сервере доступна более новая версия приложения. Для установки новой версии "
              L"нажмите OK.");
    uidriver::SetChecked(notice, IDC_UPDATE_NOSHOW, true);
    uidriver::Click(notice, IDC_UPDATE_CANCEL);
    ASSERT_TRUE(uidriver::WaitForGone(notice, kWait));
    ASSERT_NE(MainAfterLogin(), nullptr); // the login flow follows the notice
    NoticeFlags flags;
    ASSERT_TRUE(LoadNoticeFlags(flags));
    EXPECT_FALSE(flags.showUpdate);
    EXPECT_TRUE(flags.showCompletion);

    ASSERT_TRUE(Start());
    EXPECT_FALSE(Offered());
    Publish("4", "0");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Offered());
}

TEST_F(StartupCheck, AcceptingOpensTheAddressAndEndsWithoutUploadOrSaving) {
    ShellRecorder recorder;
    const std::string address = "https://127.0.0.1:8443/setup.exe?from=3.1";
    Publish("4", "0", address);
    const std::string before = ReadBytes(settingsPath_);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Offered());
    HWND notice = uidriver::WaitForDialog(IDC_UPDATE_TEXT, client_.Id(), 0);
    uidriver::SetChecked(notice, IDC_UPDATE_NOSHOW, true);
    uidriver::Click(notice, IDC_UPDATE_OK);
    DWORD code = 1;
    ASSERT_TRUE(client_.Wait(kWait, &code));
    EXPECT_EQ(code, 0u);
    ASSERT_TRUE(uidriver::WaitUntil([] { return !ReadBytes(ShellLog()).empty(); }, kWait));
    EXPECT_EQ(ReadBytes(ShellLog()), address + "\n");
    EXPECT_EQ(standin::RequestCount(), 1); // the version page only, no upload
    EXPECT_EQ(ReadBytes(settingsPath_), before);
}

TEST_F(StartupCheck, AFailedOrRefusedCheckShowsNothingAndTheLoginFollows) {
    ShellRecorder recorder;
    for (const char* fault : {"status=500", "malformed=1", "omit=pathupd"}) {
        Publish("4", "0");
        standin::Post(L"/__script", std::string("path=/clients/shext2/lastvinfo.aspx&") + fault);
        ASSERT_TRUE(Start());
        EXPECT_FALSE(Offered()) << fault;
    }
    Publish("4", "0", "file:///C:/windows/notepad.exe");
    ASSERT_TRUE(Start());
    EXPECT_FALSE(Offered());
    EXPECT_FALSE(FileExists(ShellLog()));
}

TEST_F(StartupCheck, CheckProgressIsShownOnlyWhileTheCheckRuns) {
    standin::Post(L"/__script", "path=/clients/shext2/lastvinfo.aspx&delay=1.5");
    ASSERT_TRUE(Start());
    HWND progress = uidriver::WaitForCaption(L"Проверка обновлений", kWait);
    ASSERT_NE(progress, nullptr);
    // The answer is held back, so the request is out while the dialog still shows.
    ASSERT_TRUE(uidriver::WaitUntil([] { return standin::RequestCount() == 1; }, kWait));
    EXPECT_TRUE(::IsWindowVisible(progress));
    bool notice = true;
    ASSERT_NE(NextDialog(&notice), nullptr);
    EXPECT_FALSE(::IsWindow(progress) && ::IsWindowVisible(progress));
}

// The proxy link's setting reaches the next request: the stand-in, as the proxy, sees the
// upload in absolute form.
TEST_F(StartupCheck, ProxySetByTheLinkCarriesTheNextUpload) {
    ASSERT_TRUE(SaveProxySettings(ProxySettings()));
    const std::wstring picture = Picture();
    ASSERT_TRUE(Start({picture}));
    HWND main = MainAfterLogin();
    ASSERT_NE(main, nullptr);
    uidriver::ClickLink(main, IDC_PROXY_LINK);
    HWND dialog = uidriver::WaitForDialog(IDC_PROXY_FULL, client_.Id(), kWait);
    ASSERT_NE(dialog, nullptr);
    uidriver::SetChecked(dialog, IDC_PROXY_USE, true);
    uidriver::SetControlText(dialog, IDC_PROXY_FULL, standin::ProxyText());
    uidriver::Click(dialog, IDC_PROXY_OK);
    ASSERT_TRUE(uidriver::WaitForGone(dialog, kWait));
    uidriver::Click(main, IDC_UPLOAD);
    HWND clip = uidriver::WaitForDialog(IDC_CLIP_TEXT, client_.Id(), kWait);
    ASSERT_NE(clip, nullptr);
    const std::string head = standin::Head(standin::RequestCount() - 1);
    EXPECT_EQ(head.rfind("POST http://api.lumexia.ru:80/api3/rest/uplimg/prepared ", 0), 0u)
        << head;
    ProxySettings stored;
    ASSERT_TRUE(LoadProxySettings(stored));
    EXPECT_TRUE(stored.isUse);
    EXPECT_EQ(stored.full, standin::ProxyText());
}

// An empty proxy text with the box checked means no named proxy: requests take the
// system's configuration, which here (http_proxy, honoured by the platform) leads to the
// stand-in, and the stored values stay as they were.
TEST_F(StartupCheck, EmptyProxyTextMeansTheSystemConfiguration) {
    ProxySettings empty;
    empty.isUse = true;
    ASSERT_TRUE(SaveProxySettings(empty));
    const std::wstring picture = Picture();
    // The platform's own configuration: here the http_proxy variable, which leads to the
    // stand-in. A named proxy without a name would fail every request instead.
    ::SetEnvironmentVariableW(L"http_proxy", (L"http://" + standin::ProxyText()).c_str());
    const bool started = Start({picture});
    ::SetEnvironmentVariableW(L"http_proxy", nullptr);
    ASSERT_TRUE(started);
    HWND main = MainAfterLogin();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(standin::RequestCount(), 1); // the version check got through
    uidriver::Click(main, IDC_UPLOAD);
    ASSERT_NE(uidriver::WaitForDialog(IDC_CLIP_TEXT, client_.Id(), kWait), nullptr);
    EXPECT_EQ(standin::Head(1).rfind("POST http://api.lumexia.ru", 0), 0u);
    ProxySettings stored;
    ASSERT_TRUE(LoadProxySettings(stored));
    EXPECT_TRUE(stored.isUse);
    EXPECT_EQ(stored.full, L"");
}

} // namespace
