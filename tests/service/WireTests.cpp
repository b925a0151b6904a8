// The multipart body byte for byte, and the request as it reaches the stand-in's wire:
// request line, headers, body. Every body here went through WinHTTP and was read back
// from the stand-in's journal.
#include "service/MultipartBody.h"
#include "service/ServiceHosts.h"

#include "ServiceStandIn.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace lumexia;

namespace {

const char kCrlf[] = "\r\n";

std::string Ascii(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::string FieldPart(const std::string& boundary, const std::string& name,
                      const std::string& value) {
    return "--" + boundary + kCrlf + "Content-Disposition: form-data; name=\"" + name + "\"" +
           kCrlf + kCrlf + value + kCrlf;
}

class Wire : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(svc::Port(), 0) << "no stand-in (LUMEXIA_STANDIN_DIR)";
        ASSERT_TRUE(svc::Reset());
        answer_.assign(200000, 0);
    }
    // Sends `form` to ApiHost through the stand-in and returns what it received.
    std::string SendAndRead(MultipartBody& form, const std::wstring& host = ApiHost,
                            const std::wstring& path = L"/echo") {
        int length = -1;
        const PostRequest r = svc::Request(host, path, answer_, &length);
        EXPECT_TRUE(form.Send(r));
        EXPECT_EQ(svc::JournalCount(), 1);
        return svc::JournalBody(0);
    }
    std::vector<char> answer_;
};

} // namespace

TEST_F(Wire, OneRespTypeFieldIsExactlyOnePartAndTheFinalDelimiter) {
    MultipartBody form;
    const std::string b = Ascii(form.Boundary());
    ASSERT_EQ(b.size(), 32u);
    for (char c : b)
        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << b;
    ASSERT_TRUE(form.AddField(L"RESPTYPE", L"xml"));
    ASSERT_TRUE(form.Close());
    EXPECT_EQ(SendAndRead(form), FieldPart(b, "RESPTYPE", "xml") + "--" + b + "--\r\n");
}

TEST_F(Wire, EmptyValueAndCyrillicTextArriveAsTheirUtf8Bytes) {
    MultipartBody form;
    const std::string b = Ascii(form.Boundary());
    ASSERT_TRUE(form.AddField(L"COMMENTIMG", L""));
    ASSERT_TRUE(form.AddField(L"TAGS", L"море, \"лес\"\r\n"));
    ASSERT_TRUE(form.Close());
    EXPECT_EQ(SendAndRead(form),
              FieldPart(b, "COMMENTIMG", "") +
                  FieldPart(b, "TAGS", testing_support::ToUtf8(L"море, \"лес\"\r\n")) + "--" + b +
                  "--\r\n");
}

TEST_F(Wire, FiveHundredUnitsAcceptedFiveHundredOneRefusedWithNothingAppended) {
    MultipartBody form;
    const std::string b = Ascii(form.Boundary());
    ASSERT_TRUE(form.AddField(L"TAGS", std::wstring(500, L'ж')));
    const size_t size = form.Size();
    EXPECT_FALSE(form.AddField(L"TAGS", std::wstring(501, L'a')));
    EXPECT_FALSE(form.AddField(std::wstring(501, L'N'), L"v"));
    EXPECT_FALSE(form.AddField(L"", L"v"));
    EXPECT_EQ(form.Size(), size);
    ASSERT_TRUE(form.Close());
    // After Close nothing more goes in; the body goes out unchanged.
    EXPECT_FALSE(form.AddField(L"RESPTYPE", L"xml"));
    EXPECT_EQ(SendAndRead(form),
              FieldPart(b, "TAGS", testing_support::ToUtf8(std::wstring(500, L'ж'))) + "--" + b +
                  "--\r\n");
}

TEST_F(Wire, UpdateCheckBodyIsTheFinalDelimiterAlone) {
    MultipartBody form;
    ASSERT_TRUE(form.Reset());
    ASSERT_TRUE(form.Close());
    const std::string body = SendAndRead(form, DownloadHost, L"/clients/shext2/lastvinfo.aspx");
    EXPECT_EQ(body.size(), 38u);
    EXPECT_EQ(body, "--" + Ascii(form.Boundary()) + "--\r\n");
    EXPECT_NE(svc::JournalHead(0).find("Content-Length: 38\r\n"), std::string::npos);
}

TEST_F(Wire, ResetEmptiesTheBodyAndKeepsTheBoundary) {
    MultipartBody form;
    const std::wstring boundary = form.Boundary();
    ASSERT_TRUE(form.AddField(L"A", L"1"));
    ASSERT_TRUE(form.Close());
    ASSERT_TRUE(form.Reset());
    EXPECT_EQ(form.Size(), 0u);
    EXPECT_FALSE(form.IsClosed());
    ASSERT_TRUE(form.AddField(L"B", L"2"));
    ASSERT_TRUE(form.Close());
    EXPECT_EQ(form.Boundary(), boundary);
    EXPECT_EQ(SendAndRead(form),
              FieldPart(Ascii(boundary), "B", "2") + "--" + Ascii(boundary) + "--\r\n");
    // Two builders never share a boundary.
    MultipartBody other;
    EXPECT_NE(other.Boundary(), boundary);
}

