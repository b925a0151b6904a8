// The tag suggestions query: the tags the service already knows that begin with the text
// being typed in the tags edit. Runs on the tag query worker's thread (COM initialised
// there), never on the user-interface thread; needs no login.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace lumexia {

constexpr wchar_t kTagQueryPath[] = L"/api3/rest/getimgtag/substr";
// Bytes of the answer buffer the query worker owns and lends to every query.
constexpr int kTagAnswerCapacity = 200000;

struct TagQuery {
    std::wstring token; // the lower-cased tag being typed
    // The user's proxy text when the proxy is in use (empty: direct); absent: the user's
    // system proxy settings (see PostRequest::proxy).
    std::optional<std::wstring> proxy;
    std::wstring pageSize; // most tags wanted, as the text the service reads ("50")
    // The running request's cancelled flag, set by the user-interface thread when a newer
    // request replaces this one; the transport gives up at its next chunk boundary.
    const std::atomic<bool>* cancel = nullptr;
    // The worker's buffer of kTagAnswerCapacity bytes; zeroed here before use.
    std::vector<char>* answer = nullptr;
};

// Sends RESPTYPE, SUBSTR_TAG and PAGESIZE and appends the TagVal of every PubImgTag of the
// answer to `tags`, in the service's order. Every failure (exchange, cancellation, answer
// that does not parse, a non-zero Code) is a silent false with `tags` unchanged; the
// caller treats it as no suggestions. A token over the body's 500-unit field limit goes
// out without SUBSTR_TAG, and the service answers for that.
bool QueryTagSuggestions(const TagQuery& query, std::vector<std::wstring>& tags);

} // namespace lumexia
