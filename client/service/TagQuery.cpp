#include "service/TagQuery.h"

#include "service/AnswerEnvelope.h"
#include "service/HttpTransport.h"
#include "service/MultipartBody.h"
#include "service/ServiceHosts.h"
#include "service/ServiceText.h"

#include <algorithm>

namespace lumexia {

bool QueryTagSuggestions(const TagQuery& query, std::vector<std::wstring>& tags) {
    if (!query.answer || query.answer->size() < static_cast<size_t>(kTagAnswerCapacity))
        return false;
    std::fill(query.answer->begin(), query.answer->end(), '\0');

    // One body per query; a field that does not fit (a token over 500 units) is left out
    // and the request still goes.
    MultipartBody form;
    form.AddField(kRespTypeField, kRespTypeXml);
    form.AddField(L"SUBSTR_TAG", query.token);
    form.AddField(L"PAGESIZE", query.pageSize);
    if (!form.Close()) return false;

    int length = 0;
    PostRequest request;
    request.host = ApiHost;
    request.port = kServicePort;
    request.path = kTagQueryPath;
    request.answer = query.answer->data();
    request.answerCapacity = kTagAnswerCapacity;
    request.answerLength = &length;
    request.cancel = query.cancel;
    request.proxy = query.proxy;
    if (!form.Send(request)) return false;

    ComPtr<IXMLDOMDocument2> doc;
    if (!LoadAnswer(request.answer, length, doc)) return false;
    int code = -1;
    if (!ReadAnswerError(doc.Get(), nullptr, &code) || code != 0) return false;
    ComPtr<IXMLDOMNodeList> nodes =
        SelectXmlNodes(doc.Get(), L"//OperationResult/Result/PubImgTag");
    if (!nodes) return false;

    // Collected aside and appended at the end, so the caller's list changes only on true.
    std::vector<std::wstring> found;
    const long count = XmlNodeCount(nodes.Get());
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> node = XmlNodeAt(nodes.Get(), i);
        ComPtr<IXMLDOMNode> value = node ? SelectXmlNode(node.Get(), L"TagVal") : nullptr;
        std::wstring text;
        if (!value || !GetXmlNodeText(value.Get(), text)) continue;
        text = CleanServiceText(text);
        // The tags edit splits at commas: taken whole, such a tag would become several.
        if (text.find(L',') == std::wstring::npos) found.push_back(std::move(text));
    }
    tags.insert(tags.end(), found.begin(), found.end());
    return true;
}

} // namespace lumexia
