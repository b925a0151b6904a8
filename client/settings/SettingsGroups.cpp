#include "settings/SettingsGroups.h"

#include "common/DataFolder.h"
#include "common/Text.h"
#include "settings/SetAside.h"
#include "settings/SettingsStore.h"

#include <cwchar>
#include <map>
#include <new>
#include <utility>

namespace lumexia {

namespace {

// Opens the settings file into a fresh document; false when no parser can be created.
bool Open(ComPtr<IXMLDOMDocument>& doc) {
    return CreateXmlDocument(doc) && OpenSettings(doc.Get());
}

// Where a group's keys are read from: the open document (one selection per key) or the
// start-up pass over every `setting` element. Both give the first element of a name in
// document order, so a group reads the same values either way.
class Source {
public:
    virtual ~Source() = default;
    virtual bool Get(const wchar_t* key, std::wstring& value) const = 0;
};

class DocumentSource : public Source {
public:
    explicit DocumentSource(IXMLDOMDocument* doc) : doc_(doc) {}
    bool Get(const wchar_t* key, std::wstring& value) const override {
        return GetSetting(doc_, key, value);
    }

private:
    IXMLDOMDocument* doc_;
};

// name -> value of the first `setting` of that name; a first element without `value`
// hides later ones, as the selection by name would.
class PassSource : public Source {
public:
    bool Take(IXMLDOMDocument* doc) {
        ComPtr<IXMLDOMNodeList> list = SelectXmlNodes(doc, L"//settings/setting");
        if (!list) return false;
        const long count = XmlNodeCount(list.Get());
        for (long i = 0; i < count; ++i) {
            ComPtr<IXMLDOMNode> node = XmlNodeAt(list.Get(), i);
            std::wstring name, value;
            if (!node || !GetXmlAttributeText(node.Get(), L"name", name)) continue;
            if (values_.count(name)) continue;
            const bool has = GetXmlAttributeText(node.Get(), L"value", value);
            values_.emplace(std::move(name), std::make_pair(has, std::move(value)));
        }
        return true;
    }
    bool Get(const wchar_t* key, std::wstring& value) const override {
        value.clear();
        const auto found = values_.find(key);
        if (found == values_.end() || !found->second.first) return false;
        value = found->second.second;
        return true;
    }

private:
    std::map<std::wstring, std::pair<bool, std::wstring>> values_;
};

void Read(const Source& from, const wchar_t* key, std::wstring& field) {
    std::wstring text;
    if (from.Get(key, text)) field.swap(text);
}
void Read(const Source& from, const wchar_t* key, bool& field) {
    std::wstring text;
    if (from.Get(key, text)) field = ParseSettingBool(text);
}
void Read(const Source& from, const wchar_t* key, int& field) {
    std::wstring text;
    if (from.Get(key, text)) field = ParseSettingInt(text);
}

// Each group's keys in the order of reading; the fields not found keep what they hold.
void ReadUpload(const Source& d, UploadSettings& s) {
    Read(d, L"usIsResize", s.isResize);
    Read(d, L"usMaxSize", s.maxSize);
    Read(d, L"usIsSubscr", s.isSubscr);
    Read(d, L"usSubscrTxt", s.subscrText);
    Read(d, L"usOutFormat", s.outFormat);
    Read(d, L"usJpegQuality", s.jpegQuality);
    Read(d, L"usPrevMaxSize", s.prevMaxSize);
    Read(d, L"usPrevIsSubscr", s.prevIsSubscr);
    Read(d, L"usPrevSubscrTxt", s.prevSubscrText);
    Read(d, L"usComment", s.comment);
    Read(d, L"usUserUrl", s.userUrl);
    Read(d, L"usIdAlbum", s.idAlbum);
    Read(d, L"usTags", s.tags);
    Read(d, L"usTypeCode", s.typeCode);
    Read(d, L"usIsPublic", s.isPublic);
}
void ReadProxy(const Source& d, ProxySettings& s) {
    Read(d, L"proxyaddr", s.address);
    Read(d, L"proxyport", s.port);
    Read(d, L"proxyfull", s.full);
    Read(d, L"proxyisuse", s.isUse);
}
void ReadNotices(const Source& d, NoticeFlags& flags) {
    Read(d, L"isshcompl", flags.showCompletion);
    Read(d, L"isshowupdexist", flags.showUpdate);
}
void ReadLogin(const Source& d, UserCredentials& c) {
    Read(d, L"username", c.userName);
    Read(d, L"userpass", c.password);
}

// The results of single writes are ignored: the save decides.
void Write(IXMLDOMDocument* doc, const wchar_t* key, const std::wstring& value) {
    SetSetting(doc, key, value);
}
void Write(IXMLDOMDocument* doc, const wchar_t* key, bool value) {
    SetSetting(doc, key, FormatSettingBool(value));
}
void Write(IXMLDOMDocument* doc, const wchar_t* key, int value) {
    SetSetting(doc, key, FormatSettingInt(value));
}

// Runs a group operation; running out of memory in a string counts as failure.
template <typename Body> bool Guarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace

bool ParseSettingBool(const std::wstring& text) {
    return !text.empty() && (text[0] == L'T' || text[0] == L't');
}

int ParseSettingInt(const std::wstring& text) {
    // wcstol saturates instead of overflowing on absurdly long digit runs.
    return static_cast<int>(std::wcstol(text.c_str(), nullptr, 10));
}

std::wstring FormatSettingBool(bool value) {
    return value ? L"True" : L"False";
}

std::wstring FormatSettingInt(int value) {
    return std::to_wstring(value);
}

void ResetUploadSettings(UploadSettings& settings) {
    settings = UploadSettings();
}

bool LoadUploadSettings(UploadSettings& s) {
    return Guarded([&] {
        ComPtr<IXMLDOMDocument> doc;
        if (!Open(doc)) return false;
        ResetUploadSettings(s);
        ReadUpload(DocumentSource(doc.Get()), s);
        return true;
    });
}

bool SaveUploadSettings(const UploadSettings& s) {
    return Guarded([&] {
        ComPtr<IXMLDOMDocument> doc;
        if (!Open(doc)) return false;
        IXMLDOMDocument* d = doc.Get();
        // This order fixes the order of the elements in the file.
        Write(d, L"usComment", s.comment);
        Write(d, L"usIdAlbum", s.idAlbum);
        Write(d, L"usIsResize", s.isResize);
        Write(d, L"usIsSubscr", s.isSubscr);
        Write(d, L"usJpegQuality", s.jpegQuality);
        Write(d, L"usMaxSize", s.maxSize);
        Write(d, L"usOutFormat", s.outFormat);
        Write(d, L"usPrevIsSubscr", s.prevIsSubscr);
        Write(d, L"usPrevMaxSize", s.prevMaxSize);
        Write(d, L"usPrevSubscrTxt", s.prevSubscrText);
        Write(d, L"usSubscrTxt", s.subscrText);
        Write(d, L"usTypeCode", s.typeCode);
        Write(d, L"usUserUrl", s.userUrl);
        Write(d, L"usIsPublic", s.isPublic);
        Write(d, L"usTags", s.tags);
        return SaveSettings(d);
    });
}

bool LoadProxySettings(ProxySettings& s) {
    s = ProxySettings();
    return Guarded([&] {
        ComPtr<IXMLDOMDocument> doc;
        if (!Open(doc)) return false;
        ReadProxy(DocumentSource(doc.Get()), s);
        return true;
    });
}

bool SaveProxySettings(const ProxySettings& s) {
    return Guarded([&] {
        ComPtr<IXMLDOMDocument> doc;
        if (!Open(doc)) return false;
        Write(doc.Get(), L"proxyisuse", s.isUse);
        Write(doc.Get(), L"proxyport", s.port);
        Write(doc.Get(), L"proxyaddr", s.address);
        Write(doc.Get(), L"proxyfull", s.full);
        return SaveSettings(doc.Get());
    });
}

bool LoadNoticeFlags(NoticeFlags& flags) {
    flags = NoticeFlags();
    return Guarded([&] {
        ComPtr<IXMLDOMDocument> doc;
        if (!Open(doc)) return false;
        ReadNotices(DocumentSource(doc.Get()), flags);
        return true;
    });
}

bool SaveNoticeFlags(const NoticeFlags& flags) {
    return Guarded([&] {
        ComPtr<IXMLDOMDocument> doc;
        if (!Open(doc)) return false;
        Write(doc.Get(), L"isshcompl", flags.showCompletion);
        Write(doc.Get(), L"isshowupdexist", flags.showUpdate);
        return SaveSettings(doc.Get());
    });
}

bool LoadCredentials(UserCredentials& c) {
    c = UserCredentials();
    return Guarded([&] {
        ComPtr<IXMLDOMDocument> doc;
        if (!Open(doc)) return false;
        ReadLogin(DocumentSource(doc.Get()), c);
        return true;
    });
}

bool SaveCredentials(const UserCredentials& c) {
    return Guarded([&] {
        ComPtr<IXMLDOMDocument> doc;
        if (!Open(doc)) return false;
        Write(doc.Get(), L"username", c.userName);
        Write(doc.Get(), L"userpass", c.password);
        return SaveSettings(doc.Get());
    });
}

bool ForgetCredentials() {
    const bool saved = SaveCredentials(UserCredentials());
    // A set-aside copy is a file the client could not read, kept whole: it may hold the
    // password as it was typed. Forgetting the login must not leave it on disk there.
    const bool removed = RemoveSetAsideCopies(SettingsFilePath());
    return saved && removed;
}

bool LoadClientId(std::wstring& id) {
    id.clear();
    return Guarded([&] {
        ComPtr<IXMLDOMDocument> doc;
        if (!Open(doc)) return false;
        Read(DocumentSource(doc.Get()), L"uid", id);
        return true;
    });
}

bool SaveClientId(const std::wstring& id) {
    return Guarded([&] {
        ComPtr<IXMLDOMDocument> doc;
        if (!Open(doc)) return false;
        Write(doc.Get(), L"uid", id);
        return SaveSettings(doc.Get());
    });
}

bool LoadStartupSettings(StartupSettings& out) {
    // Every group's defaults first: they stand when the file cannot be opened.
    out = StartupSettings();
    return Guarded([&] {
        ComPtr<IXMLDOMDocument> doc;
        PassSource values;
        if (!Open(doc) || !values.Take(doc.Get())) return false;
        ReadUpload(values, out.upload);
        ReadProxy(values, out.proxy);
        ReadNotices(values, out.notices);
        ReadLogin(values, out.credentials);
        out.opened = true;
        return true;
    });
}

bool ObtainClientId(std::wstring& idLower) {
    idLower.clear();
    return Guarded([&] {
        std::wstring id;
        LoadClientId(id);
        if (id.empty()) {
            id = NewHexId();
            if (id.empty()) return false;
            // A failed save only means the next run makes another id.
            SaveClientId(id);
        }
        idLower = LowerText(std::move(id));
        return true;
    });
}

} // namespace lumexia
