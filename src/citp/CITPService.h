#pragma once

#include "citp/CITPDataSource.h"
#include "citp/CITPFixture.h"
#include "citp/CITPPacketLog.h"
#include "citp/CITPPeer.h"
#include "citp/CITPThumbnailMaker.h"
#include "citp/MSEXStats.h"
#include "net/DatagramReceiver.h"
#include "net/ListeningService.h"
#include "net/OwnEchoes.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QTimer;

namespace orvelo {

class CITPTCPServer;
class LightingNetwork;

// The player as a CITP media server: announces itself (PINF/PLoc) every 3 s to the CITP
// multicast group and the subnet broadcast, lists the peers it hears, answers MSEX requests for
// server, library, layer and thumbnail information over UDP and TCP, and exchanges a minimal
// FPTC patch. UDP is read by the "CITPReceiver" thread; TCP by the threads of CITPTCPServer;
// thumbnails are made on a worker pool. Start, stop and every published field belong to the
// main thread.
class CITPService : public QObject, public ListeningService {
    Q_OBJECT
    Q_PROPERTY(bool isListening READ isListening NOTIFY isListeningChanged)
    Q_PROPERTY(QString error READ errorText NOTIFY errorChanged)
    Q_PROPERTY(QDateTime lastPacketTime READ lastPacketTimeOrNull NOTIFY lastPacketTimeChanged)
    Q_PROPERTY(std::vector<orvelo::CITPPacketLog> packetLogs READ packetLogs NOTIFY packetLogsChanged)
    Q_PROPERTY(std::vector<orvelo::CITPPeer> discoveredPeers READ discoveredPeers NOTIFY discoveredPeersChanged)
    Q_PROPERTY(QString lastReceivedPatch READ lastReceivedPatch NOTIFY lastReceivedPatchChanged)
    Q_PROPERTY(std::optional<std::vector<orvelo::CITPFixture>> lastReceivedPatchData READ lastReceivedPatchData NOTIFY
                   lastReceivedPatchDataChanged)
    Q_PROPERTY(orvelo::MSEXStats msexStats READ msexStats NOTIFY msexStatsChanged)
    Q_PROPERTY(int tcpConnectionCount READ tcpConnectionCount NOTIFY tcpConnectionCountChanged)
public:
    struct Options {
        // 0 lets the system choose a port (tests); the PLoc then carries the chosen TCP port.
        std::uint16_t udpPort = 4809;
        std::uint16_t tcpPort = 4809;
        std::string multicastGroup = "224.0.0.180";
        std::chrono::milliseconds announceInterval{3000};
        // The interface chosen for the lighting protocols: multicast goes out of it, broadcasts
        // go to its broadcast address, and UDP answers only to peers it reaches. Without one,
        // the primary interface. Outlives the service.
        const LightingNetwork* lighting = nullptr;
        // With this many TCP clients, the one heard from longest ago gives way to a new one; a
        // further connection from an address that holds the per-address number is closed at
        // once. A client silent for the idle time is closed, one that has sent nothing at all
        // after the first-message time (consoles reconnect when they next ask).
        std::size_t maxTcpClients = 32;
        std::size_t maxTcpClientsPerAddress = 4;
        std::chrono::milliseconds tcpIdleTimeout{std::chrono::minutes(5)};
        std::chrono::milliseconds tcpFirstMessageTimeout{std::chrono::seconds(10)};
        // Requests beyond this many thumbnails in the making are dropped; consoles ask again.
        int maxPendingThumbnails = 16;
        CITPThumbnailMaker thumbnails;
        DatagramReceiver::Reading reading;
    };

    static constexpr std::size_t maxPacketLogs = 101;

    explicit CITPService(QObject* parent = nullptr);
    explicit CITPService(Options options, QObject* parent = nullptr);
    ~CITPService() override;

    void startListening() override;
    void stopListening() override;

    // Held weakly: a source that is destroyed makes the library empty.
    void setDataSource(CITPDataSource* source) { dataSource_ = source; }

    // Sends both PLoc forms now; the timer calls it every 3 s while listening.
    void announce();
    // The diagnostic views' "Clear": forget the traffic log, or the peers heard so far (they
    // reappear with their next announcement).
    void clearPacketLogs();
    void clearDiscoveredPeers();
    // Where announcements go besides the multicast group: the settings' broadcast address when
    // set, else the primary interface's, else its address ending in .255, else 255.255.255.255.
    std::string broadcastAddress() const;

