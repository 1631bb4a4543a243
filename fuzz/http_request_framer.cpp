// The bytes of a web connection, received in pieces: the first byte sets the piece size
// (1-256), the rest is what the client sent before it stopped. However TCP cuts the bytes, the
// framer reaches the same verdict (and the same request) as when they arrive at once, frames no
// more than the limit, and a framed request parses as the routes read it.
#include "FuzzCheck.h"
#include "web/HttpRequest.h"
#include "web/HttpRequestFramer.h"

#include <algorithm>

using namespace orvelo;

namespace {

struct Framed {
    HttpRequestFramer::State state;
    std::string request;
    std::optional<std::size_t> headSize;
};

Framed frame(std::string_view sent, std::size_t piece)
{
    HttpRequestFramer framer;
    while (!sent.empty() && framer.state() == HttpRequestFramer::State::incomplete) {
        const std::string_view received = sent.substr(0, piece);
        sent.remove_prefix(received.size());
        framer.append(received);
    }
    framer.finish();
    return {framer.state(), framer.request(), framer.headSize()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = std::size_t{data[0]} + 1;
    const std::string_view sent(reinterpret_cast<const char*>(data) + 1, size - 1);
    const Framed whole = frame(sent, sent.size());
    const Framed cut = frame(sent, piece);
    // Past the limit a bare line feed may or may not be seen before the size is: refused either way.
    if (sent.size() <= HttpRequestFramer::maxRequestBytes)
        FUZZ_CHECK(cut.state == whole.state && cut.headSize == whole.headSize);
    // A refused request is answered without being read.
    if (whole.state != HttpRequestFramer::State::complete)
        return 0;
    FUZZ_CHECK(cut.request == whole.request);

    const std::string& request = whole.request;
    FUZZ_CHECK(request.size() <= HttpRequestFramer::maxRequestBytes && sent.starts_with(request));
    if (whole.headSize) {
        const std::string_view head = std::string_view(request).substr(0, *whole.headSize);
        FUZZ_CHECK(head.ends_with("\r\n\r\n"));
        FUZZ_CHECK(request.size() == head.size() + contentLength(head).value_or(0));
        headerValue(head, "Host");
    }
    if (const auto parsed = HttpRequest::parse(request)) {
        FUZZ_CHECK(isValidUtf8(parsed->raw) && parsed->raw == request);
        FUZZ_CHECK(parsed->head().size() <= request.size());
        if (const auto body = parsed->body())
            FUZZ_CHECK(parsed->head().size() + body->size() == request.size());
        const std::string logged = printableForLog(parsed->path);
        FUZZ_CHECK(std::none_of(logged.begin(), logged.end(), [](char c) { return c == '\r' || c == '\n'; }));
    }
    return 0;
}
