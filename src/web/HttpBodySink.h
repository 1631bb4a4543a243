#pragma once

#include "web/HttpResponse.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orvelo {

// Takes a request body piece by piece as it arrives, for requests too large to be held whole
// (uploads). Runs on the connection's strand. Dropping a sink before finish() means the body
// never arrived whole (the client stalled or went away): the sink undoes what it began.
class HttpBodySink {
public:
    virtual ~HttpBodySink() = default;
    // The next bytes, in order. An answer stops the request there (a write failed).
    virtual std::optional<HttpResponse> write(std::string_view bytes) = 0;
    // Every announced byte has arrived: the answer to the request.
    virtual HttpResponse finish() = 0;
};

// What a streaming route makes of a request head: not its request (framed whole as usual), an
// answer at once (refused without reading the body), or a sink for `length` body bytes.
struct HttpStreamStart {
    bool claimed = false;
    std::optional<HttpResponse> answer;
    std::unique_ptr<HttpBodySink> sink;
    std::uint64_t length = 0;
    bool expectContinue = false; // the client waits for "100 Continue" before sending the body
};

// Decides from a request head (up to and including its blank line) and the client's address.
// Runs on a server thread.
using HttpStreamOpener = std::function<HttpStreamStart(std::string_view head, const std::string& peer)>;

} // namespace orvelo
