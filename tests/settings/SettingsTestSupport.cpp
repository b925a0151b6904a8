#include "SettingsTestSupport.h"

#include "SettingsStore.h"
#include "TestSupport.h"

using namespace lumexia;
using namespace testing_support;

namespace settings_testing {

void SettingsFileTest::SetUp() {
    path_ = SettingsFilePath();
    saved_ = ReadBytes(path_, &had_);
    ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveFile(path_);
    RemoveFile(path_ + L".new");
}

void SettingsFileTest::TearDown() {
    ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveFile(path_);
    RemoveFile(path_ + L".new");
    if (had_) WriteBytes(path_, saved_);
}

void SettingsFileTest::WriteSettingsFile(const std::string& bytes) {
    ASSERT_TRUE(WriteBytes(path_, bytes));
}

std::string SettingsFileTest::ReadSettingsFile() {
    return ReadBytes(path_);
}

std::wstring SettingsFileTest::SettingNames() {
    ComPtr<IXMLDOMDocument> doc;
    if (!CreateXmlDocument(doc) || !LoadXmlFile(doc.Get(), path_)) return L"<unreadable>";
    ComPtr<IXMLDOMNode> settings = SelectXmlNode(doc.Get(), L"//settings");
    if (!settings) return L"<no settings>";
    std::wstring names;
    ComPtr<IXMLDOMNode> child;
    settings->get_firstChild(child.GetAddressOf());
    while (child) {
        std::wstring name;
        if (GetXmlAttributeText(child.Get(), L"name", name)) names += name + L" ";
        ComPtr<IXMLDOMNode> next;
        child->get_nextSibling(next.GetAddressOf());
        child = next;
    }
    return names;
}

} // namespace settings_testing
