#include "TagTestSupport.h"

#include "StandIn.h"
#include "TestSupport.h"

#include <cstdio>

namespace tag_tests {
namespace {

const char kTagPath[] = "/api3/rest/getimgtag/substr";

std::string FormEncode(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (isalnum(c) || c == '-' || c == '_' || c == '.') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

} // namespace

void SetTags(const std::vector<std::wstring>& tags, int generate, const std::string& stem) {
    std::string list;
    for (const std::wstring& tag : tags)
        list += testing_support::ToUtf8(tag) + "\n";
    standin::Post(L"/__tags", "tags=" + FormEncode(list) + "&generate=" + std::to_string(generate) +
                                  "&stem=" + FormEncode(stem));
}

std::vector<std::wstring> AskedTokens() {
    std::vector<std::wstring> tokens;
    const std::string text = standin::Get(L"/__tags/asked");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        tokens.push_back(testing_support::FromUtf8(text.substr(start, end - start)));
        start = end + 1;
    }
    return tokens;
}

void SlowNextAnswer(int bytesPerSecond) {
    standin::Post(L"/__script",
                  std::string("path=") + kTagPath + "&slowwrite=" + std::to_string(bytesPerSecond));
}

void StallNextAnswer(int delaySeconds) {
    standin::Post(L"/__script",
                  std::string("path=") + kTagPath + "&delay=" + std::to_string(delaySeconds));
}

} // namespace tag_tests
