#include "settings/XmlDocument.h"

#include "common/ScopedWin.h"

#include <climits>
#include <new>

// MinGW's libuuid lacks this one interface id of the DOM.
extern "C" const IID IID_IXMLDOMDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

namespace lumexia {

namespace {

// A BSTR copy of `text` with its exact length (embedded zeros kept).
UniqueBstr ToBstr(const std::wstring& text) {
    return UniqueBstr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

std::wstring FromBstr(BSTR text) {
    return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

// Parses `text` of `length` units; the caller has already refused DTDs.
bool ParseText(IXMLDOMDocument* doc, const wchar_t* text, std::size_t length) {
    UniqueBstr bstr(::SysAllocStringLen(text, static_cast<UINT>(length)));
    if (!bstr) return false;
    VARIANT_BOOL ok = VARIANT_FALSE;
    const HRESULT hr = doc->loadXML(bstr.Get(), &ok);
    return hr == S_OK && ok == VARIANT_TRUE;
}

} // namespace

const std::vector<std::wstring>& XmlProgIds() {
    static const std::vector<std::wstring> ids = {
        L"MSXML2.DOMDocument.6.0", L"MSXML2.DOMDocument.4.0", L"MSXML2.DOMDocument.3.0"};
    return ids;
}

bool CreateXmlDocumentFrom(const std::vector<std::wstring>& progIds, REFIID iid, void** out,
                           std::wstring* usedProgId) {
    if (!out) return false;
    *out = nullptr;
    for (const std::wstring& progId : progIds) {
        CLSID clsid = {};
        if (FAILED(::CLSIDFromProgID(progId.c_str(), &clsid))) continue;
        if (usedProgId) *usedProgId = progId;
        // The first version that resolves decides; a refusal to create it is final.
        return SUCCEEDED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out)) &&
               *out != nullptr;
    }
    return false;
}

bool CreateXmlDocument(ComPtr<IXMLDOMDocument>& doc) {
    doc.Reset();
    return CreateXmlDocumentFrom(XmlProgIds(), IID_IXMLDOMDocument,
                                 reinterpret_cast<void**>(doc.ReleaseAndGetAddressOf()));
}

bool CreateXmlDocument2(ComPtr<IXMLDOMDocument2>& doc) {
    doc.Reset();
    if (!CreateXmlDocumentFrom(XmlProgIds(), IID_IXMLDOMDocument2,
                               reinterpret_cast<void**>(doc.ReleaseAndGetAddressOf())))
        return false;
    // Best effort: some parser versions accept these switches without acting on them,
    // which is why the text loaders refuse DOCTYPEs themselves.
    UniqueBstr name = MakeBstr(L"ProhibitDTD");
    if (name) {
        VARIANT on;
        ::VariantInit(&on);
        on.vt = VT_BOOL;
        on.boolVal = VARIANT_TRUE;
        doc->setProperty(name.Get(), on);
    }
    doc->put_resolveExternals(VARIANT_FALSE);
    doc->put_validateOnParse(VARIANT_FALSE);
    return true;
}

bool LoadXmlFile(IXMLDOMDocument* doc, const std::wstring& path) {
    if (!doc) return false;
    ScopedVariant where;
    where.Get().bstrVal = ::SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
    if (!where.Get().bstrVal) return false;
    where.Get().vt = VT_BSTR;
    // Documents start asynchronous: `load` could then return before the file is read, and
    // a settings save built on the half-read document would drop the keys not yet seen.
    if (FAILED(doc->put_async(VARIANT_FALSE))) return false;
    VARIANT_BOOL ok = VARIANT_FALSE;
    const HRESULT hr = doc->load(where.Get(), &ok);
    return hr == S_OK && ok == VARIANT_TRUE;
}

bool LoadXmlText(IXMLDOMDocument* doc, const std::wstring& text) {
    if (!doc || HasDoctype(text.data(), text.size())) return false;
    return ParseText(doc, text.data(), text.size());
}

bool LoadXmlUtf8(IXMLDOMDocument* doc, const char* bytes, std::size_t count) {
    if (!doc || !bytes || count == 0 || count > static_cast<std::size_t>(INT_MAX)) return false;
    // One zeroed buffer per call; the last unit is kept for the terminating zero, so the
    // conversion can never write past it.
    std::vector<wchar_t> buffer;
    try {
        buffer.assign(kXmlUtf8BufferUnits, L'\0');
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(count),
                                            buffer.data(), static_cast<int>(buffer.size() - 1));
    if (units <= 0) return false;
    if (HasDoctype(buffer.data(), static_cast<std::size_t>(units))) return false;
    doc->put_validateOnParse(VARIANT_FALSE);
    return ParseText(doc, buffer.data(), static_cast<std::size_t>(units));
}

bool SaveXmlFile(IXMLDOMDocument* doc, const std::wstring& path) {
    if (!doc) return false;
    ScopedVariant where;
    where.Get().bstrVal = ::SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
    if (!where.Get().bstrVal) return false;
    where.Get().vt = VT_BSTR;
    return SUCCEEDED(doc->save(where.Get()));
}

ComPtr<IXMLDOMNode> SelectXmlNode(IXMLDOMNode* from, const std::wstring& xpath) {
    ComPtr<IXMLDOMNode> node;
    if (!from) return node;
    UniqueBstr query = ToBstr(xpath);
    if (!query) return node;
    if (from->selectSingleNode(query.Get(), node.ReleaseAndGetAddressOf()) != S_OK) node.Reset();
    return node;
}

ComPtr<IXMLDOMNodeList> SelectXmlNodes(IXMLDOMNode* from, const std::wstring& xpath) {
    ComPtr<IXMLDOMNodeList> list;
    if (!from) return list;
    UniqueBstr query = ToBstr(xpath);
    if (!query) return list;
    if (from->selectNodes(query.Get(), list.ReleaseAndGetAddressOf()) != S_OK) list.Reset();
    return list;
}

long XmlNodeCount(IXMLDOMNodeList* list) {
    long length = 0;
    if (!list || list->get_length(&length) != S_OK || length < 0) return 0;
    return length;
}

ComPtr<IXMLDOMNode> XmlNodeAt(IXMLDOMNodeList* list, long index) {
    ComPtr<IXMLDOMNode> node;
    if (!list || list->get_item(index, node.ReleaseAndGetAddressOf()) != S_OK) node.Reset();
    return node;
}

bool SelectXmlText(IXMLDOMNode* from, const std::wstring& xpath, std::wstring& text) {
    text.clear();
    ComPtr<IXMLDOMNode> node = SelectXmlNode(from, xpath);
    return node && GetXmlNodeText(node.Get(), text);
}

bool GetXmlNodeText(IXMLDOMNode* node, std::wstring& text) {
    text.clear();
    if (!node) return false;
    UniqueBstr value;
    if (FAILED(node->get_text(value.Put()))) return false;
    try {
        text = FromBstr(value.Get());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool GetXmlAttributeText(IXMLDOMNode* node, const wchar_t* name, std::wstring& text) {
    text.clear();
    if (!node || !name) return false;
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (node->get_attributes(attributes.GetAddressOf()) != S_OK || !attributes) return false;
    UniqueBstr attrName = MakeBstr(name);
    if (!attrName) return false;
    ComPtr<IXMLDOMNode> attribute;
    if (attributes->getNamedItem(attrName.Get(), attribute.GetAddressOf()) != S_OK || !attribute)
        return false;
    return GetXmlNodeText(attribute.Get(), text);
}

bool XmlHasChildren(IXMLDOMNode* node) {
    VARIANT_BOOL has = VARIANT_FALSE;
    return node && node->hasChildNodes(&has) == S_OK && has == VARIANT_TRUE;
}

ComPtr<IXMLDOMElement> CreateXmlElement(IXMLDOMDocument* doc, const wchar_t* tagName) {
    ComPtr<IXMLDOMElement> element;
    if (!doc || !tagName) return element;
    UniqueBstr name = MakeBstr(tagName);
    UniqueBstr noNamespace = MakeBstr(L"");
    if (!name || !noNamespace) return element;
    VARIANT type;
    ::VariantInit(&type);
    type.vt = VT_I4;
    type.lVal = NODE_ELEMENT;
    ComPtr<IXMLDOMNode> node;
    if (FAILED(doc->createNode(type, name.Get(), noNamespace.Get(), node.GetAddressOf())) || !node)
        return element;
    node.As(&element);
    return element;
}

HRESULT SetXmlAttribute(IXMLDOMElement* element, const wchar_t* name, const std::wstring& text) {
    if (!element || !name) return E_POINTER;
    UniqueBstr attrName = MakeBstr(name);
    if (!attrName) return E_OUTOFMEMORY;
    ScopedVariant value;
    value.Get().bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value.Get().bstrVal) return E_OUTOFMEMORY;
    value.Get().vt = VT_BSTR;
    return element->setAttribute(attrName.Get(), value.Get());
}

HRESULT AppendXmlChild(IXMLDOMNode* parent, IXMLDOMNode* child) {
    if (!parent || !child) return E_POINTER;
    return parent->appendChild(child, nullptr);
}

HRESULT RemoveXmlChild(IXMLDOMNode* parent, IXMLDOMNode* child) {
    if (!parent || !child) return E_POINTER;
    return parent->removeChild(child, nullptr);
}

bool HasDoctype(const wchar_t* text, std::size_t length) {
    static const wchar_t kWord[] = L"DOCTYPE";
    const std::size_t wordLength = 7;
    if (!text) return false;
    for (std::size_t i = 0; i + 2 + wordLength <= length; ++i) {
        if (text[i] != L'<' || text[i + 1] != L'!') continue;
        std::size_t k = 0;
        while (k < wordLength && (text[i + 2 + k] & ~0x20) == kWord[k])
            ++k;
        if (k == wordLength) return true;
    }
    return false;
}

} // namespace lumexia
