// ReadAnswerError over real MSXML documents, and one answer carried end to end: the
// service's Cyrillic message leaves the stand-in as UTF-8 and comes back as the same text.
#include "service/AnswerEnvelope.h"
#include "service/MultipartBody.h"
#include "service/ServiceText.h"
#include "common/ScopedWin.h"
#include "service/ServiceHosts.h"

#include "ServiceStandIn.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace lumexia;

namespace {

class Envelope : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(com_.Result())); }
    // Reads the error part of `xml`; `code` and `message` start as sentinels.
    bool Read(const std::string& xml) {
        code_ = -99;
        message_ = L"untouched";
        ComPtr<IXMLDOMDocument2> doc;
        if (!LoadAnswer(xml.data(), static_cast<int>(xml.size()), doc)) {
            ADD_FAILURE() << "not loaded: " << xml;
            return false;
        }
        return ReadAnswerError(doc.Get(), &message_, &code_);
    }
    ScopedCoInit com_;
    int code_ = 0;
    std::wstring message_;
};

const char kResult[] = "<Result><Id>1</Id></Result>";

} // namespace

TEST(ServiceText, ControlAndDirectionCharactersGoLineBreaksOnlyStayInMessages) {
    std::wstring all;
    for (wchar_t c = 0; c < 0x2100; ++c)
        all.push_back(c);
    const std::wstring text = CleanServiceText(all);
    std::wstring expected;
    for (wchar_t c = 0x20; c < 0x2100; ++c)
        if ((c < 0x7F || c > 0x9F) && (c < 0x202A || c > 0x202E) && (c < 0x2066 || c > 0x2069))
            expected.push_back(c);
    EXPECT_EQ(text, expected);
    EXPECT_EQ(CleanServiceText(L"\u202Eabc\u2069\u2066"), L"abc");
    EXPECT_EQ(CleanServiceText(L"a\r\nb"), L"ab");
    EXPECT_EQ(CleanServiceMessage(L"a\tb\r\nc\u0085\u202Bd"), L"ab\r\ncd");
}

TEST(ServiceText, MessagesAreCutToAThousandUnitsNeverInsideAPair) {
    EXPECT_EQ(CleanServiceMessage(std::wstring(999, L'x') + L"\u202Eyz"),
              std::wstring(999, L'x') + L"y");
    const std::wstring pair = L"\xD83D\xDE00"; // one character, two units
    EXPECT_EQ(CleanServiceMessage(std::wstring(999, L'x') + pair), std::wstring(999, L'x'));
    EXPECT_EQ(CleanServiceMessage(std::wstring(998, L'x') + pair + L"z"),
              std::wstring(998, L'x') + pair);
}

TEST_F(Envelope, TheServiceMessageComesCleanedAndCut) {
    const std::string xml = "<OperationResult><Err><Code>5</Code><Msg>a&#9;b&#13;&#10;c&#x202E;d" +
                            std::string(1200, 'x') + "</Msg></Err></OperationResult>";
    ASSERT_TRUE(Read(xml));
    EXPECT_EQ(code_, 5);
    EXPECT_EQ(message_, L"ab\r\ncd" + std::wstring(994, L'x'));
}

TEST_F(Envelope, EmptyErrMeansSuccess) {
    EXPECT_TRUE(Read(std::string("<OperationResult><Err/>") + kResult + "</OperationResult>"));
    EXPECT_EQ(code_, 0);
    EXPECT_EQ(message_, L"");
    EXPECT_TRUE(Read("<OperationResult><Err></Err></OperationResult>"));
    EXPECT_EQ(code_, 0);
}

TEST_F(Envelope, CodeZeroWithMessageIsSuccessWithThatMessage) {
    EXPECT_TRUE(Read("<OperationResult><Err><Code>0</Code><Msg>всё хорошо</Msg></Err>"
                     "</OperationResult>"));
    EXPECT_EQ(code_, 0);
    EXPECT_EQ(message_, L"всё хорошо");
}

