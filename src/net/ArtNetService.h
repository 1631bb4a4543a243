#pragma once

#include "net/ArtNetPacket.h"
#include "net/DMXProtocolService.h"
#include "net/DatagramReceiver.h"
#include "net/ForeignUniverses.h"
#include "net/OwnEchoes.h"
#include "net/RdmMessage.h"

#include <QDateTime>

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QTimer;

namespace orvelo {

class LightingNetwork;
class RdmResponder;

// The node's Art-Net endpoint: one UDP socket on port 6454 read by the "ArtNetReceiver"
// thread. Accepts ArtDmx for one Port-Address and publishes the last frame (always 512
// slots); answers ArtPoll, ArtTodRequest, ArtTodControl and ArtRdm; announces itself every
// 3 s; broadcasts ArtTimeCode on request. ArtDmx for other Port-Addresses is counted and
// reported as the input note; its own broadcasts heard back are not logged. Start, stop and
// every observable field belong to the main thread.
class ArtNetService : public DMXProtocolService {
    Q_OBJECT
    Q_PROPERTY(std::vector<std::uint8_t> lastDMXValues READ lastDMXValues NOTIFY lastDMXValuesChanged)
    Q_PROPERTY(QDateTime lastPacketTime READ lastPacketTimeOrNull NOTIFY lastPacketTimeChanged)
public:
    struct Options {
        std::uint16_t listenPort = artnet::defaultPort;
        // Where announcements and timecode go; a chosen lighting interface's broadcast address
        // takes the place of the address.
        std::uint16_t destinationPort = artnet::defaultPort;
        std::string destinationAddress = "255.255.255.255";
        // The interface chosen for the lighting protocols: the node's own address, where its
        // broadcasts go and whom it answers. Without one, the primary interface as the system
        // routes it. Outlives the service.
        const LightingNetwork* lighting = nullptr;
        // Kill other processes bound to the listen port before binding.
        bool clearPort = true;
        DatagramReceiver::Reading reading;
    };

    ArtNetService();
    explicit ArtNetService(Options options, QObject* parent = nullptr);
    ~ArtNetService() override;

    QString name() const override { return QStringLiteral("Art-Net"); }
    void startListening() override;
    void stopListening() override;
    void sendTimecode(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds, std::uint8_t frames,
                      std::uint8_t type) override;

    // Sends one announcement now; the timer calls it every 3 s while listening.
    void broadcastArtPollReply();
    // Looks at the universes heard lately; the timer calls it every second while listening.
    void refreshInputNote();
    // Reads one datagram on the calling thread, when started without the receive thread.
    bool pollOnce(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000))
    {
        return receiver_.pollOnce(timeout);
    }

    const std::vector<std::uint8_t>& lastDMXValues() const { return lastDMXValues_; }
    const std::optional<QDateTime>& lastPacketTime() const { return lastPacketTime_; }
    QDateTime lastPacketTimeOrNull() const { return lastPacketTime_.value_or(QDateTime()); }

    const rdm::RdmUID& rdmUID() const;
    // Told the start channel and label from the settings, which RDM reports.
    RdmResponder& rdm();

    // Written by the DMX controller on the main thread; filterUniverse also by an RDM SET on
    // the receive thread.
    std::atomic<int> filterUniverse{0};
    std::atomic<int> filterSubnet{0};
    std::atomic<int> filterNet{0};

    // Told on the main thread after a console moved the node by an RDM SET of its start
    // address.
    std::function<void(int universe, int channel)> onDMXAddressChanged;
    // Told on the main thread after a console named the node, or turned its identify on or off.
    std::function<void(const std::string& label)> onDeviceLabelChanged;
    std::function<void(bool on)> onIdentifyChanged;

signals:
    // An ArtTimeCode from a peer (never the node's own), on the main thread.
    void timecodeReceived(const orvelo::artnet::ArtTimeCode& code);
    void lastDMXValuesChanged(const std::vector<std::uint8_t>& values);
    void lastPacketTimeChanged();

private:
    void processPacket(std::span<const std::uint8_t> datagram, const sockaddr_in& sender);
    void processArtDmx(std::span<const std::uint8_t> datagram);
    int listeningPortAddress() const;
    void clearInputNote();
    void sendPollReply(const sockaddr_in& to);
    void sendTodData(const sockaddr_in& to);
    void sendDatagram(std::span<const std::uint8_t> datagram, const sockaddr_in& to);
    void sendBroadcast(std::span<const std::uint8_t> datagram);
    void publishFrame(std::vector<std::uint8_t> values);
    void receiveFailed(std::uint64_t run, const std::string& text);
    // Stops the announcements and closes the receiver (joining its thread).
    void closeNode();
    sockaddr_in destination() const;
    std::optional<std::string> ownAddress() const;
    // Whether an answer to `peer` stays on the lighting network; logs when it does not.
    bool answers(const sockaddr_in& peer, const std::string& floodKey) const;

    Options options_;
    // Tells the runs apart, so a failure report from an ended run changes nothing. Changed
    // only while no receive thread runs, which reads it when it reports.
    std::uint64_t run_ = 0;
    QTimer* announceTimer_ = nullptr;
    QTimer* noteTimer_ = nullptr;
    ForeignUniverses foreign_;
    OwnEchoes echoes_;
    std::unique_ptr<RdmResponder> rdm_;

    std::mutex broadcastMutex_;
    int broadcastConnection_ = -1;

    std::vector<std::uint8_t> lastDMXValues_;
    std::optional<QDateTime> lastPacketTime_;
    // Last, so that its thread ends before anything it uses goes.
    DatagramReceiver receiver_;
};

} // namespace orvelo
