// Thin layer over the platform's XML DOM (MSXML through COM). Documents are created per
// operation, owned by the caller and never shared between threads; the calling thread
// must have COM initialised. Nothing here throws: failures come back as false, an empty
// pointer or an HRESULT.
#pragma once

#include <windows.h>
#include <msxml2.h>
#include <wrl/client.h>

#include <cstddef>
#include <string>
#include <vector>

// msxml2.h declares no uuids for __uuidof, which ComPtr::As needs. MinGW's libuuid also
// lacks IID_IXMLDOMDocument2: XmlDocument.cpp defines it once for the whole client, so
// include this header instead of defining it again (a second definition fails to link).
__CRT_UUID_DECL(IXMLDOMDocument, 0x2933bf81, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98,
                0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMDocument2, 0x2933bf95, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98,
                0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMNode, 0x2933bf80, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e,
                0x60)
__CRT_UUID_DECL(IXMLDOMElement, 0x2933bf86, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98,
                0x3e, 0x60)

__CRT_UUID_DECL(IXMLDOMNodeList, 0x2933bf82, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98,
                0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMNamedNodeMap, 0x2933bf83, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98,
                0x3e, 0x60)

namespace lumexia {

using Microsoft::WRL::ComPtr;

// Parser versions tried, best first: 6.0, 4.0, 3.0.
const std::vector<std::wstring>& XmlProgIds();

// Creates a document from the first ProgID of `progIds` whose class id resolves, asking
// for `iid`. When that one class refuses to be created, the later ProgIDs are not tried.
// `usedProgId` (optional) receives the ProgID that resolved.
bool CreateXmlDocumentFrom(const std::vector<std::wstring>& progIds, REFIID iid, void** out,
                           std::wstring* usedProgId = nullptr);

// A document for the settings file.
bool CreateXmlDocument(ComPtr<IXMLDOMDocument>& doc);
// A document for a service answer. Answers arrive over plain HTTP and are untrusted, so the
// document is told to prohibit DTDs and not to resolve externals; since not every parser
// honours those switches, the text loaders below also refuse any DOCTYPE before parsing.
bool CreateXmlDocument2(ComPtr<IXMLDOMDocument2>& doc);

// Synchronous `load` of a file; true only when the call succeeds and the parser reports
// success. A file that carries a document type declaration (in UTF-8, a code page or
// UTF-16), or one larger than a settings file can be, is refused without parsing.
bool LoadXmlFile(IXMLDOMDocument* doc, const std::wstring& path);
// `loadXML` of a text. A text that carries a document type declaration is refused
// without parsing (entity bombs, external entities naming local files).
bool LoadXmlText(IXMLDOMDocument* doc, const std::wstring& text);

// Conversion limit of LoadXmlUtf8 in UTF-16 units, the terminating zero included.
constexpr std::size_t kXmlUtf8BufferUnits = 500000;
// Converts UTF-8 bytes (a service answer) and parses them with validation off. Fails with
// the document untouched when `count` is 0, the bytes do not convert, or the text needs
// more than kXmlUtf8BufferUnits - 1 units. Refuses a DOCTYPE like LoadXmlText.
bool LoadXmlUtf8(IXMLDOMDocument* doc, const char* bytes, std::size_t count);

// `save` to a file; true when the call succeeds.
bool SaveXmlFile(IXMLDOMDocument* doc, const std::wstring& path);

// First node matching `xpath` below `from` (a document is a node too). Only S_OK counts:
// no match (S_FALSE) and every error give an empty pointer.
ComPtr<IXMLDOMNode> SelectXmlNode(IXMLDOMNode* from, const std::wstring& xpath);
// Every node matching `xpath` below `from`, in document order; empty pointer when the
// selection fails. A selection without matches is a list of length 0.
ComPtr<IXMLDOMNodeList> SelectXmlNodes(IXMLDOMNode* from, const std::wstring& xpath);
long XmlNodeCount(IXMLDOMNodeList* list);
// Item `index` of `list`; empty pointer when out of range or on error.
ComPtr<IXMLDOMNode> XmlNodeAt(IXMLDOMNodeList* list, long index);
// Convenience for the common case: select, then take the node's text.
bool SelectXmlText(IXMLDOMNode* from, const std::wstring& xpath, std::wstring& text);

// `get_text` of a node; false (and `text` emptied) when the call fails.
bool GetXmlNodeText(IXMLDOMNode* node, std::wstring& text);
// Text of attribute `name`; false (and `text` emptied) when the attribute is absent.
bool GetXmlAttributeText(IXMLDOMNode* node, const wchar_t* name, std::wstring& text);
bool XmlHasChildren(IXMLDOMNode* node);

// New element (no namespace) owned by `doc` but not yet in the tree.
ComPtr<IXMLDOMElement> CreateXmlElement(IXMLDOMDocument* doc, const wchar_t* tagName);
HRESULT SetXmlAttribute(IXMLDOMElement* element, const wchar_t* name, const std::wstring& text);
HRESULT AppendXmlChild(IXMLDOMNode* parent, IXMLDOMNode* child);
HRESULT RemoveXmlChild(IXMLDOMNode* parent, IXMLDOMNode* child);

// True when `text` holds "<!DOCTYPE" in any letter case.
bool HasDoctype(const wchar_t* text, std::size_t length);

} // namespace lumexia
