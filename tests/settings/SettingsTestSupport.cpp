#include "SettingsTestSupport.h"

#include "settings/SettingsStore.h"
#include "TestSupport.h"

using namespace lumexia;
using namespace testing_support;

namespace settings_testing {

namespace {
// The set-aside copies a test may leave: ".bad", ".bad2" and on.
void RemoveSetAside(const std::wstring& path) {
    for (int n = 1; n <= 20; ++n) {
        const std::wstring name = path + L".bad" + (n > 1 ? std::to_wstring(n) : L"");
        ::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveFile(name);
    }
}
} // namespace

void SettingsFileTest::SetUp() {
    path_ = SettingsFilePath();
    saved_ = ReadBytes(path_, &had_);
    ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveFile(path_);
    RemoveFile(path_ + L".new");
    RemoveSetAside(path_);
}

void SettingsFileTest::TearDown() {
    ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveFile(path_);
    RemoveFile(path_ + L".new");
    RemoveSetAside(path_);
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

namespace {
const wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kLocalAppData[] = L"Local AppData";
} // namespace

LocalAppDataRedirect::LocalAppDataRedirect(const std::wstring& folder) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        key.Put()) != ERROR_SUCCESS)
        return;
    wchar_t old[1024] = {};
    DWORD size = sizeof old - sizeof(wchar_t);
    hadValue_ = ::RegQueryValueExW(key.Get(), kLocalAppData, nullptr, &type_,
                                   reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
    previous_ = old;
    active_ = ::RegSetValueExW(key.Get(), kLocalAppData, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(folder.c_str()),
                               static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))) ==
              ERROR_SUCCESS;
}

LocalAppDataRedirect::~LocalAppDataRedirect() {
    if (!active_) return;
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_SET_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return;
    if (hadValue_)
        ::RegSetValueExW(key.Get(), kLocalAppData, 0, type_,
                         reinterpret_cast<const BYTE*>(previous_.c_str()),
                         static_cast<DWORD>((previous_.size() + 1) * sizeof(wchar_t)));
    else
        ::RegDeleteValueW(key.Get(), kLocalAppData);
}

} // namespace settings_testing