TEST_F(Envelope, NonZeroCodeGivesCodeAndText) {
    EXPECT_TRUE(Read("<?xml version=\"1.0\" encoding=\"utf-8\"?><OperationResult><Err>"
                     "<Code> 12</Code><Msg>Неверный пароль</Msg></Err></OperationResult>"));
    EXPECT_EQ(code_, 12);
    EXPECT_EQ(message_, L"Неверный пароль");
    // Numbers as the service might garble them: signs, trailing junk, no digits, overflow.
    EXPECT_TRUE(Read("<OperationResult><Err><Code>-3x</Code><Msg/></Err></OperationResult>"));
    EXPECT_EQ(code_, -3);
    EXPECT_TRUE(Read("<OperationResult><Err><Code>abc</Code><Msg/></Err></OperationResult>"));
    EXPECT_EQ(code_, 0);
    EXPECT_TRUE(Read("<OperationResult><Err><Code>99999999999999</Code><Msg/></Err>"
                     "</OperationResult>"));
    EXPECT_EQ(code_, 2147483647);
}

TEST_F(Envelope, MissingErrOrMissingPartsFailAndLeaveTheOutputs) {
    EXPECT_FALSE(Read(std::string("<OperationResult>") + kResult + "</OperationResult>"));
    EXPECT_EQ(code_, -99);
    EXPECT_EQ(message_, L"untouched");
    EXPECT_FALSE(Read("<OperationResult><Err><Code>7</Code></Err></OperationResult>"));
    EXPECT_EQ(code_, -99);
    EXPECT_EQ(message_, L"untouched");
    EXPECT_FALSE(Read("<OperationResult><Err><Msg>x</Msg></Err></OperationResult>"));
    EXPECT_EQ(code_, -99);
}

TEST_F(Envelope, OutputsAreOptional) {
    ComPtr<IXMLDOMDocument2> doc;
    const std::string xml =
        "<OperationResult><Err><Code>5</Code><Msg>m</Msg></Err></OperationResult>";
    ASSERT_TRUE(LoadAnswer(xml.data(), static_cast<int>(xml.size()), doc));
    EXPECT_TRUE(ReadAnswerError(doc.Get(), nullptr, nullptr));
    int code = 0;
    EXPECT_TRUE(ReadAnswerError(doc.Get(), nullptr, &code));
    EXPECT_EQ(code, 5);
}

TEST_F(Envelope, UnloadableAnswersAreRefused) {
    ComPtr<IXMLDOMDocument2> doc;
    const std::string broken = "<OperationResult><Err/><Result>";
    EXPECT_FALSE(LoadAnswer(broken.data(), static_cast<int>(broken.size()), doc));
    const std::string dtd = "<!DOCTYPE a [<!ENTITY x \"y\">]><OperationResult><Err/>"
                            "</OperationResult>";
    EXPECT_FALSE(LoadAnswer(dtd.data(), static_cast<int>(dtd.size()), doc));
    EXPECT_FALSE(LoadAnswer(broken.data(), 0, doc));
}

TEST_F(Envelope, ServiceMessageTravelsAsUtf8) {
    ASSERT_NE(svc::Port(), 0);
    ASSERT_TRUE(svc::Reset());
    ASSERT_TRUE(
        svc::Script("code=12&msg=" + svc::Encode(testing_support::ToUtf8(L"Неверное имя «ё»"))));
    MultipartBody form;
    form.AddField(kRespTypeField, kRespTypeXml);
    form.Close();
    std::vector<char> buffer(1999999, 0);
    int length = 0;
    ASSERT_TRUE(form.Send(svc::Request(ApiHost, L"/api3/rest/login/step1", buffer, &length)));
    ASSERT_TRUE(Read(std::string(buffer.data(), static_cast<size_t>(length))));
    EXPECT_EQ(code_, 12);
    EXPECT_EQ(message_, L"Неверное имя «ё»");
}
