#pragma once

#include "net/DMXProtocolService.h"
#include "net/DatagramReceiver.h"
#include "net/ForeignUniverses.h"
#include "net/SACNPacket.h"

#include <QDateTime>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class QTimer;

namespace orvelo {
class LightingNetwork;
}

namespace orvelo {

// The sACN (E1.31) receiver: an alternative DMX source to Art-Net. It joins the groups of
// universes 1-16, accepts data packets of any universe (there is deliberately no universe
// filter) and publishes the last frame as 512 slots. Frames of universes other than the
// configured one are counted and reported as the input note. It sends nothing.
class SACNService final : public DMXProtocolService {
    Q_OBJECT
    Q_PROPERTY(std::vector<std::uint8_t> lastDMXValues READ lastDMXValues NOTIFY lastDMXValuesChanged)
    Q_PROPERTY(QDateTime lastPacketTime READ lastPacketTimeOrNull NOTIFY lastPacketTimeChanged)
public:
    struct Options {
        std::uint16_t port = SACNPacket::defaultPort;
        // The interface that carries the multicast membership; without one, the primary
        // interface. Outlives the service.
        const LightingNetwork* lighting = nullptr;
        DatagramReceiver::Reading reading;
    };

    explicit SACNService(QObject* parent = nullptr);
    explicit SACNService(Options options, QObject* parent = nullptr);
    ~SACNService() override;

    QString name() const override { return QStringLiteral("sACN"); }
    void startListening() override;
    void stopListening() override;
    void sendTimecode(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds, std::uint8_t frames,
                      std::uint8_t type) override;

    // Always 512 slots; slot 1 first.
    const std::vector<std::uint8_t>& lastDMXValues() const { return lastDMXValues_; }
    const std::optional<QDateTime>& lastPacketTime() const { return lastPacketTime_; }
    // Invalid when no frame has arrived yet.
    QDateTime lastPacketTimeOrNull() const { return lastPacketTime_.value_or(QDateTime()); }

    // The universe the controller is configured for (its Port-Address plus one, so 0:0:0 is
    // universe 1); written by the DMX controller on the main thread.
    std::atomic<int> expectedUniverse{1};

    std::uint16_t port() const { return options_.port; }

    // Looks at the universes heard lately; the timer calls it every second while listening.
    void refreshInputNote();
    // Reads one datagram on the calling thread, when started without the receive thread.
    bool pollOnce(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000))
    {
        return receiver_.pollOnce(timeout);
    }

signals:
    void lastDMXValuesChanged(const std::vector<std::uint8_t>& values);
    void lastPacketTimeChanged();

private:
    void acceptDatagram(std::span<const std::uint8_t> datagram);
    // Main thread.
    void publishFrame(std::vector<std::uint8_t> values, std::uint16_t universe);
    void failReceiving(unsigned run, const QString& text);
    void closeReceiver();
    // Moves the group memberships to the lighting interface when it changed.
    void followLightingInterface();
    std::string membershipAddress() const;

    const Options options_;

    std::vector<std::uint8_t> lastDMXValues_;
    std::optional<QDateTime> lastPacketTime_;
    ForeignUniverses foreign_;
    QTimer* noteTimer_ = nullptr;
    // The interface address the groups were joined on while listening.
    std::string joinedAddress_;

    // Counts starts, so that a failure reported by an earlier receive thread cannot close
    // a socket opened since. Changed only while no receive thread runs.
    unsigned run_ = 0;
    // Last, so that its thread ends before anything it uses goes.
    DatagramReceiver receiver_;
};

} // namespace orvelo
