// The five groups on the real settings file: defaults, conversions, writing order, and
// that each group leaves the others' keys alone.
#include "settings/SettingsGroups.h"
#include "settings/SettingsReadAhead.h"
#include "settings/SettingsStore.h"

#include "SettingsTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace lumexia;
using namespace testing_support;
using settings_testing::SettingsFileTest;

namespace {

std::string FileWith(const std::string& settings) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><settings>" + settings +
           "</settings>";
}

std::string Setting(const std::string& name, const std::string& value) {
    return "<setting name=\"" + name + "\" value=\"" + value + "\"/>";
}

std::wstring Stored(const wchar_t* key) {
    ComPtr<IXMLDOMDocument> doc;
    std::wstring value;
    if (!CreateXmlDocument(doc) || !OpenSettings(doc.Get()) || !GetSetting(doc.Get(), key, value))
        return L"<absent>";
    return value;
}

using SettingsGroups = SettingsFileTest;

TEST_F(SettingsGroups, FirstStartGivesEveryDefault) {
    UploadSettings upload;
    upload.maxSize = 1;
    upload.rotation = 3;
    upload.idAlbum = L"x";
    ASSERT_TRUE(LoadUploadSettings(upload));
    const UploadSettings defaults;
    EXPECT_TRUE(upload.isResize);
    EXPECT_EQ(upload.maxSize, 640);
    EXPECT_EQ(upload.rotation, 0);
    EXPECT_FALSE(upload.isSubscr);
    EXPECT_EQ(upload.outFormat, 0);
    EXPECT_EQ(upload.jpegQuality, 85);
    EXPECT_EQ(upload.prevMaxSize, 180);
    EXPECT_TRUE(upload.prevIsSubscr);
    EXPECT_EQ(upload.prevSubscrText, L"Увеличить");
    EXPECT_EQ(upload.idAlbum, L"noalb");
    EXPECT_EQ(upload.typeCode, 1);
    EXPECT_TRUE(upload.isPublic);
    EXPECT_TRUE(upload.comment.empty() && upload.userUrl.empty() && upload.tags.empty() &&
                upload.subscrText.empty());

    ProxySettings proxy{L"a", L"b", L"c", true};
    ASSERT_TRUE(LoadProxySettings(proxy));
    EXPECT_TRUE(proxy.address.empty() && proxy.port.empty() && proxy.full.empty());
    EXPECT_FALSE(proxy.isUse);
    NoticeFlags flags{false, false};
    ASSERT_TRUE(LoadNoticeFlags(flags));
    EXPECT_TRUE(flags.showCompletion && flags.showUpdate);
    UserCredentials login{L"u", L"p", L"id", L"ticket"};
    ASSERT_TRUE(LoadCredentials(login));
    EXPECT_TRUE(login.userName.empty() && login.password.empty() && login.userId.empty() &&
                login.userTicket.empty());
    std::wstring id = L"x";
    ASSERT_TRUE(LoadClientId(id));
    EXPECT_EQ(id, L"");
    EXPECT_FALSE(FileExists(path_));
}

