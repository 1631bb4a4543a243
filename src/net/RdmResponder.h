#pragma once

#include "net/RdmMessage.h"

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

namespace orvelo {

// The node's RDM responder, reached through ArtRdm: answers GET and SET of five parameters
// and lets a console move the node to another universe by setting its DMX start address.
// Runs on the Art-Net receive thread; keeps no state besides the UID.
class RdmResponder {
public:
    // Sends one datagram with the service socket.
    using Send = std::function<void(std::span<const std::uint8_t> datagram, const sockaddr_in& to)>;
    // Told after a SET of the start address, on the receive thread.
    using AddressChanged = std::function<void(int universe, int channel)>;

    RdmResponder(rdm::RdmUID uid, std::atomic<int>& filterUniverse, std::atomic<int>& filterSubnet, Send send,
                 AddressChanged addressChanged);

    const rdm::RdmUID& uid() const { return uid_; }

    // A whole ArtRdm datagram from `sender`; answered to `sender`, or dropped.
    void processRdm(std::span<const std::uint8_t> datagram, const sockaddr_in& sender) const;

private:
    void handleRdmGet(const rdm::Request& request, const sockaddr_in& sender) const;
    void handleRdmSet(const rdm::Request& request, std::span<const std::uint8_t> data, const sockaddr_in& sender) const;
    void sendRdmResponse(const rdm::Request& request, std::span<const std::uint8_t> data, const sockaddr_in& sender,
                         std::uint8_t responseType = rdm::responseAck) const;
    void sendRdmNack(const rdm::Request& request, std::uint16_t reason, const sockaddr_in& sender) const;
    std::uint16_t startAddress() const;

    rdm::RdmUID uid_;
    std::atomic<int>& filterUniverse_;
    std::atomic<int>& filterSubnet_;
    Send send_;
    AddressChanged addressChanged_;
};

} // namespace orvelo
