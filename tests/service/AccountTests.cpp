// The login (kind 1) and the album list (kind 0) against the stand-in, which checks the
// challenge-and-response hash with its own computation; the hashing helpers over the
// platform's CryptoAPI.
#include "operations/OperationContext.h"
#include "service/Sha1Hex.h"

#include "ServiceStandIn.h"
#include "StandIn.h"
#include "TestSupport.h"
#include "UiDriver.h"

#include "common/ScopedWin.h"

#include <gtest/gtest.h>

#include <thread>

using namespace lumexia;

namespace {

const wchar_t kLoginFailedText[] = L"Ошибка запроса авторизации";
const wchar_t kAlbumsFailedText[] = L"Ошибка получения данных с сервера";
const char kStep1[] = "path=/api3/rest/login/step1&";
const char kStep2[] = "path=/api3/rest/login/step2&";
const char kAlbums[] = "path=/api3/rest/getfalb/page/useriddate&";

std::wstring Hex(const std::string& bytes) {
    return HexFromBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(Hashing, HexRoundTripsAndReadsPairsLikeTheRuntime) {
    EXPECT_EQ(Hex(std::string("\x00\x0f\x10\xab\xff", 5)), L"000f10abff");
    unsigned char bytes[8] = {};
    ASSERT_EQ(BytesFromHex(L"0f10abF", bytes, 8), 4u); // odd length: last digit alone
    EXPECT_EQ(HexFromBytes(bytes, 4), L"0f10ab0f");
    ASSERT_EQ(BytesFromHex(L" a-1zz9", bytes, 8), 4u); // space, sign, no digit, "9"
    EXPECT_EQ(HexFromBytes(bytes, 4), L"0aff0009");
    EXPECT_EQ(BytesFromHex(L"aabbcc", bytes, 2), 2u); // at most the maximum
}

TEST(Hashing, Sha1OfUtf8AndTheLoginHashAtTheBlockLimit) {
    ScopedCoInit com;
    std::wstring hex = L"untouched";
    ASSERT_TRUE(Sha1HexOfText(L"abc", hex));
    EXPECT_EQ(hex, L"a9993e364706816aba3e25717850c26c9cd0d89d");
    ASSERT_TRUE(Sha1HexOfText(L"пароль", hex)); // over UTF-8, not UTF-16
    std::wstring expected;
    ASSERT_TRUE(Sha1HexOfBytes(reinterpret_cast<const unsigned char*>("\xd0\xbf\xd0\xb0\xd1\x80"
                                                                      "\xd0\xbe\xd0\xbb\xd1\x8c"),
                               12, expected));
    EXPECT_EQ(hex, expected);
    hex = L"untouched";
    EXPECT_FALSE(Sha1HexOfText(L"", hex));
    EXPECT_FALSE(Sha1HexOfText(std::wstring(500, L'ж'), hex)); // 1000 UTF-8 bytes
    EXPECT_EQ(hex, L"untouched");
    EXPECT_EQ(LoginPasswordHash(std::wstring(158, L'a'), L"p").size(), 40u);
    EXPECT_EQ(LoginPasswordHash(std::wstring(160, L'a'), L"p"), L"");
    EXPECT_EQ(LoginPasswordHash(L"ab", L""), L"");
}

// Journal indexes of the requests for `path`, in arrival order. The stand-in is shared by
// the whole run, and a request another test's client gave up on may still arrive late,
// so requests are picked by path, never by position alone.
std::vector<int> RequestsFor(const std::string& path) {
    const std::string journal = svc::Control(L"GET", L"/__journal");
    const std::string key = "\"path\": \"";
    std::vector<int> found;
    int index = 0;
    for (size_t at = journal.find(key); at != std::string::npos;
         at = journal.find(key, at + 1), ++index)
        if (journal.compare(at + key.size(), path.size() + 1, path + "\"") == 0)
            found.push_back(index);
    return found;
}
const char kStep1Path[] = "/api3/rest/login/step1";
const char kStep2Path[] = "/api3/rest/login/step2";
const char kAlbumsPath[] = "/api3/rest/getfalb/page/useriddate";

// An operation run on this thread as the progress dialog's worker runs it.
class Account : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(svc::Port(), 0) << "no stand-in (LUMEXIA_STANDIN_DIR)";
        ASSERT_TRUE(svc::Reset());
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
    }
    std::string AddAccount(const std::string& form) {
        return svc::Control(L"POST", L"/__account", form);
    }
    std::unique_ptr<OperationContext> Run(OperationKind kind, const std::wstring& user = L"",
                                          const std::wstring& password = L"") {
        auto c = std::make_unique<OperationContext>(kind);
        c->userName = user;
        c->password = password;
        c->userId = userId_;
        c->userTicket = ticket_;
        c->useProxy = true;
        c->proxy.isUse = true;
        c->proxy.full = proxy_.empty() ? svc::ProxyName() : proxy_;
        FindOperation(kind)(*c);
        return c;
    }
    bool SignIn(const std::wstring& user, const std::wstring& password) {
        auto c = Run(kOperationLoginCheck, user, password);
        if (c->success) {
            userId_ = c->userId;
            ticket_ = c->userTicket;
        }
        return c->success;
    }
    ScopedCoInit com_;
    std::wstring userId_, ticket_;
    std::wstring proxy_; // the proxy text; empty: the stand-in
};

