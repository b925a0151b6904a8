// The settings store on the real file in the data folder: missing, broken and foreign
// files, key replacement, empty values, safe replacement of the file, Cyrillic paths.
#include "settings/SettingsStore.h"

#include "common/DataFolder.h"

#include "SettingsTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace lumexia;
using namespace testing_support;
using settings_testing::SettingsFileTest;

namespace {

ComPtr<IXMLDOMDocument> Opened() {
    ComPtr<IXMLDOMDocument> doc;
    EXPECT_TRUE(CreateXmlDocument(doc));
    EXPECT_TRUE(OpenSettings(doc.Get()));
    return doc;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

using SettingsStore = SettingsFileTest;

TEST_F(SettingsStore, MissingFileReadsNothingAndFirstSaveCreatesIt) {
    ComPtr<IXMLDOMDocument> doc = Opened();
    std::wstring value = L"stale";
    EXPECT_FALSE(GetSetting(doc.Get(), L"usMaxSize", value));
    EXPECT_EQ(value, L"");
    EXPECT_FALSE(GetSetting(doc.Get(), L"uid", value));
    EXPECT_FALSE(FileExists(path_));

    ASSERT_TRUE(SetSetting(doc.Get(), L"uid", L"ABC"));
    ASSERT_TRUE(SaveSettings(doc.Get()));
    const std::string file = ReadSettingsFile();
    EXPECT_EQ(file.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0), 0u)
        << file;
    EXPECT_EQ(Count(file, "<settings"), 1u) << file;
    EXPECT_EQ(Count(file, "<setting "), 1u) << file;
    EXPECT_NE(file.find("<setting name=\"uid\" value=\"ABC\"/>"), std::string::npos) << file;
    EXPECT_FALSE(FileExists(path_ + L".new"));
    // And it reads back through a fresh document.
    EXPECT_TRUE(GetSetting(Opened().Get(), L"uid", value));
    EXPECT_EQ(value, L"ABC");
}

TEST_F(SettingsStore, NonXmlFileReadsNothingAndIsKeptAsBadBeforeASave) {
    // The client id, the login and the proxy of a file the user broke by hand are still
    // in it: it is set aside whole before anything overwrites it.
    const std::string broken = "usMaxSize=800\r\nthis is not xml <<<";
    WriteSettingsFile(broken);
    ComPtr<IXMLDOMDocument> doc = Opened();
    std::wstring value;
    EXPECT_FALSE(GetSetting(doc.Get(), L"usMaxSize", value));
    EXPECT_EQ(ReadBytes(path_ + L".bad"), broken);
    ASSERT_TRUE(SetSetting(doc.Get(), L"usMaxSize", L"800"));
    ASSERT_TRUE(SaveSettings(doc.Get()));
    EXPECT_EQ(ReadSettingsFile().find("not xml"), std::string::npos);
    EXPECT_TRUE(GetSetting(Opened().Get(), L"usMaxSize", value));
    EXPECT_EQ(value, L"800");
    EXPECT_EQ(ReadBytes(path_ + L".bad"), broken);
}

TEST_F(SettingsStore, SetAsideCopiesNeverReplaceEachOtherAndTheOldestGoFirst) {
    // The first copy may be the only one of the user's own settings.
    for (int i = 1; i <= 7; ++i) {
        WriteSettingsFile("broken " + std::to_string(i));
        Opened();
    }
    EXPECT_FALSE(FileExists(path_ + L".bad"));
    EXPECT_FALSE(FileExists(path_ + L".bad2"));
    for (int i = 3; i <= 7; ++i)
        EXPECT_EQ(ReadBytes(path_ + L".bad" + std::to_wstring(i)), "broken " + std::to_string(i));
    // A read-only oldest copy goes as well; names that only look alike stay.
    ASSERT_TRUE(WriteBytes(path_ + L".badly", "not ours"));
    ::SetFileAttributesW((path_ + L".bad3").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteSettingsFile("broken 8");
    Opened();
    EXPECT_FALSE(FileExists(path_ + L".bad3"));
    EXPECT_EQ(ReadBytes(path_ + L".bad8"), "broken 8");
    EXPECT_TRUE(FileExists(path_ + L".badly"));
    RemoveFile(path_ + L".badly");
}

TEST_F(SettingsStore, ADocumentTypeIsRefusedInEitherEncoding) {
    // An entity in a hand-edited file would be expanded by this parser at every start.
    const std::wstring text = L"<?xml version=\"1.0\"?><!DOCTYPE settings [<!ENTITY v \"800\">]>"
                              L"<settings><setting name=\"usMaxSize\" value=\"&v;\"/></settings>";
    for (const std::string& bytes : {ToUtf8(text), "\xFF\xFE" + Utf16Bytes(text)}) {
        WriteSettingsFile(bytes);
        std::wstring value;
        EXPECT_FALSE(GetSetting(Opened().Get(), L"usMaxSize", value)) << ToUtf8(value);
        EXPECT_EQ(ReadBytes(path_ + L".bad"), bytes);
        RemoveFile(path_ + L".bad");
    }
}

TEST_F(SettingsStore, WellFormedFileWithoutSettingsCannotBeWritten) {
    WriteSettingsFile(
        "<?xml version=\"1.0\"?><config><setting name=\"uid\" value=\"X\"/></config>");
    ComPtr<IXMLDOMDocument> doc = Opened();
    std::wstring value;
    EXPECT_FALSE(GetSetting(doc.Get(), L"uid", value));
    EXPECT_FALSE(SetSetting(doc.Get(), L"uid", L"Y"));
    EXPECT_NE(ReadSettingsFile().find("<config>"), std::string::npos);
}

TEST_F(SettingsStore, RewrittenKeyMovesToTheEndAndDuplicatesReplaceTheFirst) {
    WriteSettingsFile("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><settings>"
                      "<setting name=\"a\" value=\"1\"/><setting name=\"b\" value=\"2\"/>"
                      "<setting name=\"a\" value=\"hand-edited twin\"/>"
                      "<setting name=\"c\" value=\"3\"/></settings>");
    ComPtr<IXMLDOMDocument> doc = Opened();
    std::wstring value;
    ASSERT_TRUE(GetSetting(doc.Get(), L"a", value));
    EXPECT_EQ(value, L"1");
    ASSERT_TRUE(SetSetting(doc.Get(), L"a", L"new"));
    ASSERT_TRUE(SetSetting(doc.Get(), L"b", L"two"));
    ASSERT_TRUE(SaveSettings(doc.Get()));
    // The first "a" went, its twin stays and is now the first one read.
    EXPECT_EQ(SettingNames(), L"a c a b ");
    doc = Opened();
    ASSERT_TRUE(GetSetting(doc.Get(), L"a", value));
    EXPECT_EQ(value, L"hand-edited twin");
    ASSERT_TRUE(GetSetting(doc.Get(), L"b", value));
    EXPECT_EQ(value, L"two");
}

TEST_F(SettingsStore, EmptyValueDiffersFromAbsentKeyOrAbsentValue) {
    WriteSettingsFile("<settings><setting name=\"usTags\" value=\"\"/>"
                      "<setting name=\"usComment\"/></settings>");
    ComPtr<IXMLDOMDocument> doc = Opened();
    std::wstring value = L"stale";
    EXPECT_TRUE(GetSetting(doc.Get(), L"usTags", value));
    EXPECT_EQ(value, L"");
    EXPECT_FALSE(GetSetting(doc.Get(), L"usComment", value));
    EXPECT_FALSE(GetSetting(doc.Get(), L"usUserUrl", value));
}

TEST_F(SettingsStore, ReadOnlyFileMakesSaveFailAndStaysIntact) {
    const std::string old = "<settings><setting name=\"uid\" value=\"OLD\"/></settings>";
    WriteSettingsFile(old);
    ASSERT_TRUE(::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
    ComPtr<IXMLDOMDocument> doc = Opened();
    ASSERT_TRUE(SetSetting(doc.Get(), L"uid", L"NEW"));
    EXPECT_FALSE(SaveSettings(doc.Get()));
    EXPECT_EQ(ReadSettingsFile(), old);
    EXPECT_FALSE(FileExists(path_ + L".new"));
}

TEST_F(SettingsStore, FailedWriteOfTheTemporaryKeepsTheOldFile) {
    // The temporary name taken by a folder: the writer fails before the old file is
    // touched, as it would on a full disk.
    const std::string old = "<settings><setting name=\"uid\" value=\"OLD\"/></settings>";
    WriteSettingsFile(old);
    ASSERT_TRUE(::CreateDirectoryW((path_ + L".new").c_str(), nullptr));
    ComPtr<IXMLDOMDocument> doc = Opened();
    ASSERT_TRUE(SetSetting(doc.Get(), L"uid", L"NEW"));
    EXPECT_FALSE(SaveSettings(doc.Get()));
    ::RemoveDirectoryW((path_ + L".new").c_str());
    EXPECT_EQ(ReadSettingsFile(), old);
}

TEST_F(SettingsStore, StrayTemporaryFromACrashIsHarmless) {
    // A crash between writing the temporary and the rename leaves both files; the
    // clean-up must keep the real one, and the next save must go through.
    WriteSettingsFile("<settings><setting name=\"uid\" value=\"OLD\"/></settings>");
    ASSERT_TRUE(WriteBytes(path_ + L".new", "<settings><setting name=\"ui"));
    CleanDataFolder();
    ASSERT_TRUE(FileExists(path_));
    ComPtr<IXMLDOMDocument> doc = Opened();
    std::wstring value;
    ASSERT_TRUE(GetSetting(doc.Get(), L"uid", value));
    EXPECT_EQ(value, L"OLD");
    ASSERT_TRUE(SetSetting(doc.Get(), L"uid", L"NEW"));
    ASSERT_TRUE(SaveSettings(doc.Get()));
    EXPECT_FALSE(FileExists(path_ + L".new"));
    ASSERT_TRUE(GetSetting(Opened().Get(), L"uid", value));
    EXPECT_EQ(value, L"NEW");
}

TEST_F(SettingsStore, CyrillicValuesAndFolderRoundTripAsUtf8) {
    const std::wstring scratch = NewScratchFolder();
    const std::wstring folder = scratch + L"Настройки\\";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring file = folder + L"config2.txt";
    ComPtr<IXMLDOMDocument> doc;
    ASSERT_TRUE(CreateXmlDocument(doc));
    ASSERT_TRUE(OpenSettingsFile(doc.Get(), file));
    ASSERT_TRUE(SetSetting(doc.Get(), L"usPrevSubscrTxt", L"Увеличить"));
    // Line breaks, tabs and markup characters of a typed text survive the attribute.
    const std::wstring typed = L"строка 1\r\nстрока 2\t<&>\"'  конец ";
    ASSERT_TRUE(SetSetting(doc.Get(), L"usComment", typed));
    ASSERT_TRUE(SaveSettingsFile(doc.Get(), file));
    const std::string bytes = ReadBytes(file);
    EXPECT_NE(bytes.find(ToUtf8(L"value=\"Увеличить\"")), std::string::npos) << bytes;
    ComPtr<IXMLDOMDocument> again;
    ASSERT_TRUE(CreateXmlDocument(again));
    ASSERT_TRUE(OpenSettingsFile(again.Get(), file));
    // Read synchronously: this parser would finish anyway, others return early when async.
    VARIANT_BOOL async = VARIANT_TRUE;
    EXPECT_EQ(again->get_async(&async), S_OK);
    EXPECT_EQ(async, VARIANT_FALSE);
    std::wstring value;
    ASSERT_TRUE(GetSetting(again.Get(), L"usPrevSubscrTxt", value));
    EXPECT_EQ(value, L"Увеличить");
    ASSERT_TRUE(GetSetting(again.Get(), L"usComment", value));
    EXPECT_EQ(value, typed);
    RemoveFile(file);
    ::RemoveDirectoryW(folder.c_str());
    ::RemoveDirectoryW(scratch.c_str());
}

} // namespace
