// The version request against the stand-in: the empty form, the three elements read as
// decimal numbers, the failure text, and the update address refused unless it is an
// absolute web address the shell can only hand to a browser.
#include "StandIn.h"

#include "operations/OperationContext.h"
#include "operations/UpdateCheckOperation.h"
#include "service/UpdateCheck.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <memory>

using namespace lumexia;

namespace {

const wchar_t kFailure[] = L"Ошибка получения данных с сервера";

class VersionRequest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standin::Port(), 0) << "no stand-in service for this run";
        ASSERT_HRESULT_SUCCEEDED(::CoInitialize(nullptr));
        standin::Reset();
    }
    void TearDown() override { ::CoUninitialize(); }

    // Publishes a version page and runs the check over it, as the progress dialog would.
    void Check(const std::string& major, const std::string& minor, const std::string& path) {
        standin::Post(L"/__version", "major=" + major + "&minor=" + minor + "&path=" + path);
        Run();
    }
    void Run() {
        context_ = std::make_unique<OperationContext>(kOperationUpdateCheck);
        context_->useProxy = true;
        context_->proxy.isUse = true;
        context_->proxy.full = standin::ProxyText();
        context_->updateMajor = 7;
        RunUpdateCheck(*context_);
    }
    const OperationContext& Result() const { return *context_; }

    std::unique_ptr<OperationContext> context_;
};

TEST_F(VersionRequest, SendsTheEmptyFormAndReadsTheThreeElements) {
    Check("%20%2B4x", "-2", "https://download.lumexia.ru/setup.exe");
    EXPECT_TRUE(Result().success);
    EXPECT_EQ(Result().outcome, L"");
    EXPECT_EQ(Result().updateMajor, 4);
    EXPECT_EQ(Result().updateMinor, -2);
    EXPECT_EQ(Result().updatePath, L"https://download.lumexia.ru/setup.exe");

    ASSERT_EQ(standin::RequestCount(), 1);
    const std::string head = standin::Head(0);
    EXPECT_EQ(head.rfind("POST http://download.lumexia.ru:80/clients/shext2/lastvinfo.aspx ", 0),
              0u)
        << head;
    EXPECT_TRUE(standin::Fields(0).empty());
    EXPECT_EQ(standin::Get(L"/__journal/0/body").size(), 38u);

    Check("beta", "", "http://127.0.0.1/setup.exe");
    EXPECT_TRUE(Result().success);
    EXPECT_EQ(Result().updateMajor, 0);
    EXPECT_EQ(Result().updateMinor, 0);
}

TEST_F(VersionRequest, AnswersWithoutAnElementOrNotXmlFail) {
    for (const char* fault : {"omit=majornum", "omit=minornum", "omit=pathupd", "malformed=1",
                              "status=500", "body=<info/>"}) {
        standin::Post(L"/__script", std::string("path=/clients/shext2/lastvinfo.aspx&") + fault);
        Run();
        EXPECT_FALSE(Result().success) << fault;
        EXPECT_EQ(Result().outcome, kFailure) << fault;
        EXPECT_EQ(Result().updateMajor, 0) << fault;
        EXPECT_EQ(Result().updatePath, L"") << fault;
    }
}

TEST_F(VersionRequest, OnlyAnAbsoluteWebAddressReachesTheShell) {
    // A local program, a share, a file address, another protocol, a quote that would
    // break out of the browser's command line, an address naming a user before the host.
    for (const char* path :
         {"C:\\Windows\\notepad.exe", "\\\\127.0.0.1\\share\\setup.exe",
          "file:///C:/Windows/notepad.exe", "ms-settings:privacy",
          "ftp://download.lumexia.ru/setup.exe", "http:///setup.exe", "http://host/a b",
          "http://host/%22 -x", "http://trusted@host/", "http:host/setup.exe"}) {
        Check("4", "0", path);
        EXPECT_FALSE(Result().success) << path;
        EXPECT_EQ(Result().outcome, kFailure) << path;
    }
    EXPECT_EQ(ShellSafeUpdateAddress(L"http://host/\"x"), L"");
    EXPECT_EQ(ShellSafeUpdateAddress(L"http://host/\tx"), L"");
    EXPECT_EQ(ShellSafeUpdateAddress(L"HTTPS://Host:8443/s.exe?v=4#n"),
              L"https://Host:8443/s.exe?v=4#n");
}

} // namespace
