#include "citp/CITPService.h"

#include "citp/CITPPacket.h"
#include "citp/CITPTCPServer.h"
#include "net/LightingNetwork.h"
#include "net/NetworkManager.h"
#include "net/SocketSupport.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

#include <QTimer>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <future>

namespace orvelo {

namespace {

using socketsupport::systemText;

constexpr std::size_t receiveBufferSize = 65535;
constexpr int multicastTTL = 2;
constexpr int thumbnailWorkers = 2;

std::string dotted(const in_addr& address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::optional<sockaddr_in> endpoint(const std::string& address, std::uint16_t port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1)
        return std::nullopt;
    return to;
}

// Peers choose these texts; control bytes would break the one-line-per-event log.
std::string printable(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            c = '?';
    return text;
}

std::vector<std::uint8_t> copyOf(std::span<const std::uint8_t> bytes)
{
    return {bytes.begin(), bytes.end()};
}

} // namespace

CITPService::CITPService(QObject* parent) : CITPService(Options{}, parent)
{
}

CITPService::CITPService(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)),
      receiver_(
          {.port = options_.udpPort,
           .threadName = "CITPReceiver",
           .logName = "CITPService",
           .maxDatagram = receiveBufferSize,
           .reading = options_.reading},
          [this](std::span<const std::uint8_t> datagram, const sockaddr_in& from) { processDatagram(datagram, from); },
          [this](const ReceiveFailure& failure) {
              postToMain(this, [this, run = run_, text = failure.text()] { receiveFailed(run, text); });
          })
{
    thumbnailPool_.setMaxThreadCount(thumbnailWorkers);
    CITPTCPServer::Handlers handlers;
    handlers.connectionsChanged = [this] {
        postToMain(this, [this] { setTcpConnectionCount(tcpServer_->openConnections()); });
    };
    handlers.received = [this](const std::string& address, std::span<const std::uint8_t> bytes) {
        postRecord("Rx/TCP", address, "Received " + std::to_string(bytes.size()) + " bytes", bytes);
    };
    handlers.message = [this](const std::string&, std::span<const std::uint8_t> message) {
        return answerTcpMessage(message);
    };
    handlers.sent = [this](const std::string& address, std::span<const std::uint8_t> bytes) {
        postRecord("Tx/TCP", "To: " + address, "Sent " + std::to_string(bytes.size()) + " bytes", bytes);
    };
    tcpServer_ =
        std::make_unique<CITPTCPServer>(CITPTCPServer::Options{.port = options_.tcpPort,
                                                               .maxClients = options_.maxTcpClients,
                                                               .maxClientsPerAddress = options_.maxTcpClientsPerAddress,
                                                               .idleTimeout = options_.tcpIdleTimeout,
                                                               .firstMessageTimeout = options_.tcpFirstMessageTimeout},
                                        std::move(handlers));
    if (options_.lighting)
        connect(options_.lighting, &LightingNetwork::changed, this, &CITPService::followLightingInterface);
}

CITPService::~CITPService()
{
    closeEverything();
    // Thumbnail tasks post back to this object; none may outlive it.
    thumbnailPool_.clear();
    thumbnailPool_.waitForDone();
}

std::uint16_t CITPService::tcpPort() const
{
    return tcpServer_->port();
}

void CITPService::startListening()
{
    if (receiver_.isOpen())
        return;
    ++run_;
    if (const auto failure = receiver_.start()) {
        setError(QString::fromStdString(failure->text()));
        return;
    }
    joinMulticast();

    shouldStop_ = false;
    setListening(true);
    setError(std::nullopt);
    logLine("CITPService: Listening on port " + std::to_string(receiver_.port()) + " (BSD socket with Multicast)");

    broadcastTimer_ = new QTimer(this);
    broadcastTimer_->setInterval(options_.announceInterval);
    connect(broadcastTimer_, &QTimer::timeout, this, &CITPService::announce);
    broadcastTimer_->start();

    // Without TCP the server still announces itself and answers over UDP.
    tcpServer_->start();
}

