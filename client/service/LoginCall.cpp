#include "service/LoginCall.h"

#include "service/AnswerEnvelope.h"
#include "service/Sha1Hex.h"

namespace lumexia {

const wchar_t kLoginFailed[] = L"Ошибка запроса авторизации";

namespace {

// Texts of two elements of a loaded answer; false unless both are there.
bool ReadPair(IXMLDOMDocument2* doc, const wchar_t* first, std::wstring& firstText,
              const wchar_t* second, std::wstring& secondText) {
    return SelectXmlText(doc, first, firstText) && SelectXmlText(doc, second, secondText);
}

bool Failed(std::wstring& outcome) {
    if (outcome.empty()) outcome = kLoginFailed;
    return false;
}

} // namespace

bool SignIn(const ServiceChannel& channel, const std::wstring& userName,
            const std::wstring& password, LoginResult& result, std::wstring& outcome) {
    outcome.clear();
    MultipartBody step1;
    step1.AddField(kRespTypeField, kRespTypeXml);
    step1.Close();
    ComPtr<IXMLDOMDocument2> doc;
    std::wstring challengeId, block;
    if (!ExchangeWithService(channel, step1, kLoginStep1Path, doc, outcome) ||
        !ReadPair(doc.Get(), L"//OperationResult/Result/Id", challengeId,
                  L"//OperationResult/Result/Val", block))
        return Failed(outcome);

    // The block comes from the network: a hash that cannot be made (empty password, a
    // block too long for the 200-byte buffer) is sent empty and the service refuses it.
    const std::wstring hash = LoginPasswordHash(block, password);

    MultipartBody step2;
    step2.AddField(L"LOGIN", userName);
    step2.AddField(L"IDRNDBLOCK", challengeId);
    step2.AddField(L"HASHPASS", hash);
    step2.AddField(kRespTypeField, kRespTypeXml);
    step2.Close();
    LoginResult signedIn;
    if (!ExchangeWithService(channel, step2, kLoginStep2Path, doc, outcome) ||
        !ReadPair(doc.Get(), L"//OperationResult/Result/Id", signedIn.userId,
                  L"//OperationResult/Result/Ticket", signedIn.userTicket))
        return Failed(outcome);
    result = std::move(signedIn);
    outcome.clear();
    return true;
}

} // namespace lumexia
