// Protects the node against hostile datagrams: thousands of random and mutated Art-Net and RDM
// packets never crash a decoder nor read beyond the datagram (run under AddressSanitizer).
#include "net/ArtNetPacket.h"
#include "net/RdmMessage.h"
#include "net/RdmResponder.h"

#include "ArtNetTestSupport.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

using namespace orvelo;
using test::Bytes;

namespace {

// Touches every byte of a decoder's result, so a span reaching past the datagram trips the
// sanitizer, and checks it lies inside the datagram.
unsigned touch(std::span<const std::uint8_t> part, const Bytes& datagram)
{
    EXPECT_GE(part.data(), datagram.data());
    EXPECT_LE(part.data() + part.size(), datagram.data() + datagram.size());
    return std::accumulate(part.begin(), part.end(), 0u);
}

class Mutator {
public:
    explicit Mutator(std::uint32_t seed) : random_(seed) {}

    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(below(256)); }

    Bytes randomDatagram()
    {
        Bytes d(below(700));
        for (auto& b : d)
            b = byte();
        // Often a valid ID, so the decoders behind the header see the datagram too.
        if (d.size() >= 8 && below(2) == 0)
            std::copy(artnet::artNetID.begin(), artnet::artNetID.end(), d.begin());
        return d;
    }

    Bytes mutated()
    {
        static const rdm::RdmUID uid{0x7F, 0xF0, 0, 0, 0x12, 0x34};
        const Bytes seeds[] = {test::artDmx(0, 0, 0, Bytes(below(520), 0x55)),
                               test::rdmRequest(uid, rdm::setCommand, rdm::RDM_DMX_START_ADDRESS, {0x04, 0x01}),
                               test::rdmRequest(rdm::broadcastUID, rdm::getCommand, rdm::RDM_DEVICE_INFO),
                               test::rdmRequest(uid, rdm::setCommand, rdm::RDM_DEVICE_LABEL, Bytes(below(40), 'L')),
                               test::artNetPacket(artnet::opPoll, 4)};
        Bytes d = seeds[below(std::size(seeds))];
        for (std::size_t edits = 1 + below(6); edits > 0; --edits) {
            switch (below(4)) {
            case 0: // flip a byte (the header fields and lengths are the interesting ones)
                if (!d.empty())
                    d[below(std::min<std::size_t>(d.size(), 60))] = byte();
                break;
            case 1: // cut the end
                d.resize(below(d.size() + 1));
                break;
            case 2: // append garbage
                for (std::size_t n = below(32); n > 0; --n)
                    d.push_back(byte());
                break;
            default: // a large value where a length lives: ArtDmx Length, RDM PDL
                if (const std::size_t at = below(2) == 0 ? 16 : artnet::artRdmHeaderSize + 22; at < d.size())
                    d[at] = 0xFF;
            }
        }
        return d;
    }

private:
    std::mt19937 random_;
};

} // namespace

TEST(ArtNetFuzz, RandomAndMutatedDatagramsAreDecodedSafely)
{
    Mutator mutator(20240611);
    std::atomic<int> universe{0};
    std::atomic<int> subnet{0};
    int answers = 0;
    const RdmResponder responder(
        rdm::uidForProcess(4660), universe, subnet,
        [&](std::span<const std::uint8_t> d, const sockaddr_in&) {
            EXPECT_GE(d.size(), artnet::artRdmHeaderSize + 25);
            ++answers;
        },
        [](int, int) {});
    unsigned sink = 0;

    for (int i = 0; i < 20000; ++i) {
        // An exact-size copy: any read past its end leaves the allocation.
        const Bytes raw = i % 2 ? mutator.mutated() : mutator.randomDatagram();
        const Bytes datagram(raw.begin(), raw.end());
        if (artnet::decodeHeader(datagram)) {
            EXPECT_GE(datagram.size(), 12u);
        }
        if (const auto values = artnet::decodeArtDmx(datagram, 0)) {
            EXPECT_LE(values->size(), artnet::maxChannels);
            sink += touch(*values, datagram);
        }
        if (const auto message = artnet::decodeArtRdm(datagram)) {
            sink += touch(*message, datagram);
            if (const auto request = rdm::parseRequest(*message); request && request->parameterData) {
                EXPECT_EQ(request->parameterData->size(), request->parameterDataLength);
                sink += touch(*request->parameterData, datagram);
            }
        }
        responder.processRdm(datagram, sockaddr_in{});
        universe = 0;
        sink += artnet::parseIPv4(
            std::string(datagram.begin(), datagram.begin() + std::min<std::ptrdiff_t>(datagram.size(), 20)))[0];
    }
    EXPECT_GT(answers, 0); // the mutations still reach the handlers
    RecordProperty("checksum", static_cast<int>(sink));
}
