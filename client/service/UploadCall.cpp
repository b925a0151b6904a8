#include "service/UploadCall.h"

#include "service/AnswerEnvelope.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumexia {
namespace {

const wchar_t* Bool(bool value) {
    return value ? L"true" : L"false";
}

// Significant digits (trailing zeros removed) and the decimal exponent of the shortest
// %e form of `value` (finite, positive) that reads back exactly.
void ShortestDigits(double value, std::string& digits, int& exponent) {
    char text[64] = {};
    for (int precision = 0; precision <= 16; ++precision) {
        std::snprintf(text, sizeof text, "%.*e", precision, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    const char* e = std::strchr(text, 'e');
    exponent = e ? std::atoi(e + 1) : 0;
    digits.clear();
    for (const char* p = text; *p && p != e; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
}

} // namespace

std::wstring FormatResizeCoeff(double value) {
    if (std::isnan(value)) return L"1.#QNAN";
    if (std::isinf(value)) return value < 0 ? L"-1.#INF" : L"1.#INF";
    if (value == 0) return L"0.";
    std::string out = value < 0 ? "-" : "";
    std::string digits;
    int exponent = 0;
    ShortestDigits(std::fabs(value), digits, exponent);
    if (exponent >= -1 && exponent < 50) {
        if (exponent == -1) {
            out += "0." + digits;
        } else {
            std::string whole = digits.substr(0, std::min<size_t>(digits.size(), exponent + 1));
            whole.append(static_cast<size_t>(exponent + 1) - whole.size(), '0');
            const std::string fraction = digits.size() > static_cast<size_t>(exponent + 1)
                                             ? digits.substr(exponent + 1)
                                             : "";
            out += whole + "." + fraction;
        }
    } else {
        char tail[16];
        std::snprintf(tail, sizeof tail, "e%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
        out += digits.substr(0, 1) + "." + digits.substr(1) + tail;
    }
    return std::wstring(out.begin(), out.end());
}

bool BuildUploadForm(MultipartBody& form, const PreparedImage& image, const UploadSettings& options,
                     const UploadIdentity& identity) {
    form.Reset();
    const bool pictureWhole = form.AddImage(image.preparedPath, image.sourcePath);
    // A refused text field leaves the request without it and the service decides, as
    // with any other missing field; only the picture must never go out cut.
    if (!identity.userId.empty() && !identity.userTicket.empty()) {
        form.AddField(L"USER_ID", identity.userId);
        form.AddField(L"USER_TICKET", identity.userTicket);
    }
    form.AddField(L"UID", identity.clientId);
    form.AddField(L"SID", identity.sessionId);
    form.AddField(L"FROMOBJECT", L"21");
    form.AddField(L"ISRESIZEIMG", Bool(image.isResize));
    form.AddField(L"MAXSIZEIMG", std::to_wstring(image.maxSize));
    form.AddField(L"ISOPTIMIZEFORMAT", Bool(image.isOptimizeFormat));
    form.AddField(L"ISOPTIMIZEDFORMAT", Bool(image.isOptimizedFormat));
    form.AddField(L"ISROTATIONIMG", Bool(image.isRotation));
    form.AddField(L"ROTATIONIMG", std::to_wstring(image.rotation));
    form.AddField(L"ISINSCRIMG", Bool(image.isInscription));
    form.AddField(L"INSCRIMG", image.inscription);
    form.AddField(L"JPGQUALITY", std::to_wstring(image.jpegQuality));
    form.AddField(L"MAXSIZEIMGPREV", std::to_wstring(options.prevMaxSize));
    form.AddField(L"ISINSCRIMGPREV", Bool(options.prevIsSubscr));
    form.AddField(L"INSCRIMGPREV", options.prevSubscrText);
    form.AddField(L"IDALBUM", options.idAlbum);
    form.AddField(L"COMMENTIMG", options.comment);
    form.AddField(L"URLFORIMG", options.userUrl);
    form.AddField(L"TAGS", options.tags);
    form.AddField(L"ISPUBLIC", Bool(options.isPublic));
    form.AddField(L"ORIGIMGLENGTH", std::to_wstring(image.origLength));
    form.AddField(L"ORIGIMGWIDTH", std::to_wstring(image.origWidth));
    form.AddField(L"ORIGIMGHEIGHT", std::to_wstring(image.origHeight));
    form.AddField(L"COEFFRESIZEIMG", FormatResizeCoeff(image.resizeCoeff));
    form.AddField(kRespTypeField, kRespTypeXml);
    form.Close();
    return pictureWhole;
}

bool UploadPicture(MultipartBody& form, const PreparedImage& image, const UploadSettings& options,
                   const UploadIdentity& identity, const PostRequest& request,
                   UploadedImage& result) {
    if (!BuildUploadForm(form, image, options, identity)) return false;
    if (!form.Send(request)) return false;
    ComPtr<IXMLDOMDocument2> doc;
    if (!LoadAnswer(request.answer, *request.answerLength, doc)) return false;
    int code = -1;
    if (!ReadAnswerError(doc.Get(), nullptr, &code) || code != 0) return false;
    const wchar_t* const paths[] = {
        L"//OperationResult/Result/Id", L"//OperationResult/Result/ImgUrl",
        L"//OperationResult/Result/ImgPreviewUrl", L"//OperationResult/Result/ImgPreviewXUrl"};
    ComPtr<IXMLDOMNode> nodes[4];
    for (int i = 0; i < 4; ++i) {
        nodes[i] = SelectXmlNode(doc.Get(), paths[i]);
        if (!nodes[i]) return false;
    }
    UploadedImage accepted;
    GetXmlNodeText(nodes[0].Get(), accepted.id);
    GetXmlNodeText(nodes[1].Get(), accepted.imgUrl);
    GetXmlNodeText(nodes[2].Get(), accepted.imgPreviewUrl);
    GetXmlNodeText(nodes[3].Get(), accepted.imgPreviewXUrl);
    result = std::move(accepted);
    return true;
}

} // namespace lumexia
