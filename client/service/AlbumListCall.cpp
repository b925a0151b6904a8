#include "service/AlbumListCall.h"

#include "service/AnswerEnvelope.h"
#include "service/MultipartBody.h"
#include "service/ServiceText.h"

namespace lumexia {

const wchar_t kAlbumListFailed[] = L"Ошибка получения данных с сервера";

bool ListAlbums(const ServiceChannel& channel, const std::wstring& userId,
                const std::wstring& userTicket, AlbumList& albums, std::wstring& outcome) {
    albums.clear();
    outcome.clear();
    MultipartBody form;
    form.AddField(L"USER_OWNER_ID", userId);
    form.AddField(L"USER_ID", userId);
    form.AddField(L"USER_TICKET", userTicket);
    form.AddField(L"PAGESIZE", L"100");
    form.AddField(L"PAGENUM", L"1");
    form.AddField(kRespTypeField, kRespTypeXml);
    form.Close();
    ComPtr<IXMLDOMDocument2> doc;
    ComPtr<IXMLDOMNodeList> nodes;
    if (ExchangeWithService(channel, form, kAlbumListPath, doc, outcome))
        nodes = SelectXmlNodes(doc.Get(), L"//OperationResult/Result/PubFAlb");
    if (!nodes) {
        if (outcome.empty()) outcome = kAlbumListFailed;
        return false;
    }
    const long count = XmlNodeCount(nodes.Get());
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> node = XmlNodeAt(nodes.Get(), i);
        AlbumEntry album;
        // A broken record is one album less, not a failed list. So is an id too long for
        // the upload's text field: chosen, it would be left out of the request and the
        // picture would silently go to no album.
        if (node && SelectXmlText(node.Get(), L"Id", album.id) &&
            SelectXmlText(node.Get(), L"Title", album.title) &&
            album.id.size() <= MultipartBody::kTextLimit) {
            album.title = CleanServiceText(album.title);
            albums.push_back(std::move(album));
        }
    }
    return true;
}

} // namespace lumexia
