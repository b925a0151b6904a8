#include "settings/SettingsStore.h"

#include "settings/SetAside.h"
#include "common/DataFolder.h"
#include "common/ScopedWin.h"

namespace lumexia {

namespace {

const wchar_t kDefaultDocument[] =
    L"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><settings/>";

std::wstring SettingXPath(const wchar_t* key) {
    return std::wstring(L"//settings/setting[@name='") + key + L"']";
}

// Pushes the temporary file's bytes to the disk before it replaces the old file, so a
// crash right after the rename cannot leave a renamed but empty file.
void FlushFile(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) ::FlushFileBuffers(file.Get());
}

// The writer may report success for a file cut short (full disk); reading the temporary
// file back with a fresh parser catches that before the old file is given up.
bool IsWholeDocument(const std::wstring& path) {
    ComPtr<IXMLDOMDocument> check;
    return CreateXmlDocument(check) && LoadXmlFile(check.Get(), path);
}

void DeleteTemporary(const std::wstring& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

} // namespace

std::wstring SettingsFilePath() {
    // Without a data folder the bare name would land in whatever the current directory is;
    // an empty path makes the open fall back to defaults and the save fail instead.
    const std::wstring folder = DataFolder();
    return folder.empty() ? std::wstring() : folder + L"config2.txt";
}

bool OpenSettings(IXMLDOMDocument* doc) {
    return OpenSettingsFile(doc, SettingsFilePath());
}

bool OpenSettingsFile(IXMLDOMDocument* doc, const std::wstring& path) {
    if (!doc) return false;
    if (LoadXmlFile(doc, path)) return true;
    // An unreadable file may still hold the client id, the login and the proxy, and the
    // next save would replace it: it is set aside first. When that fails the open fails
    // too, so nothing is saved over it.
    if (!SetAsideUnreadable(path)) return false;
    return LoadXmlText(doc, kDefaultDocument);
}

bool GetSetting(IXMLDOMDocument* doc, const wchar_t* key, std::wstring& value) {
    value.clear();
    if (!doc || !key) return false;
    ComPtr<IXMLDOMNode> setting = SelectXmlNode(doc, SettingXPath(key));
    return setting && GetXmlAttributeText(setting.Get(), L"value", value);
}

bool SetSetting(IXMLDOMDocument* doc, const wchar_t* key, const std::wstring& value) {
    if (!doc || !key) return false;
    ComPtr<IXMLDOMNode> settings = SelectXmlNode(doc, L"//settings");
    if (!settings) return false;
    // The new element is made complete before the old one goes, so a failure on the way
    // leaves the stored value in place.
    ComPtr<IXMLDOMElement> setting = CreateXmlElement(doc, L"setting");
    if (!setting) return false;
    // name before value: the attributes are written in this order.
    if (FAILED(SetXmlAttribute(setting.Get(), L"name", key))) return false;
    if (FAILED(SetXmlAttribute(setting.Get(), L"value", value))) return false;
    ComPtr<IXMLDOMNode> old = SelectXmlNode(doc, SettingXPath(key));
    if (old && FAILED(RemoveXmlChild(settings.Get(), old.Get()))) return false;
    return SUCCEEDED(AppendXmlChild(settings.Get(), setting.Get()));
}

bool SaveSettings(IXMLDOMDocument* doc) {
    return SaveSettingsFile(doc, SettingsFilePath());
}

bool SaveSettingsFile(IXMLDOMDocument* doc, const std::wstring& path) {
    if (!doc || path.empty()) return false;
    // A read-only file is the user's way of freezing the settings; replacing it by a
    // rename would bypass that.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    // The name keeps a dot, so the data-folder clean-up leaves a stray one alone.
    const std::wstring temporary = path + L".new";
    DeleteTemporary(temporary);
    if (!SaveXmlFile(doc, temporary)) {
        DeleteTemporary(temporary);
        return false;
    }
    FlushFile(temporary);
    if (!IsWholeDocument(temporary) ||
        !::MoveFileExW(temporary.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteTemporary(temporary);
        return false;
    }
    return true;
}

} // namespace lumexia
