#pragma once

#include "net/RdmMessage.h"

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

namespace orvelo {

// The node's RDM responder, reached through ArtRdm: answers GET and SET of its parameters. A
// console may move the node (universe and start channel), name it and make it identify
// itself; the responder answers from its own copy at once, and tells each change so that the
// main thread, which owns the settings, takes it over. Runs on the Art-Net receive thread; the
// setters may be called from any thread.
class RdmResponder {
public:
    // Sends one datagram with the service socket.
    using Send = std::function<void(std::span<const std::uint8_t> datagram, const sockaddr_in& to)>;
    // What a console changed, told on the receive thread after the change was accepted.
    struct Changes {
        std::function<void(int universe, int channel)> address;
        std::function<void(const std::string& label)> label;
        std::function<void(bool on)> identify;
    };

    // The label of a node nobody has named.
    static constexpr std::string_view defaultDeviceLabel = "ORVELONODE V.2.0";
    static constexpr std::size_t maxDeviceLabelSize = 32;

    RdmResponder(rdm::RdmUID uid, std::atomic<int>& filterUniverse, std::atomic<int>& filterSubnet, Send send,
                 Changes changes);

    const rdm::RdmUID& uid() const { return uid_; }

    // The start channel within the universe (1-512) and the label, as the settings have them.
    void setStartChannel(int channel) { startChannel_.store(channel); }
    void setDeviceLabel(std::string label);
    bool identifying() const { return identifying_.load(); }

    // A whole ArtRdm datagram from `sender`; answered to `sender`, or dropped.
    void processRdm(std::span<const std::uint8_t> datagram, const sockaddr_in& sender);

private:
    void handleRdmGet(const rdm::Request& request, const sockaddr_in& sender) const;
    void handleRdmSet(const rdm::Request& request, std::span<const std::uint8_t> data, const sockaddr_in& sender);
    void setStartAddress(const rdm::Request& request, std::span<const std::uint8_t> data, const sockaddr_in& sender);
    void setIdentify(const rdm::Request& request, std::span<const std::uint8_t> data, const sockaddr_in& sender);
    void setLabel(const rdm::Request& request, std::span<const std::uint8_t> data, const sockaddr_in& sender);
    void sendRdmResponse(const rdm::Request& request, std::span<const std::uint8_t> data, const sockaddr_in& sender,
                         std::uint8_t responseType = rdm::responseAck) const;
    void sendRdmNack(const rdm::Request& request, std::uint16_t reason, const sockaddr_in& sender) const;
    std::uint16_t startAddress() const;

    rdm::RdmUID uid_;
    std::atomic<int>& filterUniverse_;
    std::atomic<int>& filterSubnet_;
    std::atomic<int> startChannel_{1};
    std::atomic<bool> identifying_{false};
    mutable std::mutex labelMutex_;
    std::string label_{defaultDeviceLabel};
    Send send_;
    Changes changes_;
};

} // namespace orvelo