void CITPService::joinMulticast()
{
    const auto localAddress = options_.lighting ? options_.lighting->ownAddress() : NetworkManager::getLocalIPAddress();
    in_addr local{};
    if (!localAddress || ::inet_pton(AF_INET, localAddress->c_str(), &local) != 1)
        return;
    const int socket = receiver_.fd();
    ip_mreq membership{};
    membership.imr_interface = local;
    if (::inet_pton(AF_INET, options_.multicastGroup.c_str(), &membership.imr_multiaddr) == 1 &&
        ::setsockopt(socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0)
        logLine("CITPService: Joined multicast group " + options_.multicastGroup + " on " + *localAddress);
    else
        logLine("CITPService: Failed to join multicast group: " + systemText(errno));
    ::setsockopt(socket, IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local);
    const int ttl = multicastTTL;
    ::setsockopt(socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    joinedAddress_ = *localAddress;
}

void CITPService::followLightingInterface()
{
    if (!receiver_.isOpen() || options_.lighting->ownAddress() == joinedAddress_)
        return;
    ip_mreq membership{};
    if (::inet_pton(AF_INET, joinedAddress_.c_str(), &membership.imr_interface) == 1 &&
        ::inet_pton(AF_INET, options_.multicastGroup.c_str(), &membership.imr_multiaddr) == 1)
        ::setsockopt(receiver_.fd(), IPPROTO_IP, IP_DROP_MEMBERSHIP, &membership, sizeof membership);
    joinMulticast();
    announce();
}

void CITPService::stopListening()
{
    closeEverything();
    logLine("CITPService: Stopped listening (UDP + TCP)");
    setListening(false);
    setTcpConnectionCount(0);
}

void CITPService::closeEverything()
{
    shouldStop_ = true;
    delete broadcastTimer_;
    broadcastTimer_ = nullptr;
    receiver_.close();
    tcpServer_->stop();
}

void CITPService::receiveFailed(unsigned run, const std::string& text)
{
    if (run != run_ || !receiver_.isOpen())
        return;
    // Deaf now: close everything, so the service says it is not listening and a start works.
    closeEverything();
    setListening(false);
    setTcpConnectionCount(0);
    setError(QString::fromStdString(text));
}

std::string CITPService::broadcastAddress() const
{
    if (options_.lighting) {
        if (const auto chosen = options_.lighting->current().broadcast())
            return *chosen;
    }
    if (const auto primary = NetworkManager::primaryInterface()) {
        if (!primary->broadcastAddress.empty())
            return primary->broadcastAddress;
        if (const auto lastDot = primary->ipAddress.rfind('.'); lastDot != std::string::npos)
            return primary->ipAddress.substr(0, lastDot) + ".255";
    }
    return "255.255.255.255";
}

void CITPService::clearPacketLogs()
{
    packetLogs_.clear();
    emit packetLogsChanged();
}

void CITPService::clearDiscoveredPeers()
{
    discoveredPeers_.clear();
    emit discoveredPeersChanged();
}

void CITPService::announce()
{
    if (!receiver_.isOpen())
        return;
    const std::uint16_t tcp = tcpServer_->isRunning() ? tcpServer_->port() : options_.tcpPort;
    const auto compact = citp::buildPeerLocation(CITPHeaderType::standard, tcp);
    const auto full = citp::buildPeerLocation(CITPHeaderType::extended, tcp);
    std::vector<sockaddr_in> targets;
    for (const std::string& address : {broadcastAddress(), options_.multicastGroup})
        if (const auto to = endpoint(address, receiver_.port()))
            targets.push_back(*to);
    echoes_.learnHostAddresses();
    echoes_.sent(compact);
    echoes_.sent(full);
    // Announcements are not put in the traffic log: four every tick would push the requests
    // and answers out of its 101 entries within a minute.
    for (const auto* packet : {&compact, &full})
        for (const sockaddr_in& to : targets)
            ::sendto(receiver_.fd(), packet->data(), packet->size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

void CITPService::processDatagram(std::span<const std::uint8_t> datagram, const sockaddr_in& sender)
{
    const unsigned run = run_;
    const std::string address = dotted(sender.sin_addr);
    const bool echo = echoes_.isEcho(datagram, sender);
    if (!echo)
        logLine("CITPService: Received " + std::to_string(datagram.size()) + " bytes from " + address + ":" +
                std::to_string(ntohs(sender.sin_port)));
    postToMain(this, [this, address, count = datagram.size(), data = copyOf(datagram)]() mutable {
        lastPacketTime_ = QDateTime::currentDateTime();
        emit lastPacketTimeChanged();
        recordPacket("Rx", address, "Received " + std::to_string(count) + " bytes", std::move(data));
    });

    // Peers off the lighting network stay in the traffic log but are neither listed nor answered.
    if (options_.lighting && !options_.lighting->current().reaches(sender.sin_addr))
        return;
    const auto packet = citp::classify(datagram);
    if (!packet)
        return;
    if (!echo)
        logLine("CITPService: Detected " + std::string(headerTypeName(packet->headerType)) +
                " packet. Type: " + packet->contentType);
    const std::size_t body = packet->bodyOffset;
    const std::string code = citp::codeAt(datagram, body).value_or("");

    if (packet->contentType == "PINF") {
        if (code != "PLoc")
            return;
        const auto peer = citp::readPeerLocation(datagram, body);
        if (!echo)
            logLine("CITPService: PLoc from " + address + " - Type: '" + printable(peer.type) + "', Name: '" +
                    printable(peer.name) + "'");
        postToMain(this, [this, address, peer] { notePeer(address, peer.type, peer.name); });
    } else if (packet->contentType == "MSEX") {
        if (code == "LInf") {
            postToMain(this, [this] { countRequests(0, 0, 1); });
            sendDatagram(citp::buildLayerInfo(), sender);
        } else if (code == "SThm") {
            const std::uint8_t index = citp::readMediaIndex(datagram, body);
            postToMain(this, [this, index, sender, run] {
                countRequests(0, 1, 0);
                answerThumbnail(index, sender, run);
            });
        } else if (code == "ELin") {
            const std::uint8_t index = citp::readMediaIndex(datagram, body);
            postToMain(this, [this, index, sender, run] {
                countRequests(1, 0, 0);
                answerElementInfo(index, sender, run);
            });
        }
    } else if (packet->contentType == "FPTC") {
        logLine("CITPService: Processing FPTC packet!");
        if (code == "SndP") {
            logLine("CITPService: Received SndP request. Replying with Patch.");
            sendDatagram(citp::buildPatch(), sender);
        } else if (code == "Ptch") {
            auto patch = citp::readPatch(datagram, body);
            if (!patch)
                return;
            const QString summary = QString::fromStdString(citp::patchSummary(*patch));
            postToMain(this, [this, fixtures = std::move(patch->fixtures), summary]() mutable {
                lastReceivedPatchData_ = std::move(fixtures);
                emit lastReceivedPatchDataChanged();
                lastReceivedPatch_ = summary;
                emit lastReceivedPatchChanged();
            });
        }
    }
}

void CITPService::sendDatagram(std::span<const std::uint8_t> datagram, const sockaddr_in& to)
{
    // A lost answer is asked for again by the console, so a failed send is only left out of the log.
    if (::sendto(receiver_.fd(), datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        return;
    postRecord("Tx", "To: " + dotted(to.sin_addr), "Sent " + std::to_string(datagram.size()) + " bytes", datagram);
}

void CITPService::sendFromMain(std::span<const std::uint8_t> datagram, const sockaddr_in& to, unsigned run)
{
    assertMainThread();
    // The answer of an earlier run has no socket to go out on any more.
    if (run != run_ || !receiver_.isOpen())
        return;
    if (::sendto(receiver_.fd(), datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        return;
    recordPacket("Tx", "To: " + dotted(to.sin_addr), "Sent " + std::to_string(datagram.size()) + " bytes",
                 copyOf(datagram));
}

void CITPService::answerElementInfo(std::uint8_t index, const sockaddr_in& to, unsigned run)
{
    assertMainThread();
    std::optional<QString> name;
    if (dataSource_) {
        const auto tracks = dataSource_->getPlaylist();
        if (index < tracks.size())
            name = tracks[index].name;
    }
    sendFromMain(citp::buildElementInfo(index, citp::elementLabel(name)), to, run);
}

void CITPService::answerThumbnail(std::uint8_t index, const sockaddr_in& to, unsigned run)
{
    assertMainThread();
    if (!dataSource_)
        return;
    const auto tracks = dataSource_->getPlaylist();
    if (index >= tracks.size())
        return;
    if (pendingThumbnails_ >= options_.maxPendingThumbnails) {
        logLine("CITPService: Thumbnail request dropped: " + std::to_string(pendingThumbnails_) +
                " thumbnails are being made");
        return;
    }
    ++pendingThumbnails_;
    thumbnailPool_.start([this, maker = options_.thumbnails, track = tracks[index], index, to, run] {
        const auto result = maker.make(track);
        if (result.jpeg.isEmpty())
            logLine("Thumbnail generation failed: " + result.error.toStdString());
        postToMain(this, [this, jpeg = result.jpeg, index, to, run] {
            --pendingThumbnails_;
            if (jpeg.isEmpty())
                return;
            const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(jpeg.constData()),
                                         static_cast<std::size_t>(jpeg.size()));
            if (const auto reply = citp::buildThumbnail(index, bytes))
                sendFromMain(*reply, to, run);
        });
    });
}

std::optional<std::vector<std::uint8_t>> CITPService::answerTcpMessage(std::span<const std::uint8_t> message)
{
    const auto packet = citp::classify(message);
    if (!packet)
        return std::nullopt;
    logLine(std::string("CITPService: TCP ") +
            (packet->headerType == CITPHeaderType::standard ? "Standard" : "Extended") +
            " ContentType: " + packet->contentType);
    if (packet->contentType != "MSEX")
        return std::nullopt;
    const auto code = citp::codeAt(message, packet->bodyOffset);
    if (!code)
        return std::nullopt;
    logLine("CITPService: MSEX ContentCode: " + printable(*code));
    if (*code == "CInf") {
        postToMain(this, [this] { countRequests(1, 0, 0); });
        return citp::buildServerInfo();
    }
    if (*code == "GELI" || *code == "GEIn") {
        postToMain(this, [this] { countRequests(1, 0, 0); });
        const auto count = trackCountFromMain();
        if (!count)
            return std::nullopt;
        return citp::buildElementLibraryInfo(*count);
    }
    if (*code == "GETh") {
        postToMain(this, [this] { countRequests(1, 1, 0); });
        return citp::buildThumbnailAccepted();
    }
    if (*code == "GLIn") {
        postToMain(this, [this] { countRequests(1, 0, 1); });
        return citp::buildLayerInfo();
    }
    postToMain(this, [this] { countRequests(1, 0, 0); });
    return std::nullopt;
}

// The data source lives on the main thread; the client thread waits for its answer, but never
// past a stop, which joins this thread.
std::optional<std::size_t> CITPService::trackCountFromMain()
{
    auto answer = std::make_shared<std::promise<std::size_t>>();
    auto count = answer->get_future();
    postToMain(this, [this, answer] { answer->set_value(dataSource_ ? dataSource_->getPlaylist().size() : 0); });
    while (!shouldStop_) {
        if (count.wait_for(std::chrono::milliseconds(20)) == std::future_status::ready)
            return count.get();
    }
    return std::nullopt;
}

void CITPService::postRecord(std::string direction, std::string source, std::string description,
                             std::span<const std::uint8_t> data)
{
    postToMain(this, [this, direction = std::move(direction), source = std::move(source),
                      description = std::move(description), data = copyOf(data)]() mutable {
        recordPacket(std::move(direction), std::move(source), std::move(description), std::move(data));
    });
}

void CITPService::recordPacket(std::string direction, std::string source, std::string description,
                               std::vector<std::uint8_t> data)
{
    assertMainThread();
    if (packetLogs_.size() >= maxPacketLogs)
        packetLogs_.erase(packetLogs_.begin());
    CITPPacketLog entry;
    entry.timestamp = QDateTime::currentDateTime();
    entry.direction = std::move(direction);
    entry.source = std::move(source);
    entry.description = std::move(description);
    entry.data = std::move(data);
    packetLogs_.push_back(std::move(entry));
    emit packetLogsChanged();
}

void CITPService::notePeer(const std::string& address, const std::string& type, const std::string& name)
{
    assertMainThread();
    const auto now = QDateTime::currentDateTime();
    auto known = std::find_if(discoveredPeers_.begin(), discoveredPeers_.end(),
                              [&](const CITPPeer& peer) { return peer.id == address; });
    if (known != discoveredPeers_.end()) {
        known->name = name;
        known->type = type;
        known->lastSeen = now;
    } else {
        discoveredPeers_.push_back(CITPPeer{address, name, type, address, now});
    }
    emit discoveredPeersChanged();
}

void CITPService::countRequests(int library, int thumbnails, int layers)
{
    msexStats_.libraryRequests += library;
    msexStats_.thumbnailsServed += thumbnails;
    msexStats_.layerInfoRequests += layers;
    emit msexStatsChanged();
}

void CITPService::setListening(bool listening)
{
    isListening_ = listening;
    emit isListeningChanged(listening);
}

void CITPService::setError(std::optional<QString> error)
{
    error_ = std::move(error);
    emit errorChanged();
}

void CITPService::setTcpConnectionCount(int count)
{
    tcpConnectionCount_ = count;
    emit tcpConnectionCountChanged(count);
}

} // namespace orvelo
