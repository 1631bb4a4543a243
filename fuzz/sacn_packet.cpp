// sACN datagrams as the receiver gets them: the slot values of an accepted packet lie within
// the datagram and are at most a universe.
#include "FuzzCheck.h"
#include "net/SACNPacket.h"

using namespace orvelo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> datagram(data, size);
    if (const auto packet = SACNPacket::decode(datagram)) {
        FUZZ_CHECK(packet->slotValues.size() <= SACNPacket::maxSlots);
        FUZZ_CHECK(fuzz::within(packet->slotValues, datagram));
        FUZZ_CHECK(packet->slotValues.data() == data + SACNPacket::slotsOffset);
    }
    return 0;
}
