// The addresses in a service answer go into the link codes the user pastes into web
// pages and forums, and they arrive over plain HTTP: anyone on the path can write them.
#pragma once

#include <string>

namespace lumexia {

// True for an absolute http:// or https:// address with a host and none of the
// characters that could end an HTML attribute, open a tag or a forum tag, or break the
// one-line-per-picture layout: quotes, angle and square brackets, spaces, and control
// characters (line breaks included).
bool IsUsableServiceAddress(const std::wstring& address);

} // namespace lumexia