TEST_F(Account, TheServiceAcceptsTheHashOfAsciiAndCyrillicPasswords) {
    AddAccount("login=anna&password=Secret-1&id=501");
    AddAccount("login=" + svc::Encode("ваня") + "&password=" + svc::Encode("пароль Ёж") +
               "&id=502");
    EXPECT_TRUE(SignIn(L"anna", L"Secret-1"));
    EXPECT_EQ(userId_, L"501");
    EXPECT_EQ(ticket_.size(), 32u);
    EXPECT_TRUE(SignIn(L"ваня", L"пароль Ёж"));
    EXPECT_EQ(userId_, L"502");
    auto wrong = Run(kOperationLoginCheck, L"ваня", L"пароль ёж");
    EXPECT_FALSE(wrong->success);
    EXPECT_EQ(wrong->outcome, L"Неверное имя пользователя или пароль");
    EXPECT_EQ(wrong->userId, L"502"); // the earlier values stay

    // Step 2's fields, in order; the password itself never travels.
    const int step2 = RequestsFor(kStep2Path).at(0);
    const auto fields = svc::JournalFields(step2);
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0], std::make_pair(std::string("LOGIN"), std::string("anna")));
    EXPECT_EQ(fields[1].first, "IDRNDBLOCK");
    EXPECT_EQ(fields[2].first, "HASHPASS");
    EXPECT_EQ(fields[3], std::make_pair(std::string("RESPTYPE"), std::string("xml")));
    EXPECT_EQ(svc::JournalBody(step2).find("Secret-1"), std::string::npos);
}

TEST_F(Account, ABlockOf158DigitsIsHashedAnd160GiveAnEmptyHash) {
    AddAccount("login=anna&password=p");
    svc::Control(L"POST", L"/__challenge", "digits=158");
    EXPECT_TRUE(SignIn(L"anna", L"p"));
    svc::Control(L"POST", L"/__challenge", "digits=160");
    EXPECT_FALSE(SignIn(L"anna", L"p"));
    const auto fields = svc::JournalFields(RequestsFor(kStep2Path).at(1));
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[2], std::make_pair(std::string("HASHPASS"), std::string()));
}

TEST_F(Account, AnEmptyPasswordStillSendsLoginAndBlockId) {
    auto c = Run(kOperationLoginCheck, L"anna", L"");
    EXPECT_FALSE(c->success);
    ASSERT_EQ(RequestsFor(kStep2Path).size(), 1u);
    const auto fields = svc::JournalFields(RequestsFor(kStep2Path)[0]);
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0].second, "anna");
    EXPECT_EQ(fields[1].second.size(), 16u);
    EXPECT_EQ(fields[2].second, "");
}

TEST_F(Account, IdAndTicketComeFromStep2AndStep1sIdOnlyGoesBack) {
    ASSERT_TRUE(svc::Script(std::string(kStep1) + "body=" +
                            svc::Encode("<OperationResult><Err/><Result><Id>chal-7</Id>"
                                        "<Val>00ff</Val></Result></OperationResult>")));
    ASSERT_TRUE(svc::Script(std::string(kStep2) + "body=" +
                            svc::Encode("<OperationResult><Err/><Result><Id>u-42</Id>"
                                        "<Ticket>t-9</Ticket></Result></OperationResult>")));
    auto c = Run(kOperationLoginCheck, L"anna", L"p");
    ASSERT_TRUE(c->success) << testing_support::ToUtf8(c->outcome);
    EXPECT_EQ(c->outcome, L"");
    EXPECT_EQ(c->userId, L"u-42");
    EXPECT_EQ(c->userTicket, L"t-9");
    EXPECT_EQ(svc::JournalFields(RequestsFor(kStep2Path).at(0))[1].second, "chal-7");
}

