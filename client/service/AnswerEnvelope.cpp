#include "service/AnswerEnvelope.h"

#include "service/ServiceText.h"

#include <climits>
#include <cwchar>

namespace lumexia {

int DecimalValue(const std::wstring& text) {
    const long value = std::wcstol(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool LoadAnswer(const char* bytes, int length, ComPtr<IXMLDOMDocument2>& doc) {
    if (!bytes || length <= 0) return false;
    return CreateXmlDocument2(doc) &&
           LoadXmlUtf8(doc.Get(), bytes, static_cast<std::size_t>(length));
}

bool ReadAnswerError(IXMLDOMNode* answer, std::wstring* message, int* code) {
    ComPtr<IXMLDOMNode> err = SelectXmlNode(answer, L"//OperationResult/Err");
    if (!err) return false;
    VARIANT_BOOL hasChildren = VARIANT_FALSE;
    if (FAILED(err->hasChildNodes(&hasChildren))) return false;
    if (hasChildren == VARIANT_FALSE) {
        if (code) *code = 0;
        if (message) message->clear();
        return true;
    }
    ComPtr<IXMLDOMNode> codeNode = SelectXmlNode(answer, L"//OperationResult/Err/Code");
    if (!codeNode) return false;
    ComPtr<IXMLDOMNode> msgNode = SelectXmlNode(answer, L"//OperationResult/Err/Msg");
    if (!msgNode) return false;
    if (message) {
        std::wstring text;
        GetXmlNodeText(msgNode.Get(), text);
        // Shown in a message box as the service wrote it otherwise: see ServiceText.h.
        *message = CleanServiceMessage(text);
    }
    std::wstring codeText;
    if (GetXmlNodeText(codeNode.Get(), codeText) && code) *code = DecimalValue(codeText);
    return true;
}

} // namespace lumexia
