#pragma once

#include "net/ArtNetPacket.h"
#include "net/DMXProtocolService.h"
#include "net/ForeignUniverses.h"
#include "net/OwnEchoes.h"
#include "net/RdmMessage.h"

#include <QDateTime>

#include <netinet/in.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

class QTimer;

namespace orvelo {

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
    // The system's recvfrom; tests put failures in its place.
    using ReceiveFunction = std::function<ssize_t(int fd, void* buffer, std::size_t size, sockaddr_in* from)>;

    struct Options {
        std::uint16_t listenPort = artnet::defaultPort;
        // Where announcements and timecode go.
        std::uint16_t destinationPort = artnet::defaultPort;
        std::string destinationAddress = "255.255.255.255";
        // Kill other processes bound to the listen port before binding.
        bool clearPort = true;
        ReceiveFunction receive;
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

    const std::vector<std::uint8_t>& lastDMXValues() const { return lastDMXValues_; }
    const std::optional<QDateTime>& lastPacketTime() const { return lastPacketTime_; }
    QDateTime lastPacketTimeOrNull() const { return lastPacketTime_.value_or(QDateTime()); }

    const rdm::RdmUID& rdmUID() const;

    // Written by the DMX controller on the main thread; filterUniverse also by an RDM SET on
    // the receive thread.
    std::atomic<int> filterUniverse{0};
    std::atomic<int> filterSubnet{0};
    std::atomic<int> filterNet{0};

    // Told on the main thread after a console moved the node by an RDM SET of its start
    // address.
    std::function<void(int universe, int channel)> onDMXAddressChanged;

signals:
    void lastDMXValuesChanged(const std::vector<std::uint8_t>& values);
    void lastPacketTimeChanged();

private:
    void receiveLoop(std::uint64_t run);
    void processPacket(std::span<const std::uint8_t> datagram, const sockaddr_in& sender);
    void processArtDmx(std::span<const std::uint8_t> datagram);
    int listeningPortAddress() const;
    // Main thread, once a second while listening.
    void refreshInputNote();
    void clearInputNote();
    void sendPollReply(const sockaddr_in& to);
    void sendTodData(const sockaddr_in& to);
    void sendDatagram(std::span<const std::uint8_t> datagram, const sockaddr_in& to);
    void sendBroadcast(std::span<const std::uint8_t> datagram);
    void publishFrame(std::vector<std::uint8_t> values);
    void receiveFailed(std::uint64_t run, const std::string& text);
    // Stops the announcements, wakes and joins the receive thread, then closes the socket:
    // no thread ever reads a closed (or reused) descriptor, and no two share one.
    void closeNode();
    sockaddr_in destination() const;

    Options options_;
    int socketFD_ = -1;
    int wakeFD_ = -1;
    std::thread receiveThread_;
    std::atomic<bool> shouldStop_{false};
    // Tells the runs apart, so a failure report from an ended run changes nothing.
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
};

} // namespace orvelo
