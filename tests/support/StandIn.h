// The tests' view of the stand-in service: its port, its journal and its fault scripts,
// all over plain HTTP on 127.0.0.1 (WinHTTP, no proxy).
#pragma once

#include <string>
#include <vector>

namespace standin {

// Port of the stand-in started for this test run; 0 when none runs.
int Port();
// "127.0.0.1:PORT", as the client's proxy setting names it.
std::wstring ProxyText();

// One plain exchange with the stand-in, straight to 127.0.0.1 (no proxy); a POST body is
// form-urlencoded. Returns the answer body; `status` (optional) receives the status code,
// 0 when the exchange failed.
std::string Exchange(const wchar_t* verb, const std::wstring& path, const std::string& body,
                     int* status = nullptr);
// GET or POST (form-urlencoded) on a control path; the body, or empty on failure.
std::string Get(const std::wstring& path);
std::string Post(const std::wstring& path, const std::string& form);

void Reset();
int RequestCount();
// Service requests whose head has reached the stand-in, their bodies complete or not
// (RequestCount counts only complete ones): "the transfer has begun".
int ArrivedCount();
// Form parts of journalled request `index`: "NAME=VALUE" lines (values percent-encoded,
// files as NAME=@FILENAME:SIZE).
std::vector<std::string> Fields(int index);
std::string Head(int index);
// Value of field `name` of request `index`, percent-decoded; empty when absent.
std::string Field(int index, const std::string& name);
// Field names of a request, in body order.
std::vector<std::string> FieldNames(int index);
// Percent-decoding of journal values.
std::string Unescape(const std::string& text);

// The text fields of an anonymous upload, in the order the client sends them (after the
// picture part).
const std::vector<std::string>& AnonymousUploadFields();

} // namespace standin
