// The shape every REST answer of the service shares, and the one field every request
// carries:
//     <OperationResult><Err>[<Code>n</Code><Msg>text</Msg>]</Err><Result>...</Result>
// Answers arrive over plain HTTP and are untrusted: they are parsed with DTDs refused and
// their numbers read without overflow.
#pragma once

#include "settings/XmlDocument.h"

#include <string>

namespace lumexia {

// Sent as a text field by every call to ApiHost.
constexpr wchar_t kRespTypeField[] = L"RESPTYPE";
constexpr wchar_t kRespTypeXml[] = L"xml";

// Decimal value of a text: leading white space, an optional sign, digits up to the first
// non-digit; no digits give 0; values beyond int saturate.
int DecimalValue(const std::wstring& text);

// A fresh answer document (CreateXmlDocument2) loaded from `length` answer bytes.
bool LoadAnswer(const char* bytes, int length, ComPtr<IXMLDOMDocument2>& doc);

// Reads //OperationResult/Err. True with code 0 and an empty message when Err has no
// children; true with the answer's Code and Msg when it has both; false (outputs
// untouched) when Err is missing, its children cannot be asked for, or Code or Msg is
// missing. Either output may be null. The message comes cleaned for display
// (CleanServiceMessage).
bool ReadAnswerError(IXMLDOMNode* answer, std::wstring* message, int* code);

} // namespace lumexia