TEST_F(SettingsGroups, UploadOptionsRoundTripInTheirWritingOrder) {
    UploadSettings out;
    out.isResize = false;
    out.maxSize = 1024;
    out.isSubscr = true;
    out.subscrText = L"Надпись & <знаки> \"кавычки\"";
    out.outFormat = 1;
    out.jpegQuality = 60;
    out.prevMaxSize = 250;
    out.prevIsSubscr = false;
    out.prevSubscrText = L"Открыть";
    out.comment = L"Комментарий";
    out.userUrl = L"http://example.org/?a=1&b=2";
    out.idAlbum = L"12345";
    out.tags = L"кот, море";
    out.typeCode = 4;
    out.isPublic = false;
    out.rotation = 2;
    ASSERT_TRUE(SaveUploadSettings(out));
    EXPECT_EQ(SettingNames(), L"usComment usIdAlbum usIsResize usIsSubscr usJpegQuality "
                              L"usMaxSize usOutFormat usPrevIsSubscr usPrevMaxSize "
                              L"usPrevSubscrTxt usSubscrTxt usTypeCode usUserUrl usIsPublic "
                              L"usTags ");
    EXPECT_EQ(Stored(L"usIsResize"), L"False");
    EXPECT_EQ(Stored(L"usIsSubscr"), L"True");
    EXPECT_EQ(Stored(L"usMaxSize"), L"1024");

    UploadSettings in;
    ASSERT_TRUE(LoadUploadSettings(in));
    EXPECT_EQ(in.isResize, out.isResize);
    EXPECT_EQ(in.maxSize, out.maxSize);
    EXPECT_EQ(in.rotation, 0); // never stored
    EXPECT_EQ(in.isSubscr, out.isSubscr);
    EXPECT_EQ(in.subscrText, out.subscrText);
    EXPECT_EQ(in.outFormat, out.outFormat);
    EXPECT_EQ(in.jpegQuality, out.jpegQuality);
    EXPECT_EQ(in.prevMaxSize, out.prevMaxSize);
    EXPECT_EQ(in.prevIsSubscr, out.prevIsSubscr);
    EXPECT_EQ(in.prevSubscrText, out.prevSubscrText);
    EXPECT_EQ(in.comment, out.comment);
    EXPECT_EQ(in.userUrl, out.userUrl);
    EXPECT_EQ(in.idAlbum, out.idAlbum);
    EXPECT_EQ(in.tags, out.tags);
    EXPECT_EQ(in.typeCode, out.typeCode);
    EXPECT_EQ(in.isPublic, out.isPublic);

    // "Сброс параметров": reset and save puts the defaults, album "noalb" included.
    ResetUploadSettings(in);
    ASSERT_TRUE(SaveUploadSettings(in));
    EXPECT_EQ(Stored(L"usIdAlbum"), L"noalb");
    EXPECT_EQ(Stored(L"usPrevSubscrTxt"), L"Увеличить");
    EXPECT_NE(ReadSettingsFile().find(ToUtf8(L"value=\"Увеличить\"")), std::string::npos);
}

TEST_F(SettingsGroups, StoredTextsConvertLeniently) {
    WriteSettingsFile(FileWith(Setting("usIsPublic", "true") + Setting("usIsResize", "TRUE") +
                               Setting("usIsSubscr", "t") + Setting("usPrevIsSubscr", "1") +
                               Setting("proxyisuse", "yes") + Setting("usMaxSize", "  +800px") +
                               Setting("usPrevMaxSize", "-12") + Setting("usJpegQuality", "high") +
                               Setting("usTypeCode", "") + Setting("usOutFormat", "99999999999")));
    UploadSettings s;
    ASSERT_TRUE(LoadUploadSettings(s));
    EXPECT_TRUE(s.isPublic);
    EXPECT_TRUE(s.isResize);
    EXPECT_TRUE(s.isSubscr);
    EXPECT_FALSE(s.prevIsSubscr);
    EXPECT_EQ(s.maxSize, 800);
    EXPECT_EQ(s.prevMaxSize, -12);
    EXPECT_EQ(s.jpegQuality, 0);
    EXPECT_EQ(s.typeCode, 0);
    EXPECT_EQ(s.outFormat, 2147483647); // saturates rather than wrapping
    ProxySettings proxy;
    ASSERT_TRUE(LoadProxySettings(proxy));
    EXPECT_FALSE(proxy.isUse);
}

