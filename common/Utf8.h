// UTF-16 <-> UTF-8 conversion for texts that leave the program (files, pipes, the wire).
#pragma once

#include <string>

namespace lumexia {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

} // namespace lumexia
