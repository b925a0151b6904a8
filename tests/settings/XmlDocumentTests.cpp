// The DOM layer against the real parser: version fallback, selection and attribute rules,
// the UTF-8 loader's limit, and the refusal of DTDs in untrusted answers.
#include "settings/XmlDocument.h"

#include "SettingsTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <psapi.h>

using namespace lumexia;
using namespace testing_support;
using settings_testing::ComTest;

namespace {

// 3.0 still answers the old selection language by default; 6.0 answers XPath.
std::wstring SelectionLanguage(IXMLDOMDocument2* doc) {
    UniqueBstr name = MakeBstr(L"SelectionLanguage");
    ScopedVariant value;
    if (FAILED(doc->getProperty(name.Get(), &value)) || value.Get().vt != VT_BSTR) return L"?";
    return value.Get().bstrVal;
}

using XmlVersions = ComTest;

TEST_F(XmlVersions, FallsBackToTheFirstProgIdThatResolves) {
    ComPtr<IXMLDOMDocument2> doc;
    std::wstring used;
    ASSERT_TRUE(CreateXmlDocumentFrom(
        {L"MSXML2.DOMDocument.9.9", L"Lumexia.NoSuchParser.1", L"MSXML2.DOMDocument.3.0"},
        IID_IXMLDOMDocument2, reinterpret_cast<void**>(doc.GetAddressOf()), &used));
    EXPECT_EQ(used, L"MSXML2.DOMDocument.3.0");
    EXPECT_EQ(SelectionLanguage(doc.Get()), L"XSLPattern");
    // The settings expressions still work on that version.
    ASSERT_TRUE(LoadXmlText(doc.Get(), L"<settings><setting name='a' value='1'/></settings>"));
    std::wstring value;
    EXPECT_TRUE(GetXmlAttributeText(
        SelectXmlNode(doc.Get(), L"//settings/setting[@name='a']").Get(), L"value", value));
    EXPECT_EQ(value, L"1");
}

TEST_F(XmlVersions, NewestRegisteredVersionIsUsedAndNoneResolvingFails) {
    ComPtr<IXMLDOMDocument2> doc;
    std::wstring used;
    ASSERT_TRUE(CreateXmlDocumentFrom(XmlProgIds(), IID_IXMLDOMDocument2,
                                      reinterpret_cast<void**>(doc.GetAddressOf()), &used));
    EXPECT_EQ(used, L"MSXML2.DOMDocument.6.0");
    EXPECT_EQ(SelectionLanguage(doc.Get()), L"XPath");

    IUnknown* none = reinterpret_cast<IUnknown*>(1);
    EXPECT_FALSE(CreateXmlDocumentFrom({L"Lumexia.NoSuchParser.1"}, IID_IXMLDOMDocument,
                                       reinterpret_cast<void**>(&none)));
    EXPECT_EQ(none, nullptr);
    ComPtr<IXMLDOMDocument> plain;
    EXPECT_TRUE(CreateXmlDocument(plain));
    EXPECT_TRUE(plain);
}

using XmlNodes = ComTest;

TEST_F(XmlNodes, SelectionTextAttributesAndChildren) {
    ComPtr<IXMLDOMDocument2> doc;
    ASSERT_TRUE(CreateXmlDocument2(doc));
    ASSERT_TRUE(LoadXmlText(doc.Get(), L"<OperationResult><Err><Code>12</Code><Msg a='x'/>"
                                       L"</Err><Empty/></OperationResult>"));
    std::wstring text;
    EXPECT_TRUE(SelectXmlText(doc.Get(), L"//OperationResult/Err/Code", text));
    EXPECT_EQ(text, L"12");
    // No match is no node and no error; bad syntax is no node either.
    EXPECT_FALSE(SelectXmlNode(doc.Get(), L"//OperationResult/Nothing"));
    EXPECT_FALSE(SelectXmlNode(doc.Get(), L"//[[["));
    EXPECT_FALSE(SelectXmlText(doc.Get(), L"//Nothing", text));

    ComPtr<IXMLDOMNode> msg = SelectXmlNode(doc.Get(), L"//Err/Msg");
    ASSERT_TRUE(msg);
    EXPECT_TRUE(GetXmlAttributeText(msg.Get(), L"a", text));
    EXPECT_EQ(text, L"x");
    text = L"stale";
    EXPECT_FALSE(GetXmlAttributeText(msg.Get(), L"b", text));
    EXPECT_EQ(text, L"");

    EXPECT_TRUE(XmlHasChildren(SelectXmlNode(doc.Get(), L"//Err").Get()));
    EXPECT_FALSE(XmlHasChildren(SelectXmlNode(doc.Get(), L"//Empty").Get()));
}

TEST_F(XmlNodes, NodeListsInDocumentOrderWithRelativeChildren) {
    ComPtr<IXMLDOMDocument2> doc;
    ASSERT_TRUE(CreateXmlDocument2(doc));
    ASSERT_TRUE(LoadXmlText(doc.Get(), L"<OperationResult><Result>"
                                       L"<PubFAlb><Id>1</Id><Title>Море</Title></PubFAlb>"
                                       L"<PubFAlb><Id>2</Id></PubFAlb>"
                                       L"<PubFAlb><Id>3</Id><Title>Горы</Title></PubFAlb>"
                                       L"</Result></OperationResult>"));
    ComPtr<IXMLDOMNodeList> albums = SelectXmlNodes(doc.Get(), L"//OperationResult/Result/PubFAlb");
    ASSERT_TRUE(albums);
    ASSERT_EQ(XmlNodeCount(albums.Get()), 3);
    std::wstring seen;
    for (long i = 0; i < XmlNodeCount(albums.Get()); ++i) {
        ComPtr<IXMLDOMNode> album = XmlNodeAt(albums.Get(), i);
        std::wstring id, title;
        ASSERT_TRUE(SelectXmlText(album.Get(), L"Id", id));
        seen += id + L":" + (SelectXmlText(album.Get(), L"Title", title) ? title : L"-") + L" ";
    }
    EXPECT_EQ(seen, L"1:Море 2:- 3:Горы ");
    EXPECT_FALSE(XmlNodeAt(albums.Get(), 3));
    ComPtr<IXMLDOMNodeList> none = SelectXmlNodes(doc.Get(), L"//Nothing");
    ASSERT_TRUE(none);
    EXPECT_EQ(XmlNodeCount(none.Get()), 0);
}

TEST_F(XmlNodes, CreatedElementsAppendAndRemove) {
    ComPtr<IXMLDOMDocument> doc;
    ASSERT_TRUE(CreateXmlDocument(doc));
    ASSERT_TRUE(LoadXmlText(doc.Get(), L"<root/>"));
    ComPtr<IXMLDOMNode> root = SelectXmlNode(doc.Get(), L"//root");
    ComPtr<IXMLDOMElement> element = CreateXmlElement(doc.Get(), L"item");
    ASSERT_TRUE(element);
    EXPECT_EQ(SetXmlAttribute(element.Get(), L"name", L"k\"<&'"), S_OK);
    EXPECT_EQ(AppendXmlChild(root.Get(), element.Get()), S_OK);
    std::wstring text;
    EXPECT_TRUE(GetXmlAttributeText(SelectXmlNode(doc.Get(), L"//root/item").Get(), L"name", text));
    EXPECT_EQ(text, L"k\"<&'");
    EXPECT_EQ(RemoveXmlChild(root.Get(), element.Get()), S_OK);
    EXPECT_FALSE(XmlHasChildren(root.Get()));
}

using XmlUtf8 = ComTest;

TEST_F(XmlUtf8, ConvertsCyrillicAndKeepsTheDeclaration) {
    ComPtr<IXMLDOMDocument2> doc;
    ASSERT_TRUE(CreateXmlDocument2(doc));
    const std::string bytes = ToUtf8(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>Увеличить</a>");
    ASSERT_TRUE(LoadXmlUtf8(doc.Get(), bytes.data(), bytes.size()));
    std::wstring text;
    EXPECT_TRUE(SelectXmlText(doc.Get(), L"//a", text));
    EXPECT_EQ(text, L"Увеличить");
}

TEST_F(XmlUtf8, EmptyBrokenAndOversizedBuffersFailWithDocumentUntouched) {
    ComPtr<IXMLDOMDocument2> doc;
    ASSERT_TRUE(CreateXmlDocument2(doc));
    ASSERT_TRUE(LoadXmlText(doc.Get(), L"<kept/>"));
    const char broken[] = "<a><b></a>";
    EXPECT_FALSE(LoadXmlUtf8(doc.Get(), broken, 0));
    EXPECT_FALSE(LoadXmlUtf8(doc.Get(), nullptr, 5));

    // Exactly at the limit: 499,999 units of text fit with the terminating zero...
    std::string fits = "<a>" + std::string(kXmlUtf8BufferUnits - 1 - 7, 'x') + "</a>";
    ASSERT_EQ(fits.size(), kXmlUtf8BufferUnits - 1);
    std::string over = fits;
    over.insert(3, "y");
    // ...one more does not, and the document keeps what it had.
    EXPECT_FALSE(LoadXmlUtf8(doc.Get(), over.data(), over.size()));
    EXPECT_TRUE(SelectXmlNode(doc.Get(), L"//kept"));
    // A multi-byte text counts in converted units, not bytes: 300,000 Cyrillic letters are
    // 600,000 bytes but fit.
    std::wstring wide = L"<a>" + std::wstring(300000, L'ж') + L"</a>";
    std::string cyr = ToUtf8(wide);
    EXPECT_TRUE(LoadXmlUtf8(doc.Get(), cyr.data(), cyr.size()));
    EXPECT_TRUE(LoadXmlUtf8(doc.Get(), fits.data(), fits.size()));

    EXPECT_FALSE(LoadXmlUtf8(doc.Get(), broken, sizeof broken - 1));
}

using XmlHardening = ComTest;

const char kBomb[] = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lollollollollollol\">"
                     "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
                     "<!ENTITY lol2 \"&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;\">"
                     "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">"
                     "<!ENTITY lol4 \"&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;\">"
                     "<!ENTITY lol5 \"&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;\">"
                     "<!ENTITY lol6 \"&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;\">"
                     "<!ENTITY lol7 \"&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;\">"
                     "<!ENTITY lol8 \"&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;\">"
                     "<!ENTITY lol9 \"&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;\">"
                     "]><OperationResult><Code>&lol9;</Code></OperationResult>";

SIZE_T PeakMemory() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

TEST_F(XmlHardening, EntityBombIsRefusedWithoutGrowingMemory) {
    ComPtr<IXMLDOMDocument2> doc;
    ASSERT_TRUE(CreateXmlDocument2(doc));
    const SIZE_T before = PeakMemory();
    EXPECT_FALSE(LoadXmlUtf8(doc.Get(), kBomb, sizeof kBomb - 1));
    EXPECT_LT(PeakMemory() - before, SIZE_T(64) << 20);
    EXPECT_FALSE(SelectXmlNode(doc.Get(), L"//Code"));
}

TEST_F(XmlHardening, ExternalEntityNamingALocalFileIsNotPulledIn) {
    const std::wstring folder = NewScratchFolder();
    const std::wstring secret = folder + L"secret.txt";
    ASSERT_TRUE(WriteBytes(secret, "TOPSECRET"));
    std::wstring url = L"file:///" + secret;
    for (wchar_t& c : url)
        if (c == L'\\') c = L'/';
    const std::string answer = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"" +
                               ToUtf8(url) + "\">]><OperationResult><Code>&x;</Code>" +
                               "</OperationResult>";
    ComPtr<IXMLDOMDocument2> doc;
    ASSERT_TRUE(CreateXmlDocument2(doc));
    EXPECT_FALSE(LoadXmlUtf8(doc.Get(), answer.data(), answer.size()));
    std::wstring text;
    EXPECT_FALSE(SelectXmlText(doc.Get(), L"//Code", text));
    EXPECT_EQ(text.find(L"TOPSECRET"), std::wstring::npos);
    // The text loader refuses it as well, in any letter case of the keyword.
    EXPECT_FALSE(LoadXmlText(doc.Get(), FromUtf8(answer)));
    EXPECT_FALSE(LoadXmlText(doc.Get(), L"<!doctype a><a/>"));
    // A plain answer still loads in the same document.
    const char plain[] = "<OperationResult><Code>0</Code></OperationResult>";
    EXPECT_TRUE(LoadXmlUtf8(doc.Get(), plain, sizeof plain - 1));
    RemoveFile(secret);
    ::RemoveDirectoryW(folder.c_str());
}

TEST_F(XmlHardening, DocumentTypeIsRefusedWhereTheParserWouldExpandIt) {
    // This parser accepts the prohibition switch yet still expands an internal entity; an
    // answer must not get that far, wherever its declaration sits.
    ComPtr<IXMLDOMDocument2> doc;
    ASSERT_TRUE(CreateXmlDocument2(doc));
    const std::string withEntity = "<!DOCTYPE r [<!ENTITY x \"inside\">]><r><Code>&x;</Code></r>";
    EXPECT_FALSE(LoadXmlUtf8(doc.Get(), withEntity.data(), withEntity.size()));
    const std::string late = "<?xml version=\"1.0\"?>\r\n<!-- note -->\r\n<!DOCTYPE r><r/>";
    EXPECT_FALSE(LoadXmlUtf8(doc.Get(), late.data(), late.size()));
    EXPECT_FALSE(SelectXmlNode(doc.Get(), L"//r"));
    EXPECT_FALSE(SelectXmlNode(doc.Get(), L"//Code"));
}

} // namespace
