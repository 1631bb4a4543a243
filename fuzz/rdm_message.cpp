// ArtRdm datagrams through the node's RDM responder: a request it answers comes back as one
// well-formed response to its sender, and a SET of the start address moves the node to the
// universe and channel that address names (a 16-bit address reaches universe 127 at most).
#include "FuzzCheck.h"
#include "net/RdmResponder.h"

#include <optional>
#include <vector>

using namespace orvelo;

namespace {

constexpr rdm::RdmUID nodeUID{0x7F, 0xF0, 0, 0, 0x12, 0x34};

bool isAddressable(int universe, int channel)
{
    return universe >= 0 && universe <= 127 && channel >= 0 && channel <= 512;
}

void checkResponse(std::span<const std::uint8_t> datagram, const rdm::Request& request)
{
    const auto message = artnet::decodeArtRdm(datagram);
    FUZZ_CHECK(message && message->size() >= 2);
    const auto response = rdm::parseRequest(*message);
    FUZZ_CHECK(response && response->parameterData);
    FUZZ_CHECK(response->destination == request.source && response->source == nodeUID);
    FUZZ_CHECK(response->transactionNumber == request.transactionNumber);
    FUZZ_CHECK(response->parameterID == request.parameterID);
    // The message length counts from the start code (not carried) to the checksum.
    FUZZ_CHECK((*message)[1] + 1u == message->size());
    const auto checked = message->first(message->size() - 2);
    const std::uint16_t sum = rdm::checksum(checked);
    FUZZ_CHECK((*message)[message->size() - 2] == (sum >> 8) && (*message)[message->size() - 1] == (sum & 0xFF));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> datagram(data, size);
    // The bytes as a bare RDM message too, without the ArtRdm header.
    if (const auto request = rdm::parseRequest(datagram); request && request->parameterData)
        FUZZ_CHECK(request->parameterData->size() == request->parameterDataLength &&
                   fuzz::within(*request->parameterData, datagram));

    std::atomic<int> universe{0};
    std::atomic<int> subnet{0};
    std::vector<std::vector<std::uint8_t>> sent;
    std::optional<int> movedTo;
    RdmResponder::Changes changes;
    changes.address = [&movedTo](int movedUniverse, int channel) {
        FUZZ_CHECK(isAddressable(movedUniverse, channel));
        movedTo = movedUniverse;
    };
    RdmResponder responder(
        nodeUID, universe, subnet,
        [&sent](std::span<const std::uint8_t> reply, const sockaddr_in&) {
            sent.emplace_back(reply.begin(), reply.end());
        },
        std::move(changes));
    responder.processRdm(datagram, sockaddr_in{});
    FUZZ_CHECK(universe.load() == movedTo.value_or(0));
    FUZZ_CHECK(sent.size() <= 1);
    if (!sent.empty()) {
        const auto request = rdm::parseRequest(*artnet::decodeArtRdm(datagram));
        FUZZ_CHECK(request);
        checkResponse(sent.front(), *request);
    }
    return 0;
}
