// The proxy text as users type it, read into the proxy's name and its credentials, and the
// one line that names a failing proxy: pure text, no Wine service needed.
#include "service/ProxyAddress.h"
#include "service/ProxyFailure.h"
#include "ui/Form4Proxy.h"

#include <gtest/gtest.h>

using namespace lumexia;

namespace {

ProxyTextProblem Parse(const std::wstring& text, ProxyAddress* out = nullptr) {
    ProxyAddress address;
    const ProxyTextProblem problem = ParseProxyText(text, address);
    if (out) *out = address;
    return problem;
}

} // namespace

TEST(ProxyText, PlainAddressReadsAsBefore) {
    ProxyAddress a;
    ASSERT_EQ(Parse(L" proxy.office.local:3128 ", &a), ProxyTextProblem::kNone);
    EXPECT_EQ(a.hostPort, L"proxy.office.local:3128");
    EXPECT_FALSE(a.HasCredentials());
    ASSERT_EQ(Parse(L"HTTP://10.0.0.1:8080/", &a), ProxyTextProblem::kNone);
    EXPECT_EQ(a.hostPort, L"10.0.0.1:8080");
    ASSERT_EQ(Parse(L"[::1]:3128", &a), ProxyTextProblem::kNone);
    EXPECT_EQ(a.hostPort, L"[::1]:3128");
}

TEST(ProxyText, CredentialsArePercentDecodedAndKeptApartFromTheName) {
    ProxyAddress a;
    ASSERT_EQ(Parse(L"ivan%2Epetrov:p%40ss%3Aw%D1%8F@proxy:3128", &a), ProxyTextProblem::kNone);
    EXPECT_EQ(a.hostPort, L"proxy:3128");
    EXPECT_EQ(a.user, L"ivan.petrov");
    EXPECT_EQ(a.password, L"p@ss:wя");
    // An unescaped "@" in the password: the last one ends the credentials.
    ASSERT_EQ(Parse(L"http://u:p@ss@proxy:80", &a), ProxyTextProblem::kNone);
    EXPECT_EQ(a.user, L"u");
    EXPECT_EQ(a.password, L"p@ss");
    EXPECT_EQ(a.hostPort, L"proxy:80");
    ASSERT_EQ(Parse(L"onlyuser@proxy:80", &a), ProxyTextProblem::kNone);
    EXPECT_EQ(a.user, L"onlyuser");
    EXPECT_EQ(a.password, L"");
}

TEST(ProxyText, TextsThatCannotBeAProxyAreNamed) {
    EXPECT_EQ(Parse(L"   "), ProxyTextProblem::kEmpty);
    EXPECT_EQ(Parse(L"proxy.local"), ProxyTextProblem::kNoPort);
    EXPECT_EQ(Parse(L"u:p@proxy.local"), ProxyTextProblem::kNoPort);
    EXPECT_EQ(Parse(L"proxy.local:"), ProxyTextProblem::kPortRange);
    EXPECT_EQ(Parse(L"proxy.local:0"), ProxyTextProblem::kPortRange);
    EXPECT_EQ(Parse(L"proxy.local:65536"), ProxyTextProblem::kPortRange);
    EXPECT_EQ(Parse(L"proxy.local:80a"), ProxyTextProblem::kPortRange);
    EXPECT_EQ(Parse(L"proxy local:8080"), ProxyTextProblem::kSpaces);
    EXPECT_EQ(Parse(L"proxy.local: 8080"), ProxyTextProblem::kSpaces);
    EXPECT_EQ(Parse(L"https://proxy.local:8080"), ProxyTextProblem::kScheme);
    EXPECT_EQ(Parse(L"socks5://proxy.local:1080"), ProxyTextProblem::kScheme);
    EXPECT_EQ(Parse(L":8080"), ProxyTextProblem::kNoHost);
    EXPECT_EQ(Parse(L"pro/xy:8080"), ProxyTextProblem::kNoHost);
    EXPECT_EQ(Parse(L"u:p%4@proxy:8080"), ProxyTextProblem::kBadEscape);
    EXPECT_EQ(Parse(L"u%zz:p@proxy:8080"), ProxyTextProblem::kBadEscape);
    ProxyAddress untouched;
    untouched.hostPort = L"kept";
    EXPECT_NE(ParseProxyText(L"proxy.local", untouched), ProxyTextProblem::kNone);
    EXPECT_EQ(untouched.hostPort, L"kept");
}

TEST(ProxyText, TheDialogChecksOnlyATextInUse) {
    EXPECT_EQ(ProxySettingProblem(false, L"anything at all"), L"");
    EXPECT_EQ(ProxySettingProblem(true, L""), L"");   // direct
    EXPECT_EQ(ProxySettingProblem(true, L"  "), L""); // direct
    EXPECT_EQ(ProxySettingProblem(true, L"u:p@proxy:3128"), L"");
    EXPECT_NE(ProxySettingProblem(true, L"proxy"), L"");
}

TEST(ProxyFailureText, OneLineNamingTheAddressNeverThePassword) {
    for (ProxyFault fault :
         {ProxyFault::kUnreachable, ProxyFault::kCredentials, ProxyFault::kGateway}) {
        const ProxyFailure failure{fault, L"proxy.office:3128"};
        const std::wstring line = ProxyFailureLine(failure);
        EXPECT_NE(line.find(L"proxy.office:3128"), std::wstring::npos);
        EXPECT_EQ(line.find(L"\n"), std::wstring::npos);
        std::wstring text = L"Ошибка запроса авторизации";
        AppendProxyFailureLine(text, failure);
        EXPECT_EQ(text, L"Ошибка запроса авторизации\r\n" + line);
    }
    std::wstring text = L"unchanged";
    AppendProxyFailureLine(text, ProxyFailure());
    EXPECT_EQ(text, L"unchanged");
}
