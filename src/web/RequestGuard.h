#pragma once

#include "web/HttpResponse.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace orvelo {

// The checks every request passes before any route sees it, so that neither a web page the
// operator happens to open nor a DNS name rebound to the player can drive the show through the
// operator's browser. Pure: decides from the request line and head alone.
//   - Host must be an IP literal, "localhost" or one of the allowed names (421 otherwise); a
//     request without Host (a plain script) passes.
//   - A request that changes something (any method but GET and HEAD) whose Origin, or without
//     one whose Referer, is not this server's own origin is refused (403).
//   - A POST from a browser (it sends Origin or Referer) must carry its body as
//     application/json (415), which a foreign page cannot send without a preflight. Scripts
//     that send neither header keep their content types.
class RequestGuard {
public:
    struct Refusal {
        HttpResponse response;
        std::string reason; // for the log
    };

    // `allowedNames`: lower-case host names besides IP literals and localhost.
    static std::optional<Refusal> check(std::string_view method, std::string_view head,
                                        const std::set<std::string, std::less<>>& allowedNames);

    // The host part of a Host header value, lower case, without port or IPv6 brackets.
    static std::string hostOf(std::string_view hostHeader);
    // "scheme://host[:port]" of an Origin or a Referer value, lower case; empty when it has none.
    static std::string originOf(std::string_view url);
};

} // namespace orvelo
