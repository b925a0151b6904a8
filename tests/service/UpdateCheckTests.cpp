// The version request against the stand-in: the empty form, the three elements read as
// decimal numbers, the failure text, and an update path refused unless it is an absolute
// web address, the only kind the shell can do nothing with but browse.
#include "StandIn.h"
#include "TestSupport.h"

#include "operations/OperationContext.h"
#include "operations/UpdateCheckOperation.h"
#include "service/UpdateCheck.h"

#include "ClientVersion.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <objbase.h>

using namespace lumexia;

namespace {

class VersionRequest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
        ASSERT_HRESULT_SUCCEEDED(::CoInitialize(nullptr));
        standin::Reset();
    }
    void TearDown() override { ::CoUninitialize(); }

    // Runs the check on this thread, as the progress dialog's worker would; `fault`, when
    // given, is scripted for the version page.
    void Check(const std::string& major, const std::string& minor, const std::string& path,
               const std::string& fault = "") {
        standin::Post(L"/__version", "major=" + major + "&minor=" + minor + "&path=" + path);
        if (!fault.empty())
            standin::Post(L"/__script", "path=/clients/shext2/lastvinfo.aspx&" + fault);
        c_.useProxy = true;
        c_.proxy.isUse = true;
        c_.proxy.full = standin::ProxyText();
        c_.updateMajor = 7;
        RunUpdateCheck(c_);
    }
    void ExpectFailure(const std::string& what) {
        EXPECT_FALSE(c_.success) << what;
        EXPECT_EQ(c_.outcome, L"Ошибка получения данных с сервера") << what;
        EXPECT_EQ(c_.updateMajor, 0) << what;
        EXPECT_EQ(c_.updatePath, L"") << what;
    }

    OperationContext c_{kOperationUpdateCheck};
};

TEST_F(VersionRequest, SendsTheEmptyFormAndReadsTheThreeElements) {
    Check("%20%2B4x", "-2", "https://download.lumexia.ru/setup.exe");
    EXPECT_TRUE(c_.success);
    EXPECT_EQ(c_.outcome, L"");
    EXPECT_EQ(c_.updateMajor, 4);
    EXPECT_EQ(c_.updateMinor, -2);
    EXPECT_EQ(c_.updatePath, L"https://download.lumexia.ru/setup.exe");
    ASSERT_EQ(standin::RequestCount(), 1);
    EXPECT_EQ(standin::Head(0).rfind(
                  "POST http://download.lumexia.ru:80/clients/shext2/lastvinfo.aspx", 0),
              0u);
    EXPECT_TRUE(standin::Fields(0).empty());
    EXPECT_EQ(standin::Get(L"/__journal/0/body").size(), 38u);

    Check("beta", "", "HTTP://127.0.0.1:8080/s.exe?v=4#n");
    EXPECT_TRUE(c_.success);
    EXPECT_EQ(c_.updateMajor, 0);
    EXPECT_EQ(c_.updateMinor, 0);
    EXPECT_EQ(c_.updatePath, L"http://127.0.0.1:8080/s.exe?v=4#n");
}

TEST_F(VersionRequest, AnAnswerWithoutAnElementOrNotXmlFails) {
    for (const char* fault : {"omit=majornum", "omit=minornum", "omit=pathupd", "malformed=1",
                              "status=500", "body=<info/>"}) {
        Check("4", "0", "http://h/s.exe", fault);
        ExpectFailure(fault);
    }
}

TEST_F(VersionRequest, OnlyAnAbsoluteWebAddressIsTakenAsTheUpdatePath) {
    // A local program, a share, a file address, other protocols, no host, a space, a quote
    // that would end the browser's argument, a user before the host, a bad escape.
    for (const char* path :
         {"C:\\Windows\\notepad.exe", "\\\\127.0.0.1\\share\\setup.exe",
          "file:///C:/Windows/notepad.exe", "ms-settings:privacy", "ftp://h/setup.exe",
          "http:///setup.exe", "http:h/s.exe", "http://h/a b", "http://h/%22 -x",
          "http://trusted@h/", "http://h/%zz", "http://h:99999/"}) {
        Check("4", "0", path);
        ExpectFailure(path);
    }
}

} // namespace

TEST(ClientVersion, ResourceAndUpdateRuleFollowTheProjectVersion) {
    // LUMEXIA_PROJECT_VERSION: project(... VERSION) as CMake hands it to this test.
    const std::wstring project = LUMEXIA_PROJECT_VERSION;
    const std::wstring path = uidriver::ProgramFolder() + L"LumexiaClient.exe";
    const std::string block = testing_support::VersionResource(path);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(testing_support::FixedVersionText(block, false), project);
    wchar_t* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\StringFileInfo\\041904b0\\ProductVersion",
                                 reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::wstring(text), project + L".0");

    const std::wstring shortVersion = LUMEXIA_VERSION_SHORT;
    EXPECT_EQ(project.rfind(shortVersion + L".", 0), 0u) << "caption's major.minor";
    EXPECT_EQ(std::to_wstring(kClientMajor) + L"." + std::to_wstring(kClientMinor), shortVersion);
    EXPECT_FALSE(IsUpdateOffered(kClientMajor, kClientMinor, true));
    EXPECT_TRUE(IsUpdateOffered(kClientMajor, kClientMinor + 1, true));
}