TEST_F(Account, AFailedStep1MakesExactlyOneRequest) {
    const std::pair<std::string, std::wstring> faults[] = {
        {"status=500", kLoginFailedText},
        {"code=12&msg=" + svc::Encode("Сервис закрыт"), L"Сервис закрыт"},
        {"code=3", kLoginFailedText}, // a refusal without a text
        {"omit=Val", kLoginFailedText},
        {"drop=mid-body", kLoginFailedText}};
    for (const auto& fault : faults) {
        ASSERT_TRUE(svc::Reset());
        ASSERT_TRUE(svc::Script(kStep1 + fault.first));
        auto c = Run(kOperationLoginCheck, L"anna", L"p");
        EXPECT_FALSE(c->success) << fault.first;
        EXPECT_EQ(c->outcome, fault.second) << fault.first;
        EXPECT_EQ(RequestsFor(kStep1Path).size(), 1u) << fault.first;
        EXPECT_TRUE(RequestsFor(kStep2Path).empty()) << fault.first;
    }
}

TEST_F(Account, BadStep2AnswersFailTheLoginWithItsText) {
    AddAccount("login=anna&password=p");
    const std::pair<std::string, std::wstring> faults[] = {
        {"code=12&msg=" + svc::Encode("Учётная запись заблокирована"),
         L"Учётная запись заблокирована"},
        {"malformed=1", kLoginFailedText},
        {"noerr=1", kLoginFailedText},
        {"omit=Ticket", kLoginFailedText},
        {"size=1999999", kLoginFailedText},
        {"size=2100000", kLoginFailedText}, // more than the buffer takes
        {"body=" + svc::Encode("<!DOCTYPE r [<!ENTITY e \"x\">]><OperationResult><Err/><Result>"
                               "<Id>&e;</Id><Ticket>t</Ticket></Result></OperationResult>"),
         kLoginFailedText},
        {"drop=before-head", kLoginFailedText}};
    for (const auto& fault : faults) {
        ASSERT_TRUE(svc::Script(kStep2 + fault.first));
        auto c = Run(kOperationLoginCheck, L"anna", L"p");
        EXPECT_FALSE(c->success) << fault.first;
        EXPECT_EQ(c->outcome, fault.second) << fault.first;
    }
}

TEST_F(Account, AFailingProxyIsNamedInTheLoginAndAlbumTexts) {
    proxy_ = L"anna:hunter2@127.0.0.1:1"; // nothing listens there
    const std::wstring line = L"\r\nНет соединения с прокси-сервером 127.0.0.1:1";
    auto login = Run(kOperationLoginCheck, L"anna", L"p");
    EXPECT_FALSE(login->success);
    EXPECT_EQ(login->outcome.rfind(std::wstring(kLoginFailedText) + line, 0), 0u);
    auto albums = Run(kOperationAlbumList);
    EXPECT_FALSE(albums->success);
    EXPECT_EQ(albums->outcome.rfind(std::wstring(L"Ошибка получения данных с сервера") + line, 0),
              0u);
    for (const auto* c : {login.get(), albums.get()})
        EXPECT_EQ(c->outcome.find(L"hunter2"), std::wstring::npos);
    // A refusal by the service itself gets no such line.
    proxy_.clear();
    ASSERT_TRUE(svc::Script(std::string(kStep1) + "status=500"));
    EXPECT_EQ(Run(kOperationLoginCheck, L"anna", L"p")->outcome, kLoginFailedText);
}

TEST_F(Account, CancelDuringStep1EndsTheLoginWithoutStep2) {
    // The service holds step 1's answer back; the user cancels meanwhile.
    ASSERT_TRUE(svc::Script(std::string(kStep1) + "delay=2"));
    auto c = std::make_unique<OperationContext>(kOperationLoginCheck);
    c->useProxy = true;
    c->proxy.isUse = true;
    c->proxy.full = svc::ProxyName();
    std::thread user([&] {
        uidriver::WaitUntil([] { return !RequestsFor(kStep1Path).empty(); }, 10000);
        c->cancel = true;
    });
    FindOperation(kOperationLoginCheck)(*c);
    user.join();
    EXPECT_FALSE(c->success);
    EXPECT_EQ(c->outcome, kLoginFailedText);
    EXPECT_EQ(RequestsFor(kStep1Path).size(), 1u);
    EXPECT_TRUE(RequestsFor(kStep2Path).empty());
}

