#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvelo {

// Cuts the byte stream of one CITP TCP client into messages. A full-form message carries its
// own size, so it is taken whole however the stream splits or joins it; a compact-form message
// carries none, so whatever has been received with it is taken as that one message. Bytes that
// cannot start a message are dropped. Pure: no sockets.
class CITPStreamFramer {
public:
    // Largest full-form message accepted, which also bounds what one client keeps buffered
    // between reads.
    static constexpr std::size_t maxMessageSize = 65536;

    struct Result {
        std::vector<std::vector<std::uint8_t>> messages;
        // The client announced a size no message can have; the stream cannot be followed any
        // further and the connection should be dropped.
        bool broken = false;
        std::uint32_t badSize = 0;
    };

    Result push(std::span<const std::uint8_t> received);

    std::size_t buffered() const { return buffer_.size(); }

private:
    std::vector<std::uint8_t> buffer_;
};

} // namespace orvelo
