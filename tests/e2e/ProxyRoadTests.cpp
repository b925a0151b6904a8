// The road of a user behind an office proxy: the real client, its proxy setting naming a
// real proxy (tinyproxy, tools/proxy/proxy-ctl) in front of the stand-in. Update check,
// automatic login, album list, a tag query and the upload of three pictures all pass the
// proxy; each request is in the proxy's log and in the stand-in's journal, its form whole.
// (The proxy's password is tested at the transport, tests/service/ProxyTests.cpp: under
// Wine the 407 of tinyproxy's BasicAuth is lost for small bodies, see there.)
#include "StandIn.h"
#include "TinyProxy.h"
#include "UiDriver.h"

#include "common/DataFolder.h"
#include "common/TaskFile.h"
#include "settings/SettingsGroups.h"
#include "TestPictures.h"
#include "TestSupport.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace lumexia;
using namespace testing_support;

namespace {

const DWORD kWait = 60000;

int Journalled(const std::string& path) {
    return std::atoi(standin::Get(L"/__journal/count" + FromUtf8(path)).c_str());
}

class ProxyRoad : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
        ASSERT_NE(tinyproxy::Port(tinyproxy::kOpen), 0) << "no tinyproxy for this run";
        ASSERT_HRESULT_SUCCEEDED(::OleInitialize(nullptr));
        EmptyDataFolder();
        standin::Reset();
        standin::Post(L"/__account", "login=anna&password=p&id=700&title=Море&title=Горы");
        standin::Post(L"/__tags", "tags=" + ToUtf8(L"закат") + "%0A" + ToUtf8(L"зима"));
        ProxySettings proxy;
        proxy.isUse = true;
        proxy.full = tinyproxy::Address(tinyproxy::kOpen);
        ASSERT_TRUE(SaveProxySettings(proxy));
        UserCredentials login;
        login.userName = L"anna";
        login.password = L"p";
        ASSERT_TRUE(SaveCredentials(login));
        folder_ = NewScratchFolder();
    }
    void TearDown() override {
        client_.Kill();
        EmptyDataFolder();
        ::OleUninitialize();
    }
    JobList ThreePictures() {
        const JobList paths = test_pictures::WriteRoadPictures(folder_);
        EXPECT_EQ(paths.size(), 3u);
        return paths;
    }

    SettingsSetAside aside_;
    uidriver::Process client_;
    std::wstring folder_;
};

} // namespace

TEST_F(ProxyRoad, EveryRequestPassesTheProxy) {
    const size_t logged = tinyproxy::Log(tinyproxy::kOpen).size();
    const JobList pictures = ThreePictures();
    const std::wstring task = WriteNewTaskFile(pictures);
    ASSERT_TRUE(
        client_.Start(uidriver::ProgramFolder() + L"LumexiaClient.exe", L"\"" + task + L"\""));
    HWND dialog = uidriver::WaitForDialog(IDC_FILE_COUNT, client_.Id(), kWait);
    ASSERT_TRUE(dialog);
    // First paint: version page, automatic login, album list, all through the proxy.
    ASSERT_TRUE(uidriver::WaitUntil(
        [&] { return uidriver::Text(dialog).find(L"[anna]") != std::wstring::npos; }, kWait))
        << ToUtf8(uidriver::Text(dialog));
    EXPECT_EQ(uidriver::ComboItems(dialog, IDC_ALBUM).size(), 3u);

    HWND list = uidriver::WaitForWindow(L"MainLB", client_.Id(), kWait);
    ASSERT_TRUE(list);
    uidriver::TypeText(::GetDlgItem(dialog, IDC_TAGS), L"зак", 50);
    ASSERT_TRUE(uidriver::WaitUntil(
        [&] { return ::IsWindowVisible(list) && ::SendMessageW(list, LB_GETCOUNT, 0, 0) == 1; },
        kWait));

    uidriver::Click(dialog, IDC_UPLOAD);
    HWND notice = uidriver::WaitForDialog(IDC_CLIP_OK, client_.Id(), kWait);
    ASSERT_TRUE(notice);
    uidriver::Click(notice, IDC_CLIP_OK);
    DWORD code = 1;
    EXPECT_TRUE(client_.Wait(kWait, &code) && code == 0);

    // Each request in the stand-in's journal and in the proxy's log.
    const std::pair<const char*, const char*> calls[] = {
        {"http://download.lumexia.ru:80", "/clients/shext2/lastvinfo.aspx"},
        {"http://api.lumexia.ru:80", "/api3/rest/login/step1"},
        {"http://api.lumexia.ru:80", "/api3/rest/login/step2"},
        {"http://api.lumexia.ru:80", "/api3/rest/getfalb/page/useriddate"},
        {"http://api.lumexia.ru:80", "/api3/rest/getimgtag/substr"},
        {"http://api.lumexia.ru:80", "/api3/rest/uplimg/prepared"}};
    for (const auto& call : calls) {
        const int journalled = Journalled(call.second);
        EXPECT_GE(journalled, 1) << call.second;
        EXPECT_EQ(tinyproxy::LoggedRequests(
                      tinyproxy::kOpen, std::string("POST ") + call.first + call.second, logged),
                  journalled)
            << call.second;
    }
    ASSERT_EQ(Journalled("/api3/rest/uplimg/prepared"), 3);

    // The forms arrived whole: the stand-in read every part, and the GIF, sent as it is,
    // kept its size.
    const std::string gif = ReadBytes(pictures[2]);
    bool gifSeen = false;
    for (int i = 0; i < standin::RequestCount(); ++i) {
        const std::string head = standin::Head(i);
        if (head.find("/uplimg/prepared") == std::string::npos) continue;
        EXPECT_EQ(standin::Field(i, "RESPTYPE"), "xml");
        EXPECT_EQ(standin::Field(i, "USER_ID"), "700");
        for (const std::string& field : standin::Fields(i))
            if (field.find("anim.gif:") != std::string::npos)
                gifSeen = field.substr(field.rfind(':') + 1) == std::to_string(gif.size());
    }
    EXPECT_TRUE(gifSeen);
}
