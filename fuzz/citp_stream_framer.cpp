// The byte stream of a CITP TCP client, received in pieces: the first byte sets the piece size
// (1-256), the rest is the stream. A full-form message comes out exactly as long as it says, and
// what the framer keeps between reads stays bounded.
#include "FuzzCheck.h"
#include "citp/CITPPacket.h"
#include "citp/CITPStreamFramer.h"

#include <algorithm>
#include <cstring>

using namespace orvelo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = std::size_t{data[0]} + 1;
    std::span<const std::uint8_t> stream(data + 1, size - 1);
    CITPStreamFramer framer;
    while (!stream.empty()) {
        const auto received = stream.first(std::min(piece, stream.size()));
        stream = stream.subspan(received.size());
        const auto result = framer.push(received);
        for (const auto& message : result.messages) {
            FUZZ_CHECK(message.size() >= citp::standardBodyOffset && std::memcmp(message.data(), "CITP", 4) == 0);
            const std::span<const std::uint8_t> sizeField(message.data() + citp::messageSizeOffset, 4);
            if (!citp::isContentType(sizeField)) {
                const std::uint32_t stated = sizeField[0] | sizeField[1] << 8 | sizeField[2] << 16 |
                                             static_cast<std::uint32_t>(sizeField[3]) << 24;
                FUZZ_CHECK(stated == message.size());
            }
        }
        FUZZ_CHECK(framer.buffered() <= CITPStreamFramer::maxMessageSize);
        // The server drops a client whose stream cannot be followed.
        if (result.broken) {
            FUZZ_CHECK(framer.buffered() == 0);
            break;
        }
    }
    return 0;
}
