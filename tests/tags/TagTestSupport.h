// The stand-in's tag list and its record of tag queries, for the tag tests.
#pragma once

#include <string>
#include <vector>

namespace tag_tests {

// Replaces the tags the stand-in searches; `generate` more are added as STEM00000...
void SetTags(const std::vector<std::wstring>& tags, int generate = 0,
             const std::string& stem = "tag");
// SUBSTR_TAG of every tag query the stand-in received, in order.
std::vector<std::wstring> AskedTokens();
// The next tag query's answer is sent at `bytesPerSecond`; or its head `delaySeconds` late.
void SlowNextAnswer(int bytesPerSecond);
void StallNextAnswer(int delaySeconds);

} // namespace tag_tests