TEST_F(Wire, OpenBodyIsNeverSent) {
    MultipartBody form;
    ASSERT_TRUE(form.AddField(L"RESPTYPE", L"xml"));
    int length = -1;
    EXPECT_FALSE(form.Send(svc::Request(ApiHost, L"/echo", answer_, &length)));
    EXPECT_EQ(length, -1);
    EXPECT_EQ(svc::JournalCount(), 0);
}

TEST_F(Wire, PictureBytesFollowTheImageHead) {
    const std::wstring folder = testing_support::NewScratchFolder();
    std::string bytes;
    for (int i = 0; i < 5000; ++i)
        bytes += static_cast<char>(i * 7);
    ASSERT_TRUE(testing_support::WriteBytes(folder + L"p", bytes));
    MultipartBody form;
    const std::string b = Ascii(form.Boundary());
    ASSERT_TRUE(form.AddImage(folder + L"p", L"C:\\Фото\\a.png"));
    ASSERT_TRUE(form.Close());
    EXPECT_EQ(SendAndRead(form),
              "--" + b + "\r\nContent-Disposition: form-data; name=\"image\"; filename=\"" +
                  testing_support::ToUtf8(L"C:\\Фото\\a.png") +
                  "\"\r\nContent-Type: image/jpeg\r\n\r\n" + bytes + "\r\n--" + b + "--\r\n");
}

TEST(Multipart, TenMillionBytePictureDoesNotFit) {
    const std::wstring folder = testing_support::NewScratchFolder();
    ASSERT_TRUE(testing_support::WriteBytes(folder + L"big", std::string(10000000, 'x')));
    MultipartBody form;
    EXPECT_FALSE(form.AddImage(folder + L"big", L"big.jpg"));
    const std::string head =
        "--" + Ascii(form.Boundary()) +
        "\r\nContent-Disposition: form-data; name=\"image\"; filename=\"big.jpg"
        "\"\r\nContent-Type: image/jpeg\r\n\r\n";
    // The head, then whole 2,048-byte chunks while they fit, then the part end.
    const size_t chunks = (MultipartBody::kCapacity - 1 - head.size()) / 2048;
    size_t expected = head.size() + chunks * 2048;
    if (MultipartBody::kCapacity - expected > 2) expected += 2;
    EXPECT_EQ(form.Size(), expected);
    EXPECT_EQ(std::string(form.Data(), head.size()), head);
    EXPECT_LT(form.Size(), MultipartBody::kCapacity);
}

TEST(Multipart, MissingPictureFailsAfterItsHead) {
    MultipartBody form;
    EXPECT_FALSE(form.AddImage(L"C:\\no\\such\\file.jpg", L"file.jpg"));
    EXPECT_GT(form.Size(), 0u);
    EXPECT_FALSE(form.AddImage(L"C:\\x.jpg", L""));
}

TEST_F(Wire, HeadersOnTheWireAndTheNamedProxyUsedExactly) {
    MultipartBody form;
    ASSERT_TRUE(form.AddField(L"RESPTYPE", L"xml"));
    ASSERT_TRUE(form.Close());
    const std::string body = SendAndRead(form, ApiHost, L"/api3/rest/getimgtag/substr");
    const std::string head = svc::JournalHead(0);
    // Through the proxy the request names the service's own host and port 80.
    EXPECT_EQ(head.substr(0, head.find("\r\n")),
              "POST http://" + Ascii(ApiHost) + ":80/api3/rest/getimgtag/substr HTTP/1.1");
    EXPECT_NE(head.find("\r\nUser-Agent: LUMEXIACLIENT\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nContent-Type: multipart/form-data; boundary=" +
                        Ascii(form.Boundary()) + "\r\n"),
              std::string::npos)
        << head;
    EXPECT_NE(head.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"),
              std::string::npos)
        << head;
    EXPECT_EQ(head.find("Cookie"), std::string::npos);
    EXPECT_EQ(head.find("Authorization"), std::string::npos);

    // A proxy that is not there fails the exchange: no way around it.
    int length = -1;
    PostRequest r = svc::Request(ApiHost, L"/api3/rest/getimgtag/substr", answer_, &length);
    r.proxy = L"127.0.0.1:1";
    EXPECT_FALSE(form.Send(r));
    EXPECT_EQ(length, -1);
}

TEST_F(Wire, WithoutProxyNameTheDefaultConfigurationConnectsDirectly) {
    MultipartBody form;
    ASSERT_TRUE(form.AddField(L"RESPTYPE", L"xml"));
    ASSERT_TRUE(form.Close());
    int length = -1;
    PostRequest r = svc::Request(L"127.0.0.1", L"/api3/rest/login/step1", answer_, &length);
    r.port = static_cast<unsigned short>(svc::Port());
    r.proxy.reset();
    ASSERT_TRUE(form.Send(r));
    const std::string head = svc::JournalHead(0);
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "POST /api3/rest/login/step1 HTTP/1.1");
    EXPECT_GT(length, 0);
}
