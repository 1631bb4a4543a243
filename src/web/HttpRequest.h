#pragma once

#include "settings/AccessRole.h"

#include <optional>
#include <string>
#include <string_view>

namespace orvelo {

// A received request as the routes see it. Only the request line is interpreted: the method
// and the path are its first two space-separated words, the path verbatim (a query string
// stays part of it, so it matches no route). Pure: no sockets.
struct HttpRequest {
    std::string method;
    std::string path;
    std::string raw;  // the whole request, head and body
    std::string peer; // the client's address
    // Who sent it, once the server has decided; nothing for a client that is not logged in.
    std::optional<AccessRole> role;

    // Nothing for bytes that are not UTF-8 or a request line of fewer than two words: such a
    // request is answered 400.
    static std::optional<HttpRequest> parse(std::string raw);

    // Everything after the first blank line; nothing when the head never ended.
    std::optional<std::string_view> body() const;
    // The request line and headers: everything before the body.
    std::string_view head() const;
};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view bytes);

// The text with control characters shown as '?', so that a request cannot break or forge
// lines of the log.
std::string printableForLog(std::string_view text);

} // namespace orvelo