// The main dialog's one read at start-up gives each group what the group's own load gives,
// down to the hand-edited cases: a key twice (the first counts, even without a value),
// values of the wrong form, a setting outside `settings`, one without a name.
TEST_F(SettingsGroups, StartupReadGivesWhatEachGroupReads) {
    WriteSettingsFile("<?xml version=\"1.0\" encoding=\"UTF-8\"?><root><setting name=\"usMaxSize\" "
                      "value=\"111\"/><settings>" +
                      Setting("usMaxSize", "800") + Setting("usMaxSize", "900") +
                      "<setting name=\"usTags\"/>" + Setting("usTags", "later") +
                      "<setting value=\"x\"/>" + Setting("usIsPublic", "false") +
                      Setting("usJpegQuality", "high") + Setting("usSubscrTxt", "Надпись") +
                      Setting("proxyfull", "127.0.0.1:1") + Setting("proxyisuse", "True") +
                      Setting("isshowupdexist", "False") + Setting("username", "Вася") +
                      Setting("userpass", "") + "</settings></root>");
    StartupSettings once;
    once.upload.tags = L"stale";
    once.credentials.userId = L"stale";
    ASSERT_TRUE(LoadStartupSettings(once));
    EXPECT_TRUE(once.opened);

    UploadSettings upload;
    ASSERT_TRUE(LoadUploadSettings(upload));
    EXPECT_EQ(once.upload.maxSize, 800);
    EXPECT_EQ(once.upload.maxSize, upload.maxSize);
    EXPECT_EQ(once.upload.tags, L"");
    EXPECT_EQ(once.upload.tags, upload.tags);
    EXPECT_FALSE(once.upload.isPublic);
    EXPECT_EQ(once.upload.jpegQuality, 0);
    EXPECT_EQ(once.upload.subscrText, L"Надпись");
    EXPECT_EQ(once.upload.prevSubscrText, upload.prevSubscrText);
    EXPECT_EQ(once.upload.idAlbum, upload.idAlbum);
    EXPECT_EQ(once.upload.isPublic, upload.isPublic);
    EXPECT_EQ(once.upload.jpegQuality, upload.jpegQuality);
    ProxySettings proxy;
    ASSERT_TRUE(LoadProxySettings(proxy));
    EXPECT_EQ(once.proxy.full, proxy.full);
    EXPECT_TRUE(once.proxy.isUse && proxy.isUse);
    EXPECT_TRUE(once.proxy.address.empty());
    NoticeFlags flags;
    ASSERT_TRUE(LoadNoticeFlags(flags));
    EXPECT_TRUE(once.notices.showCompletion && flags.showCompletion);
    EXPECT_FALSE(once.notices.showUpdate || flags.showUpdate);
    UserCredentials login;
    ASSERT_TRUE(LoadCredentials(login));
    EXPECT_EQ(once.credentials.userName, L"Вася");
    EXPECT_EQ(once.credentials.userName, login.userName);
    EXPECT_EQ(once.credentials.password, login.password);
    EXPECT_TRUE(once.credentials.userId.empty());
}

// No file: every default, as on a first start; an unreadable one is kept aside as by the
// groups' own loads and reads as no file.
TEST_F(SettingsGroups, StartupReadWithoutAUsableFileGivesEveryDefault) {
    StartupSettings once;
    once.upload.maxSize = 1;
    once.proxy.isUse = true;
    once.notices.showUpdate = false;
    once.credentials.userName = L"u";
    ASSERT_TRUE(LoadStartupSettings(once));
    EXPECT_TRUE(once.opened);
    EXPECT_EQ(once.upload.maxSize, 640);
    EXPECT_FALSE(once.proxy.isUse);
    EXPECT_TRUE(once.notices.showUpdate);
    EXPECT_TRUE(once.credentials.userName.empty());
    EXPECT_FALSE(FileExists(path_));

    WriteSettingsFile("not xml <settings>");
    ASSERT_TRUE(LoadStartupSettings(once));
    EXPECT_EQ(once.upload.idAlbum, L"noalb");
    EXPECT_TRUE(FileExists(path_ + L".bad"));
    ::DeleteFileW((path_ + L".bad").c_str());
}