TEST_F(Account, AlbumsComeInAnswerOrderAndIncompleteOnesAreLeftOut) {
    AddAccount("login=anna&password=p&title=b&title=A&title=" + svc::Encode("Ёлка") +
               "&title=x&untitled=4");
    ASSERT_TRUE(SignIn(L"anna", L"p"));
    auto c = Run(kOperationAlbumList);
    ASSERT_TRUE(c->success) << testing_support::ToUtf8(c->outcome);
    ASSERT_EQ(c->albums.size(), 3u);
    EXPECT_EQ(c->albums[0].title, L"b");
    EXPECT_EQ(c->albums[1].title, L"A");
    EXPECT_EQ(c->albums[2].title, L"Ёлка");
    EXPECT_EQ(c->albums[2].id.empty(), false);
    const auto fields = svc::JournalFields(RequestsFor(kAlbumsPath).at(0));
    std::string names;
    for (const auto& f : fields)
        names += f.first + " ";
    EXPECT_EQ(names, "USER_OWNER_ID USER_ID USER_TICKET PAGESIZE PAGENUM RESPTYPE ");
    EXPECT_EQ(fields[3].second, "100");
    EXPECT_EQ(fields[4].second, "1");
}

TEST_F(Account, AlbumTitlesComeCleanedAndIdsTooLongToSendAreLeftOut) {
    AddAccount("login=anna&password=p");
    ASSERT_TRUE(SignIn(L"anna", L"p"));
    auto album = [](const std::string& id, const std::string& title) {
        return "<PubFAlb><Id>" + id + "</Id><Title>" + title + "</Title></PubFAlb>";
    };
    const std::string answer =
        "<OperationResult><Err/><Result>" + album(std::string(501, '1'), "long") +
        album(std::string(500, '2'), "a&#9;b") + album("3", "&#x202E;gpj.exe&#x202C;") +
        "</Result></OperationResult>";
    ASSERT_TRUE(svc::Script(kAlbums + ("body=" + svc::Encode(answer))));
    auto c = Run(kOperationAlbumList);
    ASSERT_TRUE(c->success) << testing_support::ToUtf8(c->outcome);
    ASSERT_EQ(c->albums.size(), 2u);
    EXPECT_EQ(c->albums[0].id, std::wstring(500, L'2'));
    EXPECT_EQ(c->albums[0].title, L"ab");
    EXPECT_EQ(c->albums[1].title, L"gpj.exe");
}

TEST_F(Account, NoAlbumsIsSuccessAndA150AlbumAccountGivesPageOne) {
    AddAccount("login=none&password=p");
    AddAccount("login=many&password=p&albums=150");
    ASSERT_TRUE(SignIn(L"none", L"p"));
    auto none = Run(kOperationAlbumList);
    EXPECT_TRUE(none->success);
    EXPECT_TRUE(none->albums.empty());
    ASSERT_TRUE(SignIn(L"many", L"p"));
    auto many = Run(kOperationAlbumList);
    EXPECT_TRUE(many->success);
    ASSERT_EQ(many->albums.size(), 100u);
    EXPECT_EQ(many->albums[99].title, L"Альбом 100");
    EXPECT_EQ(RequestsFor(kAlbumsPath).size(), 2u); // one request each
}

TEST_F(Account, AFailedAlbumListSaysWhy) {
    AddAccount("login=anna&password=p&albums=2");
    ASSERT_TRUE(SignIn(L"anna", L"p"));
    const std::pair<std::string, std::wstring> faults[] = {
        {"code=6&msg=" + svc::Encode("Неверный билет"), L"Неверный билет"},
        {"malformed=1", kAlbumsFailedText},
        {"noerr=1", kAlbumsFailedText},
        {"status=503", kAlbumsFailedText},
        {"drop=mid-body", kAlbumsFailedText}};
    for (const auto& fault : faults) {
        ASSERT_TRUE(svc::Script(kAlbums + fault.first));
        auto c = Run(kOperationAlbumList);
        EXPECT_FALSE(c->success) << fault.first;
        EXPECT_EQ(c->outcome, fault.second) << fault.first;
        EXPECT_TRUE(c->albums.empty()) << fault.first;
    }
}

} // namespace
