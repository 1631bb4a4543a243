#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvelo {

// Gathers one request from the bytes of a connection, however TCP cuts them: the head up to
// its blank line, then as many body bytes as Content-Length announces. A request may not
// exceed 65,536 bytes in all. Nothing else of the head is read. Pure: no sockets.
class HttpRequestFramer {
public:
    static constexpr std::size_t maxRequestBytes = 65536;

    enum class State {
        incomplete,
        complete,  // request() holds the whole request
        tooLarge,  // the request cannot fit within the limit
        malformed, // the head ends its lines with a bare line feed: refused, not guessed at
    };

    // Adds bytes as they arrive. Once the state is complete or tooLarge, it stays so and
    // further bytes are ignored.
    State append(std::string_view bytes);
    // The peer has finished sending: what arrived is the request (a head without its blank
    // line included), unless its body is shorter than announced (malformed). Stays
    // incomplete only when nothing arrived at all.
    State finish();

    State state() const { return state_; }
    // The request as framed: the head and its announced body; later bytes are dropped.
    const std::string& request() const { return data_; }
    // The length of the head with its blank line, once that has arrived within the limit
    // (even when the announced body is too large to frame).
    std::optional<std::size_t> headSize() const { return headSize_; }

private:
    void evaluate(std::size_t searchFrom);

    std::string data_;
    std::optional<std::size_t> expectedSize_;
    std::optional<std::size_t> headSize_;
    std::size_t scannedForLineFeeds_ = 0;
    State state_ = State::incomplete;
};

// The Content-Length of a request head (the bytes up to and including its blank line):
// nothing when the header is absent or its value is not a plain decimal number. Values too
// large for any request come back as SIZE_MAX.
std::optional<std::size_t> contentLength(std::string_view head);

// The value of the first header of that name (case-insensitive), blanks trimmed; nothing when
// the head has no such header.
std::optional<std::string_view> headerValue(std::string_view head, std::string_view name);

} // namespace orvelo