    bool isListening() const { return isListening_; }
    const std::optional<QString>& error() const { return error_; }
    QString errorText() const { return error_.value_or(QString()); }
    const std::optional<QDateTime>& lastPacketTime() const { return lastPacketTime_; }
    QDateTime lastPacketTimeOrNull() const { return lastPacketTime_.value_or(QDateTime()); }
    const std::vector<CITPPacketLog>& packetLogs() const { return packetLogs_; }
    const std::vector<CITPPeer>& discoveredPeers() const { return discoveredPeers_; }
    const QString& lastReceivedPatch() const { return lastReceivedPatch_; }
    const std::optional<std::vector<CITPFixture>>& lastReceivedPatchData() const { return lastReceivedPatchData_; }
    const MSEXStats& msexStats() const { return msexStats_; }
    int tcpConnectionCount() const { return tcpConnectionCount_; }

    // The bound ports while listening (the chosen ones when the options asked for 0), else 0.
    std::uint16_t udpPort() const { return receiver_.port(); }
    std::uint16_t tcpPort() const;

    // Reads one UDP datagram on the calling thread, when started without the receive thread.
    bool pollOnce(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000))
    {
        return receiver_.pollOnce(timeout);
    }

signals:
    void isListeningChanged(bool isListening);
    void errorChanged();
    void lastPacketTimeChanged();
    void packetLogsChanged();
    void discoveredPeersChanged();
    void lastReceivedPatchChanged();
    void lastReceivedPatchDataChanged();
    void msexStatsChanged();
    void tcpConnectionCountChanged(int count);

private:
    // Receive thread.
    void processDatagram(std::span<const std::uint8_t> datagram, const sockaddr_in& sender);
    void sendDatagram(std::span<const std::uint8_t> datagram, const sockaddr_in& to);
    // Client threads.
    std::optional<std::vector<std::uint8_t>> answerTcpMessage(std::span<const std::uint8_t> message);
    std::optional<std::size_t> trackCountFromMain();

    // Main thread.
    void answerElementInfo(std::uint8_t index, const sockaddr_in& to, unsigned run);
    void answerThumbnail(std::uint8_t index, const sockaddr_in& to, unsigned run);
    void sendFromMain(std::span<const std::uint8_t> datagram, const sockaddr_in& to, unsigned run);
    void recordPacket(std::string direction, std::string source, std::string description,
                      std::vector<std::uint8_t> data);
    void notePeer(const std::string& address, const std::string& type, const std::string& name);
    void countRequests(int library, int thumbnails, int layers);
    void receiveFailed(unsigned run, const std::string& text);
    void setListening(bool listening);
    void setError(std::optional<QString> error);
    void setTcpConnectionCount(int count);
    // Stops the timer, wakes and joins every thread, then closes the sockets.
    void closeEverything();
    // Joins the multicast group, and sends multicast, on the lighting interface.
    void joinMulticast();
    void followLightingInterface();

    // Posts a traffic-log entry to the main thread from any thread.
    void postRecord(std::string direction, std::string source, std::string description,
                    std::span<const std::uint8_t> data);

    Options options_;
    QPointer<CITPDataSource> dataSource_;

    // Set while closing, so that a client thread waiting for the main thread gives up.
    std::atomic<bool> shouldStop_{false};
    // Counts starts, so answers and failure reports of an earlier run are recognised. Changed
    // only while no receive thread runs, which reads it.
    unsigned run_ = 0;
    QTimer* broadcastTimer_ = nullptr;
    // The interface address the multicast group was joined on while listening.
    std::string joinedAddress_;
    // Its own announcements come back by multicast: they are listed as a peer, not logged.
    OwnEchoes echoes_;
    std::unique_ptr<CITPTCPServer> tcpServer_;
    QThreadPool thumbnailPool_;
    int pendingThumbnails_ = 0;

    bool isListening_ = false;
    std::optional<QString> error_;
    std::optional<QDateTime> lastPacketTime_;
    std::vector<CITPPacketLog> packetLogs_;
    std::vector<CITPPeer> discoveredPeers_;
    QString lastReceivedPatch_ = QStringLiteral("None");
    std::optional<std::vector<CITPFixture>> lastReceivedPatchData_;
    MSEXStats msexStats_;
    int tcpConnectionCount_ = 0;
    // Last, so that its thread ends before anything it uses goes.
    DatagramReceiver receiver_;
};

} // namespace orvelo