// The main dialog's read made ahead on a thread of its own (its own COM apartment) hands
// over what the read on this thread gives; taken without a start, it reads here.
TEST_F(SettingsGroups, StartupReadAheadGivesWhatTheReadHereGives) {
    WriteSettingsFile(FileWith(Setting("usMaxSize", "800") + Setting("usTags", "кот") +
                               Setting("proxyfull", "127.0.0.1:1") + Setting("proxyisuse", "True") +
                               Setting("isshowupdexist", "False") + Setting("username", "Вася") +
                               Setting("userpass", "p")));
    StartupSettings here;
    ASSERT_TRUE(LoadStartupSettings(here));
    for (const bool started : {true, false}) {
        SCOPED_TRACE(started ? "started" : "not started");
        SettingsReadAhead ahead;
        if (started) ahead.Start();
        StartupSettings taken;
        ASSERT_TRUE(ahead.Take(taken));
        EXPECT_TRUE(taken.opened);
        EXPECT_EQ(taken.upload.maxSize, 800);
        EXPECT_EQ(taken.upload.tags, here.upload.tags);
        EXPECT_EQ(taken.proxy.full, here.proxy.full);
        EXPECT_TRUE(taken.proxy.isUse);
        EXPECT_FALSE(taken.notices.showUpdate);
        EXPECT_EQ(taken.credentials.userName, L"Вася");
        EXPECT_EQ(taken.credentials.password, L"p");
    }
}

TEST_F(SettingsGroups, EachGroupKeepsTheOthersKeys) {
    WriteSettingsFile(FileWith(Setting("uid", "0123456789ABCDEF0123456789ABCDEF")));
    ASSERT_TRUE(SaveUploadSettings(UploadSettings()));
    EXPECT_EQ(Stored(L"uid"), L"0123456789ABCDEF0123456789ABCDEF");
    EXPECT_EQ(Stored(L"usIdAlbum"), L"noalb");

    ASSERT_TRUE(SaveProxySettings(ProxySettings{L"h", L"8080", L"h:8080", true}));
    ASSERT_TRUE(SaveCredentials(UserCredentials{L"Вася", L"пароль", L"77", L"t"}));
    ASSERT_TRUE(SaveClientId(L"FEDCBA9876543210FEDCBA9876543210"));
    UploadSettings upload;
    ASSERT_TRUE(LoadUploadSettings(upload));
    EXPECT_EQ(upload.idAlbum, L"noalb");
    ProxySettings proxy;
    ASSERT_TRUE(LoadProxySettings(proxy));
    EXPECT_EQ(proxy.address, L"h");
    EXPECT_EQ(proxy.port, L"8080");
    EXPECT_EQ(proxy.full, L"h:8080");
    EXPECT_TRUE(proxy.isUse);
    UserCredentials login;
    ASSERT_TRUE(LoadCredentials(login));
    EXPECT_EQ(login.userName, L"Вася");
    EXPECT_EQ(login.password, L"пароль");
    EXPECT_TRUE(login.userId.empty() && login.userTicket.empty()); // never stored
    EXPECT_EQ(Stored(L"userid"), L"<absent>");
    EXPECT_EQ(SettingNames(), L"usComment usIdAlbum usIsResize usIsSubscr usJpegQuality "
                              L"usMaxSize usOutFormat usPrevIsSubscr usPrevMaxSize "
                              L"usPrevSubscrTxt usSubscrTxt usTypeCode usUserUrl usIsPublic "
                              L"usTags proxyisuse proxyport proxyaddr proxyfull username "
                              L"userpass uid ");
}

