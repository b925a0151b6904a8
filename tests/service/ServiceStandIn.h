// What the service tests need of the stand-in (tools/standin) beyond the shared view in
// tests/support/StandIn.h: answers with their status, fault scripts, raw bodies, and
// requests that reach it the way the client does, through the named-proxy setting while
// the host names stay the client's own.
#pragma once

#include "service/HttpTransport.h"

#include <string>
#include <utility>
#include <vector>

namespace svc {

// Port of the test run's stand-in (standin::Port); 0 if none runs.
int Port();
// "127.0.0.1:PORT", the client's proxy setting for the stand-in.
std::wstring ProxyName();

// Plain exchange with a control path, straight to 127.0.0.1 (no proxy). Returns the
// answer body; `status` (optional) receives the status code, 0 when it failed.
std::string Control(const wchar_t* verb, const std::wstring& path, const std::string& body = "",
                    int* status = nullptr);

// Empties the journal, the scripts, accounts and pictures.
bool Reset();
// Queues a fault, form-urlencoded ("status=500&times=2"; see tools/standin/standin.py).
bool Script(const std::string& form);
std::string Encode(const std::string& text); // percent-encoding for Script values

int JournalCount();
// Requests whose head has arrived, whole or still coming in (standin::ArrivedCount).
int ArrivedCount();
std::string JournalHead(int index);
std::string JournalBody(int index);
// Serial number of the connection request `index` came on (0 when there is none).
int JournalConnection(int index);
// The form parts of a journalled request in order: (name, value); files as "@name:size".
std::vector<std::pair<std::string, std::string>> JournalFields(int index);

// A request for `path` on `host`, through the stand-in as proxy, answering into `buffer`.
lumexia::PostRequest Request(const std::wstring& host, const std::wstring& path,
                             std::vector<char>& buffer, int* length);

} // namespace svc
