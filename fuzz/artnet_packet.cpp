// Art-Net datagrams as the node receives them: every decoder stays within the datagram, and a
// DMX frame holds at most a universe of values.
#include "FuzzCheck.h"
#include "net/ArtNetPacket.h"

using namespace orvelo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> datagram(data, size);
    if (artnet::decodeHeader(datagram))
        FUZZ_CHECK(size >= 12);
    if (const auto frame = artnet::decodeArtDmxFrame(datagram)) {
        FUZZ_CHECK(frame->values.size() <= artnet::maxChannels && fuzz::within(frame->values, datagram));
        const auto values = artnet::decodeArtDmx(datagram, frame->portAddress);
        FUZZ_CHECK(values && values->data() == frame->values.data() && values->size() == frame->values.size());
        FUZZ_CHECK(!artnet::portAddressText(frame->portAddress).empty());
    }
    if (const auto message = artnet::decodeArtRdm(datagram))
        FUZZ_CHECK(fuzz::within(*message, datagram));
    // Settings text for the interface address, here whatever bytes arrived.
    const auto ip = artnet::parseIPv4(std::string_view(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(ip.size() == 4);
    return 0;
}