TEST_F(SettingsGroups, ForgettingTheLoginRemovesEverySetAsideCopy) {
    // Two unreadable files set aside earlier, the password inside.
    for (const char* bytes : {"userpass=old <<<", "userpass=older <<<"}) {
        WriteSettingsFile(bytes);
        ASSERT_TRUE(SaveCredentials(UserCredentials{L"anna", L"p", L"", L""}));
    }
    ASSERT_TRUE(FileExists(path_ + L".bad") && FileExists(path_ + L".bad2"));
    ::SetFileAttributesW((path_ + L".bad").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(ForgetCredentials());
    EXPECT_FALSE(FileExists(path_ + L".bad"));
    EXPECT_FALSE(FileExists(path_ + L".bad2"));
    EXPECT_EQ(Stored(L"username"), L"");
    EXPECT_EQ(Stored(L"userpass"), L"");
}

TEST_F(SettingsGroups, ClientIdSaveKeepsUploadOptions) {
    WriteSettingsFile(FileWith(Setting("usMaxSize", "900") + Setting("usTags", "a,b")));
    ASSERT_TRUE(SaveClientId(L"0123456789ABCDEF0123456789ABCDEF"));
    EXPECT_EQ(SettingNames(), L"usMaxSize usTags uid ");
    UploadSettings upload;
    ASSERT_TRUE(LoadUploadSettings(upload));
    EXPECT_EQ(upload.maxSize, 900);
    EXPECT_EQ(upload.tags, L"a,b");
}

TEST_F(SettingsGroups, ChangingOneNoticeFlagKeepsTheOther) {
    WriteSettingsFile(FileWith(Setting("isshowupdexist", "False")));
    NoticeFlags flags;
    ASSERT_TRUE(LoadNoticeFlags(flags));
    EXPECT_TRUE(flags.showCompletion);
    EXPECT_FALSE(flags.showUpdate);
    flags.showCompletion = false;
    ASSERT_TRUE(SaveNoticeFlags(flags));
    EXPECT_EQ(Stored(L"isshowupdexist"), L"False");
    EXPECT_EQ(Stored(L"isshcompl"), L"False");
}

TEST_F(SettingsGroups, ClientIdIsMadeOnceStoredUpperAndUsedLower) {
    std::wstring first;
    ASSERT_TRUE(ObtainClientId(first));
    ASSERT_EQ(first.size(), 32u);
    EXPECT_EQ(first.find_first_not_of(L"0123456789abcdef"), std::wstring::npos) << first;
    const std::wstring stored = Stored(L"uid");
    ASSERT_EQ(stored.size(), 32u);
    EXPECT_EQ(stored.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos) << stored;
    std::wstring second;
    ASSERT_TRUE(ObtainClientId(second));
    EXPECT_EQ(second, first);
    EXPECT_EQ(Stored(L"uid"), stored);
}

TEST_F(SettingsGroups, ReadOnlyFileFailsEverySaveButStillLoads) {
    WriteSettingsFile(FileWith(Setting("usMaxSize", "900")));
    ASSERT_TRUE(::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(SaveUploadSettings(UploadSettings()));
    EXPECT_FALSE(SaveNoticeFlags(NoticeFlags()));
    UploadSettings s;
    ASSERT_TRUE(LoadUploadSettings(s));
    EXPECT_EQ(s.maxSize, 900);
}

TEST_F(SettingsGroups, CyrillicDataFolderHoldsTheSettingsAsUtf8) {
    const std::wstring scratch = NewScratchFolder();
    const std::wstring base = scratch + L"Профиль";
    ASSERT_TRUE(::CreateDirectoryW(base.c_str(), nullptr));
    const std::wstring folder = base + L"\\lumexia\\";
    const std::wstring file = folder + L"config2.txt";
    {
        settings_testing::LocalAppDataRedirect redirect(base);
        ASSERT_TRUE(redirect.Active());
        ASSERT_EQ(SettingsFilePath(), file);
        UploadSettings out;
        out.comment = L"Съёмка, ёлка";
        ASSERT_TRUE(SaveUploadSettings(out));
        ASSERT_TRUE(SaveCredentials(UserCredentials{L"Вася", L"пароль", L"", L""}));
        UploadSettings in;
        in.prevSubscrText.clear();
        ASSERT_TRUE(LoadUploadSettings(in));
        EXPECT_EQ(in.comment, out.comment);
        EXPECT_EQ(in.prevSubscrText, L"Увеличить");
        UserCredentials login;
        ASSERT_TRUE(LoadCredentials(login));
        EXPECT_EQ(login.userName, L"Вася");
    }
    EXPECT_EQ(SettingsFilePath(), path_);
    EXPECT_FALSE(FileExists(path_)); // nothing went to the usual folder
    const std::string bytes = ReadBytes(file);
    EXPECT_NE(bytes.find(ToUtf8(L"value=\"Увеличить\"")), std::string::npos) << bytes;
    EXPECT_NE(bytes.find(ToUtf8(L"value=\"Вася\"")), std::string::npos) << bytes;
    RemoveFile(file);
    ::RemoveDirectoryW(folder.c_str());
    ::RemoveDirectoryW(base.c_str());
    ::RemoveDirectoryW(scratch.c_str());
}

} // namespace
